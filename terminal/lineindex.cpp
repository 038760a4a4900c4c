#include "terminal/lineindex.h"

#include <algorithm>
#include <cstring>

namespace terminal {

void LineIndex::reset(std::string_view text) {
    m_breaks.clear();
    m_first = 0;
    m_origin = m_end + 1;
    m_firstWhole = true;
    replaceFrom(0, text);
}

void LineIndex::trimFront(std::size_t n) {
    if (n == 0) return;
    m_origin += n;
    m_firstWhole = false;
    // A break right at the new origin only says that the first line starts at 0: drop it too.
    while (m_first < m_breaks.size() && m_breaks[m_first] <= m_origin)
        m_firstWhole = m_breaks[m_first++] == m_origin;
    compact();
}

void LineIndex::replaceFrom(std::size_t position, std::string_view text) {
    const std::uint64_t at = m_origin + position;
    // A break at `position` follows an LF before it, which did not change.
    while (m_breaks.size() > m_first && m_breaks.back() > at)
        m_breaks.pop_back();
    m_end = m_origin + text.size();
    const char* const base = text.data();
    const char* p = base + std::min(position, text.size());
    const char* const last = base + text.size();
    while (p < last) {
        const void* lf = std::memchr(p, '\n', static_cast<std::size_t>(last - p));
        if (!lf) break;
        p = static_cast<const char*>(lf) + 1;
        m_breaks.push_back(m_origin + static_cast<std::uint64_t>(p - base));
    }
}

std::size_t LineIndex::lineOf(std::size_t position) const {
    const std::uint64_t at = m_origin + position;
    // Breaks at or before `at` each start a line at or before it.
    const auto it = std::upper_bound(m_breaks.begin() + static_cast<std::ptrdiff_t>(m_first),
                                     m_breaks.end(), at);
    return static_cast<std::size_t>(it - (m_breaks.begin() + static_cast<std::ptrdiff_t>(m_first)));
}

void LineIndex::compact() {
    // Dropped breaks are freed once they are half the store, so each costs O(1) amortised.
    if (m_first > 64 && m_first * 2 > m_breaks.size()) {
        m_breaks.erase(m_breaks.begin(), m_breaks.begin() + static_cast<std::ptrdiff_t>(m_first));
        m_first = 0;
    }
}

} // namespace terminal
