// The screen as the find bar sees it: its text numbered absolutely, the rows on the glass, and
// the matches it is told to show.

#include "terminal/termedit.h"

#include <algorithm>
#include <iterator>

terminal::FindText CTermEdit::findText() {
    const std::uint64_t changed = m_model.takeRewrittenFrom();
    return {m_model.text().text(), m_model.absolute(0), changed};
}

terminal::FindRange CTermEdit::shownRange() {
    const std::vector<Row> rows = visibleRows();
    if (rows.empty()) return {m_model.absolute(0), m_model.absolute(0)};
    return {m_model.absolute(rows.front().start), m_model.absolute(rows.back().end)};
}

void CTermEdit::showMatches(std::vector<terminal::FindRange> matches,
                            std::optional<terminal::FindRange> current, bool reveal) {
    m_found = std::move(matches);
    m_foundCurrent = current;
    if (reveal && current) {
        const std::uint64_t origin = m_model.absolute(0);
        if (current->start >= origin) {
            if (m_model.text().changed()) catchUp();
            ensureVisible(m_model.fromAbsolute(current->start));
        }
    }
    viewport()->update();
}

int CTermEdit::foundAt(std::uint64_t at) const {
    if (m_found.empty() && !m_foundCurrent) return 0;
    if (m_foundCurrent && at >= m_foundCurrent->start && at < m_foundCurrent->end) return 2;
    const auto after = std::upper_bound(m_found.begin(), m_found.end(), at,
                                        [](std::uint64_t p, const terminal::FindRange& r) { return p < r.start; });
    // All matches are as long as the pattern: the last one starting at or before `at` reaches
    // furthest.
    if (after != m_found.begin() && at < std::prev(after)->end) return 1;
    return 0;
}
