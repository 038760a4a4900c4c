#include "terminal/vtscreen.h"

#include <algorithm>

namespace terminal {

VtScreen::VtScreen(int rows, int cols, std::size_t scrollbackLimit)
    : m_normal(rows, cols), m_alt(rows, cols), m_scrollback(scrollbackLimit) {}

void VtScreen::push(const VtRow& row) {
    m_scrollback.push(row);
    ++m_pushed;
}

void VtScreen::putGlyph(int row, int col, const char32_t* chars, int count, int width) {
    VtGrid& g = active();
    if (col == 0 && m_wrapRow >= 0 && row > 0) g.setWrapped(row - 1, true);
    g.put(row, col, chars, count, width, pen);
    if (col + std::max(width, 1) >= g.cols()) {
        m_wrapRow = row;
        m_wrapCol = col;
    } else {
        m_wrapRow = -1;
    }
}

void VtScreen::putAscii(int row, int col, const char* text, int n) {
    VtGrid& g = active();
    if (col == 0 && m_wrapRow >= 0 && row > 0) g.setWrapped(row - 1, true);
    g.putAscii(row, col, text, n, pen);
    m_wrapRow = -1;
}

void VtScreen::setCursor(int row, int col) {
    if (row != m_wrapRow || col != m_wrapCol) m_wrapRow = -1;
    const int oldRow = m_cursorRow;
    m_cursorRow = row;
    m_cursorCol = col;
    // Both the row the cursor left and the one it is on are drawn again.
    active().markDamaged(oldRow);
    active().markDamaged(row);
}

void VtScreen::scroll(VtRect rect, int down, int right) {
    VtGrid& g = active();
    const bool toScrollback = !m_altOn && rect.startRow == 0 && down > 0;
    if (toScrollback)
        g.scroll(rect, down, right, pen, [this](const VtRow& row) { push(row); });
    else
        g.scroll(rect, down, right, pen);
}

void VtScreen::setAltScreen(bool on) {
    if (on == m_altOn) return;
    m_altOn = on;
    if (on) m_alt.erase({0, m_alt.rows(), 0, m_alt.cols()}, VtPen{});
    active().damageAll();
}

void VtScreen::setReverse(bool on) {
    m_reverse = on;
    active().damageAll();
}

int VtScreen::resize(int rows, int cols, int cursorRow) {
    rows = std::max(rows, 1);
    cols = std::max(cols, 1);
    int delta = 0;
    auto shrink = [&](VtGrid& g, bool keep) {
        const int need = g.rows() - rows;
        if (need <= 0) return 0;
        // Rows below the cursor go first, then the top ones (to the scrollback if kept).
        const int below = std::clamp(g.rows() - 1 - cursorRow, 0, need);
        const int top = need - below;
        if (keep)
            g.dropTop(top, [this](const VtRow& row) { push(row); });
        else
            g.dropTop(top, {});
        return top;
    };
    const int normalMoved = shrink(m_normal, true);
    const int altMoved = shrink(m_alt, false);
    delta = -(m_altOn ? altMoved : normalMoved);
    m_normal.resize(rows, cols);
    m_alt.resize(rows, cols);
    m_cursorRow = std::clamp(m_cursorRow + delta, 0, rows - 1);
    m_cursorCol = std::clamp(m_cursorCol, 0, cols - 1);
    m_wrapRow = -1;
    return delta;
}

void VtScreen::clear() {
    m_scrollback.clear();
    m_normal.erase({0, m_normal.rows(), 0, m_normal.cols()}, VtPen{});
    m_alt.erase({0, m_alt.rows(), 0, m_alt.cols()}, VtPen{});
}

VtRow VtScreen::line(std::size_t i) const {
    const std::size_t kept = m_scrollback.size();
    if (i < kept) return m_scrollback.line(i, grid().cols());
    const int r = static_cast<int>(i - kept);
    return r < grid().rows() ? grid().row(r) : BlankRow(grid().cols());
}

std::string VtScreen::lineText(std::size_t i) const {
    const std::size_t kept = m_scrollback.size();
    if (i < kept) return m_scrollback.text(i);
    const int r = static_cast<int>(i - kept);
    return r < grid().rows() ? RowText(grid().row(r)) : std::string();
}

} // namespace terminal
