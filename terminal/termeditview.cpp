// The screen's view: the layout of the visible lines, scrolling, and painting.

#include "terminal/termedit.h"

#include "framework/clock.h"
#include "framework/codepage.h"
#include "terminal/screenlayout.h"

#include <QGlyphRun>
#include <QPainter>
#include <QScrollBar>
#include <QWheelEvent>

#include <algorithm>

namespace {

// Room between the frame and the text.
constexpr int kMargin = 2;
// Wrapped lines kept for painting; more are only kept while they are on the glass.
constexpr int kMaxWraps = 1024;

} // namespace

void CTermEdit::catchUp() {
    const bool changed = m_text.changed();
    if (changed) {
        const LineIndex& lines = m_text.lines();
        if (m_text.resetPending() || m_wraps.size() > kMaxWraps) {
            m_wraps.clear();
        } else {
            // Lines reaching past what stayed the same are rewrapped; lines cut off went.
            const std::uint64_t stable = lines.origin() + m_text.stablePrefix();
            for (auto it = m_wraps.begin(); it != m_wraps.end();)
                it = (it.key() < lines.origin() || it->end > stable) ? m_wraps.erase(it) : ++it;
        }
        m_text.markSynced();
    }
    updateScrollBar();
}

void CTermEdit::scrollContentsBy(int, int) {
    // The view paints from its own scroll state; the bar only reports it.
}

void CTermEdit::changeEvent(QEvent* e) {
    if (e->type() == QEvent::PaletteChange) m_boxes = {};
    if (e->type() == QEvent::FontChange) {
        m_wraps.clear();
        m_columns = 0;
        updateMetrics();
        updateScrollBar();
        viewport()->update();
    }
    QAbstractScrollArea::changeEvent(e);
}

void CTermEdit::resizeEvent(QResizeEvent* e) {
    QAbstractScrollArea::resizeEvent(e);
    updateMetrics();
    updateScrollBar();
}

// --- layout ---

void CTermEdit::updateMetrics() {
    const QFontMetricsF fm(font());
    m_cellWidth = std::max(1, qRound(fm.horizontalAdvance(QLatin1Char('M'))));
    m_lineHeight = std::max(1, qCeil(fm.height()));
    m_ascent = qRound(fm.ascent());
    m_rawFont = QRawFont::fromFont(font());
    for (int b = 0; b < 256; ++b) {
        const QChar c(fw::AnsiToUnicode(static_cast<unsigned char>(b)));
        const QList<quint32> glyph =
            m_rawFont.isValid() ? m_rawFont.glyphIndexesForString(QString(c)) : QList<quint32>();
        m_glyphOf[static_cast<std::size_t>(b)] = glyph.size() == 1 ? glyph[0] : 0;
    }
    m_boxes = {};
    m_boxFont = font();
    m_boxFont.setPixelSize(std::max(6, m_lineHeight * 3 / 5));
    // "HH:MM:SS.mmm" and a blank before the text.
    m_gutterWidth = m_timeStamps ? 13 * m_cellWidth : 0;
    const int width = viewport()->width() - m_gutterWidth - 2 * kMargin;
    const int columns = std::max(1, width / m_cellWidth);
    if (columns != m_columns) m_wraps.clear();
    m_columns = columns;
}

void CTermEdit::setTimeStamps(bool shown) {
    if (shown == m_timeStamps) return;
    m_timeStamps = shown;
    updateMetrics();
    updateScrollBar();
    viewport()->update();
}

const std::vector<std::uint32_t>& CTermEdit::rowsOf(std::size_t line) {
    const LineIndex& lines = m_text.lines();
    const std::size_t start = lines.start(line);
    const std::size_t end = lines.end(line, m_text.length());
    const std::uint64_t id = lines.lineId(line);
    Wrap& wrap = m_wraps[id];
    if (wrap.rows.empty() || wrap.end != lines.origin() + end) {
        terminal::WrapLine(slice(start, end), m_columns, wrap.rows);
        wrap.end = lines.origin() + end;
    }
    return wrap.rows;
}

CTermEdit::Row CTermEdit::rowAt(Place p) {
    const LineIndex& lines = m_text.lines();
    const std::size_t start = lines.start(p.line);
    const std::size_t end = lines.end(p.line, m_text.length());
    const auto& rows = rowsOf(p.line);
    const std::size_t row = std::min(p.row, rows.size() - 1);
    return {start + rows[row], row + 1 < rows.size() ? start + rows[row + 1] : end, p.line};
}

