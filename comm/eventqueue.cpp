#include "comm/eventqueue.h"

#include <algorithm>

namespace comm {

void EventQueue::push(short code) {
    if (IsLineError(code)) {
        const auto has = [code](const std::deque<short>& d) {
            return std::find(d.begin(), d.end(), code) != d.end();
        };
        if (has(m_queue) || has(m_held)) return;
    } else if (code == EvReceive) {
        if (m_receiveQueued) return;
        m_receiveQueued = true;
    }
    m_queue.push_back(code);
}

short EventQueue::take() {
    while (!m_queue.empty()) {
        const short c = m_queue.front();
        m_queue.pop_front();
        if (IsLineError(c) && m_depth > 0) {
            m_held.push_back(c);
            continue;
        }
        if (c == EvReceive) m_receiveQueued = false;
        return c;
    }
    return 0;
}

void EventQueue::leaveSink() {
    --m_depth;
    if (m_depth > 0 || m_held.empty()) return;
    m_queue.insert(m_queue.begin(), m_held.begin(), m_held.end());
    m_held.clear();
}

void EventQueue::clear() {
    m_queue.clear();
    m_held.clear();
    m_receiveQueued = false;
}

} // namespace comm
