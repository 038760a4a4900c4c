#include "terminal/screenlayout.h"

#include <algorithm>
#include <array>

namespace terminal {
namespace {

std::array<Glyph, 256> MakeGlyphs() {
    std::array<Glyph, 256> g{};
    g.fill(Glyph::Plain);
    for (int b = 0; b < 0x20; ++b)
        g[b] = Glyph::Box;
    g[0x7F] = Glyph::Box;
    // The code page's five unassigned bytes stand for C1 controls: no font draws them.
    for (int b : {0x81, 0x8D, 0x8F, 0x90, 0x9D})
        g[b] = Glyph::Box;
    g['\t'] = Glyph::Tab;
    g['\r'] = Glyph::Hidden;
    g['\n'] = Glyph::Hidden;
    return g;
}

const std::array<Glyph, 256> kGlyphs = MakeGlyphs();

} // namespace

Glyph GlyphOf(unsigned char b) {
    return kGlyphs[b];
}

int CellsAt(unsigned char b, int column, int columns) {
    switch (kGlyphs[b]) {
    case Glyph::Plain:
        return 1;
    case Glyph::Box:
        return kBoxCells;
    case Glyph::Hidden:
        return 0;
    case Glyph::Tab:
        break;
    }
    const int toStop = kTabStop - column % kTabStop;
    // A tab never reaches past the row's end; at a row's start it takes what the row has.
    return std::max(1, std::min(toStop, columns - column));
}

void WrapLine(std::string_view line, int columns, std::vector<std::uint32_t>& rowStarts) {
    columns = std::max(columns, 1);
    rowStarts.clear();
    rowStarts.push_back(0);
    int column = 0;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const auto b = static_cast<unsigned char>(line[i]);
        int cells = CellsAt(b, column, columns);
        if (cells > 0 && column > 0 && column + cells > columns) {
            rowStarts.push_back(static_cast<std::uint32_t>(i));
            column = 0;
            cells = CellsAt(b, 0, columns);
        }
        column += cells;
    }
}

int ColumnOf(std::string_view row, std::size_t offset, int columns) {
    int column = 0;
    for (std::size_t i = 0; i < offset && i < row.size(); ++i)
        column += CellsAt(static_cast<unsigned char>(row[i]), column, columns);
    return column;
}

std::size_t OffsetAt(std::string_view row, double column, int columns) {
    // The row's trailing break is never a place of its own: a click past the text goes before it.
    std::size_t end = row.size();
    while (end > 0 && GlyphOf(static_cast<unsigned char>(row[end - 1])) == Glyph::Hidden)
        --end;
    int at = 0;
    for (std::size_t i = 0; i < end; ++i) {
        const int cells = CellsAt(static_cast<unsigned char>(row[i]), at, columns);
        if (column < at + cells / 2.0) return i;
        at += cells;
    }
    return end;
}

} // namespace terminal
