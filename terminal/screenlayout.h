#pragma once
// How the screen lays a line of its 8-bit text out in character cells, apart from any widget:
// a printable character takes one cell (a wide one two, a combining mark none), a control
// character or a bad UTF-8 byte one framed box of two cells, a tab
// reaches the next multiple of eight, CR and LF take none (the CR of a line break and a lone
// CR alike are invisible; LF ends the line). A line wraps at `columns` cells, between any two
// characters; a row always holds at least one character, so a box or a tab wider than the
// window still moves on.

#include "terminal/utf8.h"

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace terminal {

constexpr int kTabStop = 8;
constexpr int kBoxCells = 2;

enum class Glyph : std::uint8_t { Plain, Box, Tab, Hidden };

// How byte `b` is drawn.
Glyph GlyphOf(unsigned char b);

// Cells byte `b` takes at column `column` of a row `columns` wide.
int CellsAt(unsigned char b, int column, int columns);

// One character of a line as laid out: its bytes, how it is drawn, the cells it takes at
// `column`, and (Plain) the character.
struct LaidChar {
    std::size_t length;
    Glyph glyph;
    int cells;
    char32_t code;
};
LaidChar LayChar(std::string_view line, std::size_t at, int column, int columns, CharacterSet set);

// The offsets (within `line`) where the rows of `line` start: always 0 first.
void WrapLine(std::string_view line, int columns, std::vector<std::uint32_t>& rowStarts,
              CharacterSet set = CharacterSet::Western);

// The column where the byte at `offset` of a row starts (offset may be the row's length).
int ColumnOf(std::string_view row, std::size_t offset, int columns,
             CharacterSet set = CharacterSet::Western);

// The offset within `row` nearest to column `column` (a click in the right half of a character
// goes after it); never past the row's last visible character.
std::size_t OffsetAt(std::string_view row, double column, int columns,
                     CharacterSet set = CharacterSet::Western);

} // namespace terminal
