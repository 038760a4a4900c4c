#include "terminal/vtfindtext.h"

#include <algorithm>

namespace terminal {
namespace {

// Lines gone from the front are cut out of the text once they are this many bytes and half of it.
constexpr std::size_t kCompactBytes = std::size_t{1} << 20;

std::size_t Utf8Length(char32_t c) {
    return c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
}

} // namespace

int ColumnOfByte(const VtRow& row, std::size_t byte) {
    // The text is built as RowText builds it: each shown cell's character, then its marks.
    std::size_t at = 0;
    for (std::size_t c = 0; c < row.cells.size(); ++c) {
        const VtCell& cell = row.cells[c];
        if (cell.width == 0) continue;
        at += Utf8Length(cell.ch == 0 ? U' ' : cell.ch);
        for (const auto& [col, marks] : row.marks)
            if (col == c)
                for (const char32_t m : marks)
                    at += Utf8Length(m);
        if (at > byte) return static_cast<int>(c);
    }
    return static_cast<int>(row.cells.size());
}

void VtFindText::appendScrollback(const VtScrollback& sb) {
    const std::uint64_t total = sb.dropped() + sb.size();
    if (total < m_nextLine) { // numbering went back: start afresh past all that was
        m_origin = end();
        m_text.clear();
        m_dead = m_scrollbackBytes = 0;
        m_lineStarts.clear();
        m_nextLine = m_firstLine = total;
    }
    for (std::uint64_t n = std::max(m_nextLine, sb.dropped()); n < total; ++n) {
        if (m_lineStarts.empty()) m_firstLine = n;
        m_lineStarts.push_back(m_origin + m_text.size());
        m_text += sb.text(static_cast<std::size_t>(n - sb.dropped()));
        m_text += '\n';
    }
    m_nextLine = total;
    m_scrollbackBytes = m_text.size();
}

void VtFindText::dropFront(const VtScrollback& sb) {
    while (!m_lineStarts.empty() && m_firstLine < sb.dropped()) {
        m_lineStarts.pop_front();
        ++m_firstLine;
    }
    const std::uint64_t keep = m_lineStarts.empty() ? m_origin + m_scrollbackBytes : m_lineStarts.front();
    m_dead = static_cast<std::size_t>(keep - m_origin);
    if (m_dead >= kCompactBytes && m_dead >= m_text.size() / 2) {
        m_text.erase(0, m_dead);
        m_scrollbackBytes -= m_dead;
        m_origin += m_dead;
        m_dead = 0;
    }
}

FindText VtFindText::update(const VtScreen& screen) {
    const std::uint64_t oldRows = m_origin + m_scrollbackBytes;
    m_text.resize(m_scrollbackBytes);
    appendScrollback(screen.scrollback());
    dropFront(screen.scrollback());
    const std::uint64_t rows = m_origin + m_scrollbackBytes;
    m_rowStarts.clear();
    for (int r = 0; r < screen.grid().rows(); ++r) {
        m_rowStarts.push_back(m_origin + m_text.size());
        m_text += RowText(screen.grid().row(r));
        m_text += '\n';
    }
    // The grid's rows are read anew each time: what was there may have changed.
    return {std::string_view(m_text).substr(m_dead), m_origin + m_dead, std::min(oldRows, rows)};
}

std::uint64_t VtFindText::lineStart(std::size_t i) const {
    if (i < m_lineStarts.size()) return m_lineStarts[i];
    i -= m_lineStarts.size();
    return i < m_rowStarts.size() ? m_rowStarts[i] : end();
}

std::size_t VtFindText::lineOf(std::uint64_t position) const {
    const auto rows = std::upper_bound(m_rowStarts.begin(), m_rowStarts.end(), position);
    if (rows != m_rowStarts.begin())
        return m_lineStarts.size() + static_cast<std::size_t>(rows - m_rowStarts.begin()) - 1;
    const auto kept = std::upper_bound(m_lineStarts.begin(), m_lineStarts.end(), position);
    return kept == m_lineStarts.begin() ? 0 : static_cast<std::size_t>(kept - m_lineStarts.begin()) - 1;
}

std::vector<VtCellRange> VtFindText::cellsOf(const VtScreen& screen, FindRange range) const {
    std::vector<VtCellRange> out;
    const std::uint64_t first = screen.scrollback().dropped();
    for (std::size_t i = lineOf(range.start); i < screen.lineCount(); ++i) {
        const std::uint64_t start = lineStart(i);
        if (start >= range.end) break;
        const VtRow row = screen.line(i);
        const std::size_t from = range.start > start ? static_cast<std::size_t>(range.start - start) : 0;
        const int cells = static_cast<int>(row.cells.size());
        int last = ColumnOfByte(row, static_cast<std::size_t>(range.end - start - 1));
        last = last < cells ? last + std::max<int>(1, row.cells[static_cast<std::size_t>(last)].width) : cells;
        out.push_back({first + i, std::min(ColumnOfByte(row, from), cells), last});
    }
    return out;
}

} // namespace terminal
