// The screen's view: the layout of the visible lines and scrolling (painting has its own file).

#include "terminal/termedit.h"

#include "framework/codepage.h"
#include "terminal/screenlayout.h"

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
    const bool changed = m_model.text().changed();
    if (changed) {
        const terminal::LineIndex& lines = m_model.text().lines();
        if (m_model.text().resetPending() || m_wraps.size() > kMaxWraps) {
            m_wraps.clear();
        } else {
            // Lines reaching past what stayed the same are rewrapped; lines cut off went.
            const std::uint64_t stable = lines.origin() + m_model.text().stablePrefix();
            for (auto it = m_wraps.begin(); it != m_wraps.end();)
                it = (it.key() < lines.origin() || it->end > stable) ? m_wraps.erase(it) : ++it;
        }
        m_model.text().markSynced();
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
    m_wideGlyphOf.clear();
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
    const terminal::LineIndex& lines = m_model.text().lines();
    const std::size_t start = lines.start(line);
    const std::size_t end = lines.end(line, m_model.text().length());
    const std::uint64_t id = lines.lineId(line);
    Wrap& wrap = m_wraps[id];
    if (wrap.rows.empty() || wrap.end != lines.origin() + end) {
        terminal::WrapLine(slice(start, end), m_columns, wrap.rows, charSet());
        wrap.end = lines.origin() + end;
    }
    return wrap.rows;
}

CTermEdit::Row CTermEdit::rowAt(Place p) {
    const terminal::LineIndex& lines = m_model.text().lines();
    const std::size_t start = lines.start(p.line);
    const std::size_t end = lines.end(p.line, m_model.text().length());
    const auto& rows = rowsOf(p.line);
    const std::size_t row = std::min(p.row, rows.size() - 1);
    return {start + rows[row], row + 1 < rows.size() ? start + rows[row + 1] : end, p.line};
}

bool CTermEdit::stepRows(Place& p, long delta) {
    const std::size_t lineCount = m_model.text().lines().count();
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
    const terminal::LineIndex& lines = m_model.text().lines();
    Place p;
    if (m_follow) {
        p.line = lines.count() - 1;
        p.row = rowCount(p.line) - 1;
        stepRows(p, 1 - visibleRowCount());
        return p;
    }
    // The text the user was reading was trimmed away: the oldest line that is still whole.
    if (m_topLine < lines.origin()) {
        p.line = lines.firstWholeLine();
        return p;
    }
    p.line = lines.lineOf(static_cast<std::size_t>(
        std::min<std::uint64_t>(m_topLine - lines.origin(), m_model.text().length())));
    p.row = std::min(m_topRow, rowCount(p.line) - 1);
    return p;
}

void CTermEdit::setTop(Place p) {
    m_topLine = m_model.text().lines().lineId(p.line);
    m_topRow = p.row;
    // A top from which the rest fits on the glass is the end: follow it from now on.
    Place bottom = p;
    stepRows(bottom, visibleRowCount() - 1);
    m_follow = bottom.line + 1 == m_model.text().lines().count() && bottom.row + 1 == rowCount(bottom.line);
    updateScrollBar();
    viewport()->update();
}

CTermEdit::Place CTermEdit::placeOf(std::size_t position) {
    position = std::min(position, m_model.text().length());
    Place p;
    p.line = m_model.text().lines().lineOf(position);
    const auto& rows = rowsOf(p.line);
    const std::size_t within = position - m_model.text().lines().start(p.line);
    p.row = static_cast<std::size_t>(std::upper_bound(rows.begin(), rows.end(), within) -
                                     rows.begin()) -
            1;
    return p;
}

std::vector<CTermEdit::Row> CTermEdit::visibleRows() {
    // Layout only: whoever paints again is told by the catch-up timer, not from here.
    if (m_model.text().changed()) catchUp();
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
    const int last = fits ? 0 : static_cast<int>(m_model.text().lines().count() - 1);
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

void CTermEdit::followEnd() {
    if (m_follow) return;
    m_follow = true;
    updateScrollBar();
    viewport()->update();
}

void CTermEdit::ensureVisible(std::size_t position) {
    const Place c = placeOf(position);
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
    // Ctrl with the wheel zooms, a step of one point per notch.
    if (e->modifiers() & Qt::ControlModifier)
        zoomTo(m_zoom + notches);
    else if (notches != 0)
        scrollRows(-3L * notches);
    e->accept();
}

QRect CTermEdit::caretRect(std::size_t position) {
    const std::vector<Row> rows = visibleRows();
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const Row& row = rows[i];
        // A position at a row's end belongs to the next row, unless the row ends its line
        // without a break (the end of the text).
        const bool lastOfLine = row.end == m_model.text().lines().end(row.line, m_model.text().length());
        const bool endsInBreak = row.end > row.start && m_model.text().text()[row.end - 1] == '\n';
        if (position < row.start || position > row.end ||
            (position == row.end && (!lastOfLine || endsInBreak)))
            continue;
        const int column =
            terminal::ColumnOf(slice(row.start, row.end), position - row.start, m_columns, charSet());
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
           terminal::OffsetAt(slice(row.start, row.end), std::max(0.0, column), m_columns, charSet());
}
