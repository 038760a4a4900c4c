#pragma once
// The terminal view's text as the find bar searches it: every scrollback line and then every
// row of the shown grid, in UTF-8, each ended by "\n". The scrollback part is kept and grows
// with the lines pushed to it (lines the scrollback drops go from its front); the grid's rows
// are read anew at each update. Bytes are numbered absolutely, so a scrollback line keeps its
// numbers while older lines go.

#include "terminal/findtarget.h"
#include "terminal/vtscreen.h"

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

namespace terminal {

// Where a byte of a line's text is drawn: the column of the cell whose character holds it
// (the row's width past the text's end).
int ColumnOfByte(const VtRow& row, std::size_t byte);

// Cells [startCol, endCol) of the screen line numbered `line` (the scrollback's numbering).
struct VtCellRange {
    std::uint64_t line = 0;
    int startCol = 0, endCol = 0;
};

class VtFindText {
public:
    // Catches up with `screen`; the text is valid until the next update.
    FindText update(const VtScreen& screen);
    // The absolute position where screen line `i` (an index of screen.line) starts, and the
    // screen line holding absolute `position` (clamped to the lines there are).
    std::uint64_t lineStart(std::size_t i) const;
    std::size_t lineOf(std::uint64_t position) const;
    std::uint64_t end() const { return m_origin + m_text.size(); }
    // The cells a byte range covers, one range per screen line it touches.
    std::vector<VtCellRange> cellsOf(const VtScreen& screen, FindRange range) const;

private:
    void appendScrollback(const VtScrollback& sb);
    void dropFront(const VtScrollback& sb);

    std::string m_text;              // from m_origin; bytes before m_dead are gone
    std::size_t m_dead = 0;
    std::uint64_t m_origin = 0;
    std::size_t m_scrollbackBytes = 0; // m_text's part that holds scrollback lines
    std::deque<std::uint64_t> m_lineStarts; // the kept scrollback lines'
    std::uint64_t m_firstLine = 0;   // the scrollback number of m_lineStarts.front()
    std::uint64_t m_nextLine = 0;    // the scrollback number of the next line to take
    std::vector<std::uint64_t> m_rowStarts; // the grid's rows'
};

} // namespace terminal
