#include "terminal/screenlayout.h"

#include "framework/codepage.h"

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

LaidChar LayChar(std::string_view line, std::size_t at, int column, int columns,
                 CharacterSet set) {
    const auto b = static_cast<unsigned char>(line[at]);
    if (set == CharacterSet::Western || b < 0x80)
        return {1, kGlyphs[b], CellsAt(b, column, columns), fw::AnsiToUnicode(b)};
    const Utf8Char c = DecodeUtf8At(line, at);
    // A bad byte, or a C1 control that no font draws: a box with its value.
    if (!c.valid || c.code < 0xA0) return {c.length, Glyph::Box, kBoxCells, c.code};
    return {c.length, Glyph::Plain, Utf8Cells(c.code), c.code};
}

void WrapLine(std::string_view line, int columns, std::vector<std::uint32_t>& rowStarts,
              CharacterSet set) {
    columns = std::max(columns, 1);
    rowStarts.clear();
    rowStarts.push_back(0);
    int column = 0;
    for (std::size_t i = 0; i < line.size();) {
        LaidChar c = LayChar(line, i, column, columns, set);
        if (c.cells > 0 && column > 0 && column + c.cells > columns) {
            rowStarts.push_back(static_cast<std::uint32_t>(i));
            column = 0;
            c = LayChar(line, i, 0, columns, set);
        }
        column += c.cells;
        i += c.length;
    }
}

int ColumnOf(std::string_view row, std::size_t offset, int columns, CharacterSet set) {
    int column = 0;
    for (std::size_t i = 0; i < offset && i < row.size();) {
        const LaidChar c = LayChar(row, i, column, columns, set);
        column += c.cells;
        i += c.length;
    }
    return column;
}

std::size_t OffsetAt(std::string_view row, double column, int columns, CharacterSet set) {
    // The row's trailing break is never a place of its own: a click past the text goes before it.
    std::size_t end = row.size();
    while (end > 0 && GlyphOf(static_cast<unsigned char>(row[end - 1])) == Glyph::Hidden)
        --end;
    int at = 0;
    for (std::size_t i = 0; i < end;) {
        const LaidChar c = LayChar(row, i, at, columns, set);
        if (column < at + c.cells / 2.0) return i;
        at += c.cells;
        i += c.length;
    }
    return end;
}

} // namespace terminal
