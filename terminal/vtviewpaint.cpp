// The terminal view's painting: only the rows the paint event asks for, glyphs from a cache of
// glyph indexes per style, drawn in runs of one colour, each glyph at its cell.

#include "terminal/vtpalette.h"
#include "terminal/vtview.h"

#include <QGlyphRun>
#include <QPaintEvent>
#include <QPainter>

namespace terminal {

namespace {

constexpr int kMargin = 2;

QColor Rgb(std::uint32_t v) { return QColor::fromRgb(static_cast<QRgb>(v)); }

} // namespace

quint32 VtView::glyphOf(Style& style, char32_t ch) {
    const auto it = style.glyphs.find(ch);
    if (it != style.glyphs.end()) return it->second;
    const QList<quint32> glyphs = style.font.isValid()
                                      ? style.font.glyphIndexesForString(QString::fromUcs4(&ch, 1))
                                      : QList<quint32>();
    const quint32 glyph = glyphs.size() == 1 ? glyphs[0] : 0;
    style.glyphs.emplace(ch, glyph);
    return glyph;
}

bool VtView::selected(std::uint64_t line, int col) const {
    if (!m_selection.active) return false;
    const VtPoint p{line, col};
    return p >= m_selRange.first && p < m_selRange.second;
}

void VtView::paintEvent(QPaintEvent* e) {
    QPainter p(viewport());
    const std::uint32_t paper = palette().color(QPalette::Base).rgb() & 0xFFFFFFu;
    p.fillRect(e->rect(), Rgb(m_screen.reverse() ? palette().color(QPalette::Text).rgb() & 0xFFFFFFu : paper));
    if (m_selection.active) m_selRange = m_selection.range(m_screen);
    const VtScrollback& sb = m_screen.scrollback();
    const std::size_t top = topLine(), kept = sb.size();
    const int first = std::max(0, e->rect().top() / m_lineHeight);
    const int last = e->rect().bottom() / m_lineHeight;
    for (int k = first; k <= last; ++k) {
        const std::size_t line = top + static_cast<std::size_t>(k);
        if (line >= m_screen.lineCount()) break;
        const std::uint64_t abs = sb.dropped() + line;
        if (line < kept)
            paintRow(p, sb.line(line, m_screen.grid().cols()), abs, k * m_lineHeight);
        else
            paintRow(p, m_screen.grid().row(static_cast<int>(line - kept)), abs, k * m_lineHeight);
    }
    paintCursor(p);
}

void VtView::paintRow(QPainter& p, const VtRow& row, std::uint64_t line, int y) {
    const std::uint32_t ink = palette().color(QPalette::Text).rgb() & 0xFFFFFFu;
    const std::uint32_t paper = palette().color(QPalette::Base).rgb() & 0xFFFFFFu;
    const std::uint32_t selInk = palette().color(QPalette::HighlightedText).rgb() & 0xFFFFFFu;
    const std::uint32_t selPaper = palette().color(QPalette::Highlight).rgb() & 0xFFFFFFu;
    const std::uint32_t screenPaper = m_screen.reverse() ? ink : paper;
    const int n = static_cast<int>(row.cells.size());
    auto colorsAt = [&](int c) {
        CellColors cc = ColorsOf(row.cells[static_cast<std::size_t>(c)], ink, paper, m_screen.reverse());
        if (selected(line, c)) cc = {selInk, selPaper};
        else if (const int found = foundAt(line, c)) cc = {0x000000u, found == 2 ? 0xFFAA3Cu : 0xFFEC8Cu};
        return cc;
    };
    // Paper first, in runs of one colour that differs from the screen's.
    for (int c = 0; c < n;) {
        const std::uint32_t bg = colorsAt(c).bg;
        int end = c + 1;
        while (end < n && colorsAt(end).bg == bg) ++end;
        if (bg != screenPaper)
            p.fillRect(kMargin + c * m_cellWidth, y, (end - c) * m_cellWidth, m_lineHeight, Rgb(bg));
        c = end;
    }
    // Then the glyphs, one run per style and ink.
    int runStyle = -1;
    std::uint32_t runInk = 0;
    auto flush = [&] {
        if (m_runGlyphs.isEmpty()) return;
        QGlyphRun run;
        run.setRawFont(m_styles[static_cast<std::size_t>(runStyle)].font);
        run.setGlyphIndexes(m_runGlyphs);
        run.setPositions(m_runPositions);
        p.setPen(Rgb(runInk));
        p.drawGlyphRun(QPointF(0, y + m_ascent), run);
        m_runGlyphs.clear();
        m_runPositions.clear();
    };
    for (int c = 0; c < n; ++c) {
        const VtCell& cell = row.cells[static_cast<std::size_t>(c)];
        if (cell.width == 0) continue;
        const std::uint32_t fg = colorsAt(c).fg;
        const int x = kMargin + c * m_cellWidth;
        if (cell.attrs & (kAttrUnderline | kAttrStrike)) {
            p.setPen(Rgb(fg));
            const int ly = (cell.attrs & kAttrUnderline) ? y + m_ascent + 1 : y + m_lineHeight / 2;
            p.drawLine(x, ly, x + cell.width * m_cellWidth - 1, ly);
        }
        if (cell.ch == U' ' || cell.ch == 0) continue;
        const int style = ((cell.attrs & kAttrBold) ? 1 : 0) | ((cell.attrs & kAttrItalic) ? 2 : 0);
        const std::u32string marks = row.marks.empty() ? std::u32string() : MarksAt(row, c);
        const quint32 glyph = marks.empty() ? glyphOf(m_styles[static_cast<std::size_t>(style)], cell.ch) : 0;
        if (glyph == 0) {
            // Not in the font (or with combining marks): the desktop's fallback fonts draw it.
            std::u32string text(1, cell.ch);
            text += marks;
            p.setPen(Rgb(fg));
            p.setFont(font());
            p.drawText(QPointF(x, y + m_ascent), QString::fromStdU32String(text));
            continue;
        }
        if (style != runStyle || fg != runInk) {
            flush();
            runStyle = style;
            runInk = fg;
        }
        m_runGlyphs.append(glyph);
        m_runPositions.append(QPointF(x, 0));
    }
    flush();
}

void VtView::paintCursor(QPainter& p) {
    if (!m_screen.cursorVisible()) return;
    const std::size_t line = m_screen.scrollback().size() + static_cast<std::size_t>(m_screen.cursorRow());
    const std::size_t top = topLine();
    if (line < top) return;
    const int y = static_cast<int>(line - top) * m_lineHeight;
    if (y >= viewport()->height()) return;
    const int col = std::clamp(m_screen.cursorCol(), 0, m_screen.grid().cols() - 1);
    const VtRow& row = m_screen.grid().row(m_screen.cursorRow());
    const VtCell& cell = row.cells[static_cast<std::size_t>(col)];
    const QRect r(kMargin + col * m_cellWidth, y, std::max<int>(cell.width, 1) * m_cellWidth, m_lineHeight);
    const CellColors cc = ColorsOf(cell, palette().color(QPalette::Text).rgb() & 0xFFFFFFu,
                                   palette().color(QPalette::Base).rgb() & 0xFFFFFFu, m_screen.reverse());
    if (!hasFocus()) {
        p.setPen(Rgb(cc.fg));
        p.drawRect(r.adjusted(0, 0, -1, -1));
        return;
    }
    // A block in the ink, the character in the paper.
    p.fillRect(r, Rgb(cc.fg));
    if (cell.ch != U' ' && cell.ch != 0) {
        p.setPen(Rgb(cc.bg));
        p.setFont(font());
        p.drawText(QPointF(r.x(), y + m_ascent), QString::fromUcs4(&cell.ch, 1));
    }
}

} // namespace terminal
