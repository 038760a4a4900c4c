#include "terminal/screenmarks.h"

#include <algorithm>

namespace terminal {

void ScreenMarks::addSeparator(std::size_t position) {
    if (!m_separators.empty() && m_separators.back() >= position) return;
    m_separators.push_back(position);
}

std::size_t ScreenMarks::takeRewrittenFrom(std::size_t length) {
    const std::size_t from = std::min(m_rewritten, length);
    m_rewritten = static_cast<std::size_t>(-1);
    m_length = length;
    return from;
}

void ScreenMarks::textReplaced(std::size_t position, std::size_t removed, std::string_view inserted) {
    // Text added at the end rewrites nothing that was there.
    if (position < m_length) m_rewritten = std::min(m_rewritten, position);
    m_length = m_length - std::min(removed, m_length) + inserted.size();
    for (std::size_t& mark : m_separators) {
        if (mark <= position) continue;
        mark = mark <= position + removed ? position : mark - removed + inserted.size();
    }
    m_separators.erase(std::unique(m_separators.begin(), m_separators.end()), m_separators.end());
    if (m_next) m_next->textReplaced(position, removed, inserted);
}

void ScreenMarks::frontTrimmed(std::size_t n) {
    // A separator whose place is cut goes; the others keep their bytes.
    const auto kept = std::lower_bound(m_separators.begin(), m_separators.end(), n);
    m_separators.erase(m_separators.begin(), kept);
    for (std::size_t& mark : m_separators)
        mark -= n;
    m_rewritten = m_rewritten == static_cast<std::size_t>(-1) ? m_rewritten : m_rewritten - std::min(n, m_rewritten);
    m_length -= std::min(n, m_length);
    if (m_next) m_next->frontTrimmed(n);
}

void ScreenMarks::textReset(std::string_view text) {
    m_separators.clear();
    m_rewritten = 0;
    m_length = text.size();
    if (m_next) m_next->textReset(text);
}

} // namespace terminal
