#include "terminal/vtselection.h"

#include <algorithm>

namespace terminal {

namespace {

bool IsWordChar(char32_t c) {
    if (c >= 0x80) return true;
    if ((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) return true;
    return std::u32string_view(U"_-./~:@").find(c) != std::u32string_view::npos;
}

} // namespace

std::pair<int, int> WordAt(const VtRow& row, int col) {
    const int n = static_cast<int>(row.cells.size());
    if (n == 0) return {0, 0};
    col = std::clamp(col, 0, n - 1);
    while (col > 0 && row.cells[static_cast<std::size_t>(col)].width == 0) --col;
    const auto cls = [&](int c) { return IsWordChar(row.cells[static_cast<std::size_t>(c)].ch); };
    const bool word = cls(col);
    int start = col, end = col + 1;
    while (start > 0 && (cls(start - 1) == word || row.cells[static_cast<std::size_t>(start - 1)].width == 0))
        --start;
    while (end < n && (cls(end) == word || row.cells[static_cast<std::size_t>(end)].width == 0)) ++end;
    return {start, end};
}

std::pair<VtPoint, VtPoint> VtSelection::range(const VtScreen& screen) const {
    VtPoint a = std::min(anchor, head), b = std::max(anchor, head);
    const std::uint64_t first = screen.scrollback().dropped();
    const auto rowOf = [&](std::uint64_t line) {
        return screen.line(static_cast<std::size_t>(line - std::min(line, first)));
    };
    switch (unit) {
    case SelectUnit::Line:
        a.col = 0;
        b = {b.line, screen.grid().cols()};
        break;
    case SelectUnit::Word:
        a.col = WordAt(rowOf(a.line), a.col).first;
        b.col = WordAt(rowOf(b.line), b.col).second;
        break;
    case SelectUnit::Cell:
        break;
    }
    return {a, b};
}

std::string SelectedText(const VtScreen& screen, VtPoint from, VtPoint to) {
    const std::uint64_t first = screen.scrollback().dropped();
    const std::uint64_t last = first + screen.lineCount();
    std::string out;
    for (std::uint64_t line = std::max(from.line, first); line <= to.line && line < last; ++line) {
        const VtRow row = screen.line(static_cast<std::size_t>(line - first));
        VtRow part;
        const int cols = static_cast<int>(row.cells.size());
        const int start = line == from.line ? std::clamp(from.col, 0, cols) : 0;
        const int end = line == to.line ? std::clamp(to.col, start, cols) : cols;
        part.cells.assign(row.cells.begin() + start, row.cells.begin() + end);
        for (const auto& m : row.marks)
            if (m.first >= start && m.first < end)
                part.marks.emplace_back(static_cast<std::uint16_t>(m.first - start), m.second);
        out += RowText(part);
        if (line != to.line && !(row.wrapped && end == cols)) out += '\n';
    }
    return out;
}

} // namespace terminal
