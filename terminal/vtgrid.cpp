#include "terminal/vtgrid.h"

#include <algorithm>

namespace terminal {

namespace {

void DropMarks(VtRow& row, int from, int to) {
    std::erase_if(row.marks, [&](const auto& m) { return m.first >= from && m.first < to; });
}

// Between cells col-1 and col: a wide character's head without its tail, or a tail without its
// head, becomes a blank (keeping its colours), so that no half of a wide character is left.
void MendEdge(VtRow& row, int col) {
    const int n = static_cast<int>(row.cells.size());
    if (col > 0 && col <= n) {
        VtCell& head = row.cells[static_cast<std::size_t>(col - 1)];
        if (head.width == 2 && (col == n || row.cells[static_cast<std::size_t>(col)].width != 0)) {
            head.ch = U' ';
            head.width = 1;
        }
    }
    if (col >= 0 && col < n) {
        VtCell& tail = row.cells[static_cast<std::size_t>(col)];
        if (tail.width == 0 && (col == 0 || row.cells[static_cast<std::size_t>(col - 1)].width != 2)) {
            tail.ch = U' ';
            tail.width = 1;
        }
    }
}

} // namespace

VtRow BlankRow(int cols, const VtPen& pen) {
    VtRow row;
    row.cells.assign(static_cast<std::size_t>(std::max(cols, 0)), BlankCell(pen));
    return row;
}

void BlankCells(VtRow& row, int from, int to, const VtPen& pen) {
    from = std::max(from, 0);
    to = std::min(to, static_cast<int>(row.cells.size()));
    if (from >= to) return;
    std::fill(row.cells.begin() + from, row.cells.begin() + to, BlankCell(pen));
    if (!row.marks.empty()) DropMarks(row, from, to);
    MendEdge(row, from);
    MendEdge(row, to);
}

void CopyCells(VtRow& dst, int dstCol, const VtRow& src, int srcCol, int n) {
    if (n <= 0) return;
    // Through a temporary, so that overlapping ranges of one row copy as a move would.
    const std::vector<VtCell> cells(src.cells.begin() + srcCol, src.cells.begin() + srcCol + n);
    std::vector<std::pair<std::uint16_t, std::u32string>> marks;
    for (const auto& m : src.marks)
        if (m.first >= srcCol && m.first < srcCol + n)
            marks.emplace_back(static_cast<std::uint16_t>(m.first - srcCol + dstCol), m.second);
    std::copy(cells.begin(), cells.end(), dst.cells.begin() + dstCol);
    DropMarks(dst, dstCol, dstCol + n);
    dst.marks.insert(dst.marks.end(), marks.begin(), marks.end());
    MendEdge(dst, dstCol);
    MendEdge(dst, dstCol + n);
}

std::u32string MarksAt(const VtRow& row, int col) {
    for (const auto& m : row.marks)
        if (m.first == col) return m.second;
    return {};
}

VtGrid::VtGrid(int rows, int cols)
    : m_rowCount(std::max(rows, 1)), m_cols(std::max(cols, 1)) {
    m_rows.assign(static_cast<std::size_t>(m_rowCount), BlankRow(m_cols));
    m_damage.assign(static_cast<std::size_t>(m_rowCount), 1);
}

void VtGrid::touch(int r) {
    m_damage[index(r)] = 1;
    m_anyDamage = true;
}

void VtGrid::damageAll() {
    std::fill(m_damage.begin(), m_damage.end(), 1);
    m_anyDamage = true;
}

void VtGrid::takeDamage() {
    std::fill(m_damage.begin(), m_damage.end(), 0);
    m_anyDamage = false;
}

VtRect VtGrid::clip(VtRect r) const {
    r.startRow = std::clamp(r.startRow, 0, m_rowCount);
    r.endRow = std::clamp(r.endRow, r.startRow, m_rowCount);
    r.startCol = std::clamp(r.startCol, 0, m_cols);
    r.endCol = std::clamp(r.endCol, r.startCol, m_cols);
    return r;
}

void VtGrid::putAny(int r, int c, const char32_t* chars, int count, int width, const VtPen& pen) {
    if (r < 0 || r >= m_rowCount || c < 0 || c >= m_cols || count <= 0) return;
    const std::size_t i = index(r);
    VtRow& row = m_rows[i];
    width = std::clamp(width, 1, 2);
    if (c + width > m_cols) width = 1;
    const auto at = static_cast<std::size_t>(c);
    // Only a wide character (written, or written over) needs its neighbours looked at.
    const bool mend = width == 2 || row.cells[at].width != 1 ||
                      (at + 1 < row.cells.size() && row.cells[at + 1].width == 0);
    // Field by field: a whole cell built on the stack and copied stalls on every glyph.
    VtCell& cell = row.cells[at];
    cell.ch = chars[0];
    cell.fg = pen.fg;
    cell.bg = pen.bg;
    cell.attrs = pen.attrs;
    cell.width = static_cast<std::uint8_t>(width);
    if (width == 2) row.cells[at + 1] = {0, pen.fg, pen.bg, pen.attrs, 0};
    if (!row.marks.empty()) DropMarks(row, c, c + width);
    if (count > 1)
        row.marks.emplace_back(static_cast<std::uint16_t>(c), std::u32string(chars + 1, chars + count));
    if (mend) {
        MendEdge(row, c);
        MendEdge(row, c + width);
    }
    m_damage[i] = 1;
    m_anyDamage = true;
}

void VtGrid::putAscii(int r, int c, const char* text, int n, const VtPen& pen) {
    if (n <= 0) return;
    bool plain = r >= 0 && r < m_rowCount && c >= 0 && c + n < m_cols && at(r).marks.empty();
    VtCell* cell = plain ? at(r).cells.data() + c : nullptr;
    // Over narrow cells only (a wide character's tail just after would have its head among
    // them): nothing to mend.
    for (int k = 0; plain && k < n; ++k) plain = cell[k].width == 1;
    if (!plain) {
        for (int k = 0; k < n; ++k) {
            const char32_t ch = static_cast<unsigned char>(text[k]);
            put(r, c + k, &ch, 1, 1, pen);
        }
        return;
    }
    for (int k = 0; k < n; ++k) {
        cell[k].ch = static_cast<unsigned char>(text[k]);
        cell[k].fg = pen.fg;
        cell[k].bg = pen.bg;
        cell[k].attrs = pen.attrs;
    }
    touch(r);
}

void VtGrid::erase(VtRect rect, const VtPen& pen) {
    rect = clip(rect);
    for (int r = rect.startRow; r < rect.endRow; ++r) {
        BlankCells(at(r), rect.startCol, rect.endCol, pen);
        if (rect.endCol == m_cols) at(r).wrapped = false;
        touch(r);
    }
}

void VtGrid::setWrapped(int r, bool wrapped) {
    if (r >= 0 && r < m_rowCount) at(r).wrapped = wrapped;
}

void VtGrid::scroll(VtRect rect, int down, int right, const VtPen& pen,
                    const std::function<void(const VtRow&)>& pushed) {
    rect = clip(rect);
    const int height = rect.endRow - rect.startRow, width = rect.endCol - rect.startCol;
    if (height <= 0 || width <= 0) return;
    if (right == 0 && rect.startCol == 0 && rect.endCol == m_cols) {
        scrollRows(rect, down, pen, pushed);
        return;
    }
    if (std::abs(down) >= height || std::abs(right) >= width) {
        erase(rect, pen);
        return;
    }
    // A partial-width region: cells are copied row by row, in the order that reads each
    // source before it is overwritten.
    const int n = width - std::abs(right);
    const int srcCol = rect.startCol + std::max(right, 0), dstCol = rect.startCol + std::max(-right, 0);
    auto copyRow = [&](int dst) {
        const int src = dst + down;
        if (src >= rect.startRow && src < rect.endRow) {
            CopyCells(at(dst), dstCol, row(src), srcCol, n);
            BlankCells(at(dst), right > 0 ? rect.endCol - right : rect.startCol,
                       right > 0 ? rect.endCol : rect.startCol - right, pen);
        } else {
            BlankCells(at(dst), rect.startCol, rect.endCol, pen);
        }
        touch(dst);
    };
    if (down >= 0)
        for (int r = rect.startRow; r < rect.endRow; ++r) copyRow(r);
    else
        for (int r = rect.endRow - 1; r >= rect.startRow; --r) copyRow(r);
}

void VtGrid::scrollRows(VtRect rect, int down, const VtPen& pen,
                        const std::function<void(const VtRow&)>& pushed) {
    const int height = rect.endRow - rect.startRow;
    if (down == 0) return;
    if (down > 0 && pushed)
        for (int r = rect.startRow; r < rect.startRow + std::min(down, height); ++r) pushed(row(r));
    if (std::abs(down) >= height) {
        erase(rect, pen);
        return;
    }
    if (height == m_rowCount) {
        // The whole screen: turn the ring, then blank the rows that came round.
        m_top = ((m_top + down) % m_rowCount + m_rowCount) % m_rowCount;
        if (down > 0)
            erase({m_rowCount - down, m_rowCount, 0, m_cols}, pen);
        else
            erase({0, -down, 0, m_cols}, pen);
        damageAll();
        return;
    }
    if (down > 0)
        for (int r = rect.startRow; r + down < rect.endRow; ++r) std::swap(at(r), at(r + down));
    else
        for (int r = rect.endRow - 1; r + down >= rect.startRow; --r) std::swap(at(r), at(r + down));
    for (int r = rect.startRow; r < rect.endRow; ++r) touch(r);
    if (down > 0)
        erase({rect.endRow - down, rect.endRow, 0, m_cols}, pen);
    else
        erase({rect.startRow, rect.startRow - down, 0, m_cols}, pen);
}

void VtGrid::moveRect(VtRect dest, VtRect src) {
    src = clip(src);
    const int height = std::min(src.endRow - src.startRow, m_rowCount - dest.startRow);
    const int width = std::min(src.endCol - src.startCol, m_cols - dest.startCol);
    if (height <= 0 || width <= 0 || dest.startRow < 0 || dest.startCol < 0) return;
    std::vector<VtRow> copy;
    copy.reserve(static_cast<std::size_t>(height));
    for (int r = 0; r < height; ++r) copy.push_back(row(src.startRow + r));
    for (int r = 0; r < height; ++r) {
        CopyCells(at(dest.startRow + r), dest.startCol, copy[static_cast<std::size_t>(r)],
                  src.startCol, width);
        touch(dest.startRow + r);
    }
}

void VtGrid::resize(int rows, int cols) {
    rows = std::max(rows, 1);
    cols = std::max(cols, 1);
    std::vector<VtRow> next;
    next.reserve(static_cast<std::size_t>(rows));
    for (int r = 0; r < rows; ++r) {
        VtRow row = r < m_rowCount ? std::move(at(r)) : BlankRow(cols);
        row.cells.resize(static_cast<std::size_t>(cols), VtCell{});
        // A wide character cut in half by the new edge becomes a blank.
        if (!row.cells.empty() && row.cells.back().width == 2) row.cells.back() = VtCell{};
        DropMarks(row, cols, 1 << 16);
        next.push_back(std::move(row));
    }
    m_rows = std::move(next);
    m_rowCount = rows;
    m_cols = cols;
    m_top = 0;
    m_damage.assign(static_cast<std::size_t>(rows), 1);
    m_anyDamage = true;
}

void VtGrid::dropTop(int n, const std::function<void(const VtRow&)>& pushed) {
    n = std::clamp(n, 0, m_rowCount);
    for (int r = 0; r < n; ++r)
        if (pushed) pushed(row(r));
    scrollRows({0, m_rowCount, 0, m_cols}, n, VtPen{}, {});
}

} // namespace terminal