bool CTermEdit::stepRows(Place& p, long delta) {
    const std::size_t lineCount = m_text.lines().count();
    for (; delta > 0; --delta) {
        if (p.row + 1 < rowCount(p.line)) {
            ++p.row;
        } else if (p.line + 1 < lineCount) {
            ++p.line;
            p.row = 0;
        } else {
            return false;
        }
    }
    for (; delta < 0; ++delta) {
        if (p.row > 0) {
            --p.row;
        } else if (p.line > 0) {
            --p.line;
            p.row = rowCount(p.line) - 1;
        } else {
            return false;
        }
    }
    return true;
}

int CTermEdit::visibleRowCount() const {
    return std::max(1, viewport()->height() / m_lineHeight);
}

CTermEdit::Place CTermEdit::topPlace() {
    const LineIndex& lines = m_text.lines();
    Place p;
    if (m_follow) {
        p.line = lines.count() - 1;
        p.row = rowCount(p.line) - 1;
        stepRows(p, 1 - visibleRowCount());
        return p;
    }
    if (m_topLine < lines.origin()) return p; // the top was cut off: the screen's start
    p.line = lines.lineOf(static_cast<std::size_t>(
        std::min<std::uint64_t>(m_topLine - lines.origin(), m_text.length())));
    p.row = std::min(m_topRow, rowCount(p.line) - 1);
    return p;
}

void CTermEdit::setTop(Place p) {
    m_topLine = m_text.lines().lineId(p.line);
    m_topRow = p.row;
    // A top from which the rest fits on the glass is the end: follow it from now on.
    Place bottom = p;
    stepRows(bottom, visibleRowCount() - 1);
    m_follow = bottom.line + 1 == m_text.lines().count() && bottom.row + 1 == rowCount(bottom.line);
    updateScrollBar();
    viewport()->update();
}

CTermEdit::Place CTermEdit::placeOf(std::size_t position) {
    position = std::min(position, m_text.length());
    Place p;
    p.line = m_text.lines().lineOf(position);
    const auto& rows = rowsOf(p.line);
    const std::size_t within = position - m_text.lines().start(p.line);
    p.row = static_cast<std::size_t>(std::upper_bound(rows.begin(), rows.end(), within) -
                                     rows.begin()) -
            1;
    return p;
}

std::vector<CTermEdit::Row> CTermEdit::visibleRows() {
    // Layout only: whoever paints again is told by the catch-up timer, not from here.
    if (m_text.changed()) catchUp();
    std::vector<Row> rows;
    Place p = topPlace();
    const int count = visibleRowCount() + (m_follow ? 0 : 1);
    for (int i = 0; i < count; ++i) {
        rows.push_back(rowAt(p));
        if (!stepRows(p, 1)) break;
    }
    return rows;
}

// --- scrolling ---

void CTermEdit::updateScrollBar() {
    QScrollBar* bar = verticalScrollBar();
    // Text that fits on the glass leaves nothing to scroll: no thumb.
    const Place top = topPlace();
    const bool fits = m_follow && top.line == 0 && top.row == 0;
    const int last = fits ? 0 : static_cast<int>(m_text.lines().count() - 1);
    m_settingBar = true;
    bar->setRange(0, last);
    bar->setPageStep(visibleRowCount());
    bar->setSingleStep(1);
    bar->setValue(m_follow ? last : static_cast<int>(topPlace().line));
    m_settingBar = false;
}

void CTermEdit::userScrolled(int value) {
    if (m_settingBar) return;
    if (value >= verticalScrollBar()->maximum()) {
        m_follow = true;
        updateScrollBar();
        viewport()->update();
        return;
    }
    setTop({static_cast<std::size_t>(std::max(value, 0)), 0});
}

void CTermEdit::scrollRows(long delta) {
    Place p = topPlace();
    stepRows(p, delta);
    setTop(p);
}

void CTermEdit::ensureCaretVisible() {
    const Place c = placeOf(caret());
    const Place top = topPlace();
    const auto before = [](Place a, Place b) {
        return a.line < b.line || (a.line == b.line && a.row < b.row);
    };
    if (before(c, top)) {
        setTop(c);
        return;
    }
    Place bottom = top;
    stepRows(bottom, visibleRowCount() - 1);
    if (before(bottom, c)) {
        Place t = c;
        stepRows(t, 1 - visibleRowCount());
        setTop(t);
    }
}

void CTermEdit::wheelEvent(QWheelEvent* e) {
    const int notches = e->angleDelta().y() / 120;
    if (notches != 0) scrollRows(-3L * notches);
    e->accept();
}

// --- painting ---

