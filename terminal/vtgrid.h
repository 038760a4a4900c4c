#pragma once
// The screen's grid: a ring of rows, so that scrolling the whole screen moves no cell (only
// the ring's start); scrolling a region swaps whole rows, and only partial-width regions copy
// cells. Every row remembers whether it changed since the view last looked (damage).
//
// Positions outside the grid are ignored or clipped, never an error: the engine may be a
// step behind a resize.

#include "terminal/vtcell.h"

#include <cstdint>
#include <functional>

namespace terminal {

class VtGrid {
public:
    VtGrid(int rows, int cols);

    int rows() const { return m_rowCount; }
    int cols() const { return m_cols; }
    const VtRow& row(int r) const { return m_rows[index(r)]; }

    // Writes one character (a code point and its combining marks) of `width` cells at r, c.
    // Inline for the common case (a narrow character without marks over a narrow one, not in
    // the last column), which every printable byte of a flood takes.
    void put(int r, int c, const char32_t* chars, int count, int width, const VtPen& pen) {
        // c < cols - 1 as unsigned: a negative column (the engine gives one after some
        // resizes) is huge and goes the checked way.
        if (count == 1 && width == 1 && static_cast<unsigned>(r) < static_cast<unsigned>(m_rowCount) &&
            static_cast<unsigned>(c) < static_cast<unsigned>(m_cols - 1)) {
            const std::size_t i = index(r);
            VtRow& row = m_rows[i];
            VtCell* cell = row.cells.data() + c;
            if (cell[0].width == 1 && cell[1].width != 0 && row.marks.empty()) {
                cell->ch = chars[0];
                cell->fg = pen.fg;
                cell->bg = pen.bg;
                cell->attrs = pen.attrs;
                m_damage[i] = 1;
                m_anyDamage = true;
                return;
            }
        }
        putAny(r, c, chars, count, width, pen);
    }
    // Writes `n` printable ASCII characters from r, c on, none of them in the last column.
    void putAscii(int r, int c, const char* text, int n, const VtPen& pen);
    // Blanks the rectangle in the pen's background.
    void erase(VtRect rect, const VtPen& pen);
    // Moves the rectangle's content up by `down` rows (down when negative) and left by `right`
    // columns; what is uncovered is blanked with `pen`. Rows leaving a full-width region go to
    // `pushed` first (when given), oldest first.
    void scroll(VtRect rect, int down, int right, const VtPen& pen,
                const std::function<void(const VtRow&)>& pushed = {});
    // Copies the cells of `src` to `dest` (same size), as if through a temporary.
    void moveRect(VtRect dest, VtRect src);
    // New size, keeping the top-left; new cells are blank.
    void resize(int rows, int cols);
    // Drops the first `n` rows (pushing them), the rest moves up.
    void dropTop(int n, const std::function<void(const VtRow&)>& pushed);
    void setWrapped(int r, bool wrapped);

    // Damage: rows changed since the last takeDamage(), cleared by it.
    bool damaged(int r) const { return r >= 0 && r < m_rowCount && m_damage[index(r)]; }
    bool anyDamage() const { return m_anyDamage; }
    void damageAll();
    void markDamaged(int r) {
        if (r >= 0 && r < m_rowCount) touch(r);
    }
    void takeDamage();

private:
    std::size_t index(int r) const {
        const int i = m_top + r;
        return static_cast<std::size_t>(i >= m_rowCount ? i - m_rowCount : i);
    }
    VtRow& at(int r) { return m_rows[index(r)]; }
    void putAny(int r, int c, const char32_t* chars, int count, int width, const VtPen& pen);
    void touch(int r);
    VtRect clip(VtRect r) const;
    void scrollRows(VtRect rect, int down, const VtPen& pen,
                    const std::function<void(const VtRow&)>& pushed);

    std::vector<VtRow> m_rows;
    std::vector<std::uint8_t> m_damage;
    int m_rowCount, m_cols, m_top = 0;
    bool m_anyDamage = true;
};

// Cell-range helpers that keep a row's combining marks with their cells.
void BlankCells(VtRow& row, int from, int to, const VtPen& pen);
void CopyCells(VtRow& dst, int dstCol, const VtRow& src, int srcCol, int n);
// The marks of the cell at `col`, empty when it has none.
std::u32string MarksAt(const VtRow& row, int col);
// A row of `cols` blank default cells.
VtRow BlankRow(int cols, const VtPen& pen = {});

} // namespace terminal
