// The terminal view as the find bar sees it: the lines on the glass as a range of its text,
// and the matches it is told to show, as cells.

#include "terminal/vtview.h"

#include <algorithm>

namespace terminal {

FindRange VtView::shownRange() {
    const std::size_t top = topLine();
    const auto rows = static_cast<std::size_t>(m_screen.grid().rows());
    return {m_findText.lineStart(top), m_findText.lineStart(top + rows)};
}

void VtView::showMatches(std::vector<FindRange> matches, std::optional<FindRange> current,
                         bool reveal) {
    m_found.clear();
    m_foundCurrent.clear();
    for (const FindRange& match : matches)
        for (const VtCellRange& cells : m_findText.cellsOf(m_screen, match))
            m_found.push_back(cells);
    // A match that spans lines puts a later line before an earlier one's next match.
    std::stable_sort(m_found.begin(), m_found.end(),
                     [](const VtCellRange& a, const VtCellRange& b) { return a.line < b.line; });
    if (current) m_foundCurrent = m_findText.cellsOf(m_screen, *current);
    if (reveal && current) {
        const auto line = static_cast<long>(m_findText.lineOf(current->start));
        const auto top = static_cast<long>(topLine());
        const long rows = m_screen.grid().rows();
        if (line < top)
            scrollLines(line - top);
        else if (line >= top + rows)
            scrollLines(line - (top + rows - 1));
    }
    viewport()->update();
}

int VtView::foundAt(std::uint64_t line, int col) const {
    const auto covers = [&](const std::vector<VtCellRange>& ranges) {
        auto it = std::lower_bound(ranges.begin(), ranges.end(), line,
                                   [](const VtCellRange& r, std::uint64_t l) { return r.line < l; });
        for (; it != ranges.end() && it->line == line; ++it)
            if (col >= it->startCol && col < it->endCol) return true;
        return false;
    };
    if (covers(m_foundCurrent)) return 2;
    return covers(m_found) ? 1 : 0;
}

} // namespace terminal