void CTermEdit::paintEvent(QPaintEvent*) {
    const std::vector<Row> rows = visibleRows();
    QPainter p(viewport());
    p.fillRect(viewport()->rect(), palette().color(QPalette::Base));
    p.setFont(font());
    int y = 0;
    for (const Row& row : rows) {
        if (m_timeStamps && row.start == m_text.lines().start(row.line))
            paintStamp(p, row.start, y);
        paintRow(p, row, y);
        y += m_lineHeight;
    }
    if (hasFocus()) {
        const QRect caret = caretRect(this->caret());
        if (caret.isValid()) p.fillRect(caret, palette().color(QPalette::Text));
    }
}

void CTermEdit::paintStamp(QPainter& p, std::size_t lineStart, int y) {
    const auto stamp = m_stamps.stampAt(lineStart);
    if (!stamp) return;
    const QString text = QString::fromStdString(fw::FormatTimeOfDay(*stamp));
    p.setPen(palette().color(QPalette::Disabled, QPalette::Text));
    p.drawText(QPointF(kMargin, y + m_ascent), text);
}

void CTermEdit::paintRow(QPainter& p, const Row& row, int y) {
    const std::string& text = m_text.text();
    const std::size_t selStart = m_text.selectionStart(), selEnd = m_text.selectionEnd();
    const int x0 = m_gutterWidth + kMargin;
    const QColor ink = palette().color(QPalette::Text);
    const QColor selectedInk = palette().color(QPalette::HighlightedText);
    const QColor selected = palette().color(QPalette::Highlight);

    // Glyphs go out in runs of one colour, each at its cell: no shaping, columns line up.
    bool runSelected = false;
    int column = 0;
    for (std::size_t i = row.start; i < row.end; ++i) {
        const auto b = static_cast<unsigned char>(text[i]);
        const bool isSelected = i >= selStart && i < selEnd;
        const int cells = terminal::CellsAt(b, column, m_columns);
        const int x = x0 + column * m_cellWidth;
        if (isSelected) {
            // A selected line break shows as one selected cell after the line's text.
            p.fillRect(QRect(x, y, std::max(cells, b == '\n' ? 1 : 0) * m_cellWidth, m_lineHeight),
                       selected);
        }
        if (isSelected != runSelected) {
            drawRun(p, y, runSelected ? selectedInk : ink);
            runSelected = isSelected;
        }
        const terminal::Glyph glyph = terminal::GlyphOf(b);
        if (glyph == terminal::Glyph::Plain && m_glyphOf[b] != 0) {
            m_runGlyphs.append(m_glyphOf[b]);
            m_runPositions.append(QPointF(x, 0));
        } else {
            drawByte(p, b, glyph, QPoint(x, y), isSelected);
        }
        column += cells;
    }
    drawRun(p, y, runSelected ? selectedInk : ink);
}

void CTermEdit::drawByte(QPainter& p, unsigned char b, terminal::Glyph glyph, QPoint at,
                         bool selected) {
    if (glyph == terminal::Glyph::Box) {
        p.drawPixmap(at, box(b, selected));
    } else if (glyph == terminal::Glyph::Plain && b != ' ') {
        // Not in the font: the desktop's fallback draws it.
        p.setPen(palette().color(selected ? QPalette::HighlightedText : QPalette::Text));
        p.drawText(QPointF(at.x(), at.y() + m_ascent), QString(QChar(fw::AnsiToUnicode(b))));
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

QRect CTermEdit::caretRect(std::size_t position) {
    const std::vector<Row> rows = visibleRows();
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const Row& row = rows[i];
        // A position at a row's end belongs to the next row, unless the row ends its line
        // without a break (the end of the text).
        const bool lastOfLine = row.end == m_text.lines().end(row.line, m_text.length());
        const bool endsInBreak = row.end > row.start && m_text.text()[row.end - 1] == '\n';
        if (position < row.start || position > row.end ||
            (position == row.end && (!lastOfLine || endsInBreak)))
            continue;
        const int column =
            terminal::ColumnOf(slice(row.start, row.end), position - row.start, m_columns);
        return QRect(m_gutterWidth + kMargin + column * m_cellWidth,
                     static_cast<int>(i) * m_lineHeight, 2, m_lineHeight);
    }
    return {};
}

std::size_t CTermEdit::positionAt(QPoint point) {
    const std::vector<Row> rows = visibleRows();
    const int i = std::clamp(point.y() / m_lineHeight, 0, static_cast<int>(rows.size()) - 1);
    if (point.y() < 0) {
        if (!rows.empty()) return rows.front().start;
    }
    const Row& row = rows[static_cast<std::size_t>(i)];
    const double column = double(point.x() - m_gutterWidth - kMargin) / m_cellWidth;
    return row.start +
           terminal::OffsetAt(slice(row.start, row.end), std::max(0.0, column), m_columns);
}
