// The screen's painting: the visible rows, each character at its cell, control characters and
// bad bytes as boxes, the time stamp gutter and the caret.

#include "terminal/termedit.h"

#include "framework/clock.h"
#include "framework/codepage.h"
#include "terminal/screenlayout.h"

#include <QGlyphRun>
#include <QPainter>

#include <algorithm>

namespace {

// Room between the frame and the text.
constexpr int kMargin = 2;
// The find bar's matches, and the current one, behind the text.
const QColor kMatch(255, 236, 140);
const QColor kCurrentMatch(255, 170, 60);

} // namespace

void CTermEdit::paintEvent(QPaintEvent*) {
    const std::vector<Row> rows = visibleRows();
    QPainter p(viewport());
    p.fillRect(viewport()->rect(), palette().color(QPalette::Base));
    p.setFont(font());
    int y = 0;
    for (const Row& row : rows) {
        if (m_timeStamps && row.start == m_model.text().lines().start(row.line))
            paintStamp(p, row.start, y);
        paintRow(p, row, y);
        y += m_lineHeight;
    }
    paintSeparators(p, rows);
    if (hasFocus()) {
        const QRect caret = caretRect(this->caret());
        if (caret.isValid()) p.fillRect(caret, palette().color(QPalette::Text));
    }
}

void CTermEdit::paintSeparators(QPainter& p, const std::vector<Row>& rows) {
    // A separator at a row's start lies above it; one inside a row, below it.
    const std::vector<std::size_t>& marks = m_model.separators();
    if (marks.empty() || rows.empty()) return;
    p.setPen(QPen(palette().color(QPalette::Mid), 1));
    int y = 0;
    for (const Row& row : rows) {
        const auto mark = std::lower_bound(marks.begin(), marks.end(), row.start);
        const bool last = &row == &rows.back();
        if (mark != marks.end() && (*mark < row.end || (last && *mark == row.end))) {
            const int at = *mark == row.start ? y : y + m_lineHeight - 1;
            p.drawLine(0, at, viewport()->width(), at);
        }
        y += m_lineHeight;
    }
}

void CTermEdit::paintStamp(QPainter& p, std::size_t lineStart, int y) {
    const auto stamp = m_model.stamps().stampAt(lineStart);
    if (!stamp) return;
    const QString text = QString::fromStdString(fw::FormatTimeOfDay(*stamp));
    p.setPen(palette().color(QPalette::Disabled, QPalette::Text));
    p.drawText(QPointF(kMargin, y + m_ascent), text);
}

void CTermEdit::paintRow(QPainter& p, const Row& row, int y) {
    const std::string_view text = m_model.text().text();
    const std::size_t selStart = m_model.text().selectionStart(), selEnd = m_model.text().selectionEnd();
    const int x0 = m_gutterWidth + kMargin;
    const QColor ink = palette().color(QPalette::Text);
    const QColor selectedInk = palette().color(QPalette::HighlightedText);
    const QColor selected = palette().color(QPalette::Highlight);

    // Glyphs go out in runs of one colour, each at its cell: no shaping, columns line up.
    bool runSelected = false;
    int column = 0;
    const std::string_view line = slice(row.start, row.end);
    for (std::size_t i = 0; i < line.size();) {
        const terminal::LaidChar c = terminal::LayChar(line, i, column, m_columns, charSet());
        const std::size_t at = row.start + i;
        const bool isSelected = at >= selStart && at < selEnd;
        const int x = x0 + column * m_cellWidth;
        if (const int found = isSelected ? 0 : foundAt(m_model.absolute(at))) {
            const int cells = std::max(c.cells, text[at] == '\n' ? 1 : 0);
            p.fillRect(QRect(x, y, cells * m_cellWidth, m_lineHeight), found == 2 ? kCurrentMatch : kMatch);
        }
        if (isSelected) {
            // A selected line break shows as one selected cell after the line's text.
            const int cells = std::max(c.cells, text[at] == '\n' ? 1 : 0);
            p.fillRect(QRect(x, y, cells * m_cellWidth, m_lineHeight), selected);
        }
        if (isSelected != runSelected) {
            drawRun(p, y, runSelected ? selectedInk : ink);
            runSelected = isSelected;
        }
        paintChar(p, c, x, y, isSelected);
        column += c.cells;
        i += c.length;
    }
    drawRun(p, y, runSelected ? selectedInk : ink);
}

void CTermEdit::paintChar(QPainter& p, const terminal::LaidChar& c, int x, int y, bool selected) {
    if (c.glyph == terminal::Glyph::Plain) {
        if (const quint32 glyph = glyphOf(c.code)) {
            m_runGlyphs.append(glyph);
            m_runPositions.append(QPointF(x, 0));
            return;
        }
    }
    drawChar(p, c.code, c.glyph, QPoint(x, y), selected);
}

quint32 CTermEdit::glyphOf(char32_t code) {
    if (charSet() == terminal::CharacterSet::Western || code < 0x80)
        return m_glyphOf[charSet() == terminal::CharacterSet::Western
                             ? fw::UnicodeToAnsi(static_cast<char16_t>(code))
                             : code];
    const auto found = m_wideGlyphOf.constFind(code);
    if (found != m_wideGlyphOf.constEnd()) return *found;
    const QList<quint32> glyphs =
        m_rawFont.isValid() ? m_rawFont.glyphIndexesForString(QString::fromUcs4(&code, 1))
                            : QList<quint32>();
    const quint32 glyph = glyphs.size() == 1 ? glyphs[0] : 0;
    m_wideGlyphOf.insert(code, glyph);
    return glyph;
}

void CTermEdit::drawChar(QPainter& p, char32_t code, terminal::Glyph glyph, QPoint at,
                         bool selected) {
    if (glyph == terminal::Glyph::Box) {
        p.drawPixmap(at, box(static_cast<unsigned char>(code), selected));
    } else if (glyph == terminal::Glyph::Plain && code != ' ') {
        // Not in the font: the desktop's fallback draws it.
        p.setPen(palette().color(selected ? QPalette::HighlightedText : QPalette::Text));
        p.drawText(QPointF(at.x(), at.y() + m_ascent), QString::fromUcs4(&code, 1));
    }
}

void CTermEdit::drawRun(QPainter& p, int y, const QColor& ink) {
    if (m_runGlyphs.isEmpty()) return;
    QGlyphRun run;
    run.setRawFont(m_rawFont);
    run.setGlyphIndexes(m_runGlyphs);
    run.setPositions(m_runPositions);
    p.setPen(ink);
    p.drawGlyphRun(QPointF(0, y + m_ascent), run);
    m_runGlyphs.clear();
    m_runPositions.clear();
}

const QPixmap& CTermEdit::box(unsigned char b, bool selected) {
    QPixmap& box = m_boxes[b + (selected ? 256u : 0u)];
    if (box.isNull()) {
        // A control character: its value in a small frame, whatever the font has.
        const qreal dpr = devicePixelRatioF();
        box = QPixmap(QSize(terminal::kBoxCells * m_cellWidth, m_lineHeight) * dpr);
        box.setDevicePixelRatio(dpr);
        box.fill(Qt::transparent);
        QPainter p(&box);
        p.setPen(palette().color(selected ? QPalette::HighlightedText : QPalette::Text));
        const QRect frame(1, 1, terminal::kBoxCells * m_cellWidth - 3, m_lineHeight - 3);
        p.drawRect(frame);
        p.setFont(m_boxFont);
        p.drawText(frame, Qt::AlignCenter,
                   QStringLiteral("%1").arg(b, 2, 16, QLatin1Char('0')).toUpper());
    }
    return box;
}

