#pragma once
// What the terminal shows: the normal grid with its scrollback, the alternate grid that
// full-screen programs draw on (entering it clears it; leaving it shows the normal grid and
// the scrollback exactly as they were), the pen, and the cursor. The engine writes it; the view
// reads lines by number: scrollback lines first, then the rows of the grid being shown.
//
// No part of it knows the engine, so it is tested and fuzzed with plain calls.

#include "terminal/vtgrid.h"
#include "terminal/vtscrollback.h"

#include <cstdint>
#include <string>

namespace terminal {

class VtScreen {
public:
    VtScreen(int rows, int cols, std::size_t scrollbackLimit = kScrollbackDefault);

    // --- written by the engine ---
    VtPen pen;
    void putGlyph(int row, int col, const char32_t* chars, int count, int width);
    // Printable ASCII from row, col on, short of the row's last cell.
    void putAscii(int row, int col, const char* text, int n);
    void erase(VtRect rect) { active().erase(rect, pen); }
    // Rows scrolled off the top of the normal grid (from a region that starts at its top) go
    // to the scrollback.
    void scroll(VtRect rect, int down, int right);
    void moveRect(VtRect dest, VtRect src) { active().moveRect(dest, src); }
    void setCursor(int row, int col);
    void setCursorVisible(bool visible) { m_cursorVisible = visible; }
    void setAltScreen(bool on);
    void setReverse(bool on);
    // Both grids take the new size; normal rows that no longer fit above the cursor go to the
    // scrollback. Returns the rows the cursor must move (zero or negative).
    int resize(int rows, int cols, int cursorRow);
    // Blank grids and an empty scrollback (the line numbering goes on).
    void clear();

    // --- read by the view ---
    const VtGrid& grid() const { return m_altOn ? m_alt : m_normal; }
    VtGrid& active() { return m_altOn ? m_alt : m_normal; }
    bool altScreen() const { return m_altOn; }
    bool reverse() const { return m_reverse; }
    VtScrollback& scrollback() { return m_scrollback; }
    const VtScrollback& scrollback() const { return m_scrollback; }
    int cursorRow() const { return m_cursorRow; }
    int cursorCol() const { return m_cursorCol; }
    bool cursorVisible() const { return m_cursorVisible; }
    // Lines: the scrollback's, then the shown grid's rows.
    std::size_t lineCount() const { return m_scrollback.size() + grid().rows(); }
    VtRow line(std::size_t i) const;
    std::string lineText(std::size_t i) const;
    // Lines ever pushed to the scrollback: the view follows the text by it.
    std::uint64_t pushedTotal() const { return m_pushed; }

private:
    void push(const VtRow& row);

    VtGrid m_normal, m_alt;
    VtScrollback m_scrollback;
    bool m_altOn = false, m_reverse = false, m_cursorVisible = true;
    int m_cursorRow = 0, m_cursorCol = 0;
    std::uint64_t m_pushed = 0;
    // Where the last character went when it filled the row's last cell: a character at the
    // next row's start without a cursor move between means the row wrapped.
    int m_wrapRow = -1, m_wrapCol = -1;
};

} // namespace terminal
