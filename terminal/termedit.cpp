#include "terminal/termedit.h"

#include "framework/application.h"
#include "framework/clock.h"
#include "framework/codepage.h"
#include "framework/errors.h"
#include "terminal/keyinput.h"
#include "terminal/screenlayout.h"
#include "terminal/termaccessible.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFontDatabase>
#include <QGlyphRun>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QScrollBar>
#include <QStyleHints>

#include <algorithm>

namespace {

// The view catches up with the model at most this often: about once per display frame...
constexpr int kSyncIntervalMs = 16;
// ...and while text keeps streaming in (a change at every catch-up), about 20 times a second:
// a flood scrolls past faster than anyone reads, and every frame costs the display a whole
// window of pixels. A typed key still shows at once.
constexpr int kFloodSyncIntervalMs = 50;
// Room between the frame and the text.
constexpr int kMargin = 2;
// Wrapped lines kept for painting; more are only kept while they are on the glass.
constexpr int kMaxWraps = 1024;

std::string_view Slice(const std::string& s, std::size_t start, std::size_t end) {
    return std::string_view(s).substr(start, end - start);
}

bool IsWordByte(unsigned char b) {
    return std::isalnum(b) || b == '_' || b >= 0xC0;
}

} // namespace

CTermEdit::CTermEdit(QWidget* parent)
    : QAbstractScrollArea(parent) {
    InstallTermAccessible();
    setAttribute(Qt::WA_InputMethodEnabled, true);
    setAcceptDrops(false);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    setFocusPolicy(Qt::StrongFocus);
    m_text.setObserver(&m_stamps);
    viewport()->setCursor(Qt::IBeamCursor);
    viewport()->setAutoFillBackground(false);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    updateMetrics();

    m_syncTimer.setSingleShot(true);
    m_syncTimer.setInterval(kSyncIntervalMs);
    connect(&m_syncTimer, &QTimer::timeout, this, &CTermEdit::syncView);
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, &CTermEdit::userScrolled);
}

CTermEdit::~CTermEdit() = default;

// --- the text as readers read it ---

QString CTermEdit::Render(std::string_view bytes) {
    QString out;
    out.reserve(static_cast<qsizetype>(bytes.size()));
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b == '\r') continue;
        if (b < 0x20 && b != '\t' && b != '\n')
            out += QChar(static_cast<char16_t>(0x2400 + b));
        else if (b == 0x7F)
            out += QChar(char16_t{0x2421});
        else
            out += QChar(fw::AnsiToUnicode(b));
    }
    return out;
}

int CTermEdit::readerOffset(std::size_t position) const {
    const std::string_view s = Slice(m_text.text(), 0, std::min(position, m_text.length()));
    return static_cast<int>(s.size() - static_cast<std::size_t>(std::count(s.begin(), s.end(), '\r')));
}

std::size_t CTermEdit::modelPosition(int offset) const {
    const std::string& s = m_text.text();
    std::size_t at = 0;
    for (int seen = 0; at < s.size(); ++at) {
        if (s[at] == '\r') continue;
        if (seen++ == offset) break;
    }
    return at;
}

// --- the edit control's operations: the model changes now, the glass a frame later ---

void CTermEdit::setText(std::string_view text) {
    m_text.setText(text);
    m_caretAtStart = false;
    scheduleSync();
}

void CTermEdit::trimFront(std::size_t n) {
    m_text.trimFront(n);
    scheduleSync();
}

void CTermEdit::setSel(std::size_t start, std::size_t end) {
    m_text.setSelection(start, end);
    m_caretAtStart = false;
    scheduleSync();
}

void CTermEdit::scrollCaret() {
    // The received text's caret is at the end: a view that follows the end shows it anyway, and
    // one the user scrolled up stays where the user put it.
    scheduleSync();
}

void CTermEdit::replaceSel(std::string_view text) {
    m_text.replaceSelection(text);
    m_caretAtStart = false;
    scheduleSync();
}

void CTermEdit::scheduleSync() {
    if (!m_syncTimer.isActive()) m_syncTimer.start();
}

void CTermEdit::flush() {
    m_syncTimer.stop();
    syncView();
}

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

void CTermEdit::syncView() {
    const bool changed = m_text.changed();
    m_syncTimer.setInterval(changed && m_streaming ? kFloodSyncIntervalMs : kSyncIntervalMs);
    m_streaming = changed;
    catchUp();
    viewport()->update();
    if (QAccessible::isActive()) {
        QString now = readerText();
        if (now != m_readerText) {
            QAccessibleTextUpdateEvent update(this, 0, m_readerText, now);
            m_readerText = std::move(now);
            QAccessible::updateAccessibility(&update);
        }
        QAccessibleTextCursorEvent moved(this, readerOffset(caret()));
        QAccessible::updateAccessibility(&moved);
    }
}

void CTermEdit::scrollContentsBy(int, int) {
    // The view paints from its own scroll state; the bar only reports it.
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
        const QList<quint32> glyph = m_rawFont.isValid() ? m_rawFont.glyphIndexesForString(QString(c))
                                                         : QList<quint32>();
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

void CTermEdit::paintStamp(QPainter& p, std::size_t lineStart, int y) {
    const auto stamp = m_stamps.stampAt(lineStart);
    if (!stamp) return;
    const QString text = QString::fromStdString(fw::FormatTimeOfDay(*stamp));
    p.setPen(palette().color(QPalette::Disabled, QPalette::Text));
    p.drawText(QPointF(kMargin, y + m_ascent), text);
}

const std::vector<std::uint32_t>& CTermEdit::rowsOf(std::size_t line) {
    const LineIndex& lines = m_text.lines();
    const std::size_t start = lines.start(line);
    const std::size_t end = lines.end(line, m_text.length());
    const std::uint64_t id = lines.lineId(line);
    Wrap& wrap = m_wraps[id];
    if (wrap.rows.empty() || wrap.end != lines.origin() + end) {
        screen::WrapLine(Slice(m_text.text(), start, end), m_columns, wrap.rows);
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
    p.row = static_cast<std::size_t>(std::upper_bound(rows.begin(), rows.end(), within) - rows.begin()) - 1;
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
    const int last = static_cast<int>(m_text.lines().count() - 1);
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
    const auto before = [](Place a, Place b) { return a.line < b.line || (a.line == b.line && a.row < b.row); };
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

void CTermEdit::paintRow(QPainter& p, const Row& row, int y) {
    const std::string& text = m_text.text();
    const std::size_t selStart = m_text.selectionStart(), selEnd = m_text.selectionEnd();
    const int x0 = m_gutterWidth + kMargin;
    const QColor ink = palette().color(QPalette::Text);
    const QColor selectedInk = palette().color(QPalette::HighlightedText);
    const QColor selected = palette().color(QPalette::Highlight);

    // Glyphs go out in runs of one colour, each at its cell: no shaping, columns line up.
    bool runSelected = false;
    const auto flushRun = [&] {
        if (m_runGlyphs.isEmpty()) return;
        QGlyphRun run;
        run.setRawFont(m_rawFont);
        run.setGlyphIndexes(m_runGlyphs);
        run.setPositions(m_runPositions);
        p.setPen(runSelected ? selectedInk : ink);
        p.drawGlyphRun(QPointF(0, y + m_ascent), run);
        m_runGlyphs.clear();
        m_runPositions.clear();
    };
    int column = 0;
    for (std::size_t i = row.start; i < row.end; ++i) {
        const auto b = static_cast<unsigned char>(text[i]);
        const bool isSelected = i >= selStart && i < selEnd;
        const int cells = screen::CellsAt(b, column, m_columns);
        const int x = x0 + column * m_cellWidth;
        if (isSelected) {
            // A selected line break shows as one selected cell after the line's text.
            p.fillRect(QRect(x, y, std::max(cells, b == '\n' ? 1 : 0) * m_cellWidth, m_lineHeight),
                       selected);
        }
        const screen::Glyph glyph = screen::GlyphOf(b);
        if (isSelected != runSelected) {
            flushRun();
            runSelected = isSelected;
        }
        if (glyph == screen::Glyph::Plain) {
            if (const quint32 g = m_glyphOf[b]) {
                m_runGlyphs.append(g);
                m_runPositions.append(QPointF(x, 0));
            } else if (b != ' ') {
                // Not in the font: the desktop's fallback draws it.
                p.setPen(isSelected ? selectedInk : ink);
                p.drawText(QPointF(x, y + m_ascent), QString(QChar(fw::AnsiToUnicode(b))));
            }
        } else if (glyph == screen::Glyph::Box) {
            p.drawPixmap(x, y, box(b, isSelected));
        }
        column += cells;
    }
    flushRun();
}

const QPixmap& CTermEdit::box(unsigned char b, bool selected) {
    QPixmap& box = m_boxes[b + (selected ? 256u : 0u)];
    if (box.isNull()) {
        // A control character: its value in a small frame, whatever the font has.
        const qreal dpr = devicePixelRatioF();
        box = QPixmap(QSize(screen::kBoxCells * m_cellWidth, m_lineHeight) * dpr);
        box.setDevicePixelRatio(dpr);
        box.fill(Qt::transparent);
        QPainter p(&box);
        p.setPen(palette().color(selected ? QPalette::HighlightedText : QPalette::Text));
        const QRect frame(1, 1, screen::kBoxCells * m_cellWidth - 3, m_lineHeight - 3);
        p.drawRect(frame);
        p.setFont(m_boxFont);
        p.drawText(frame, Qt::AlignCenter, QStringLiteral("%1").arg(b, 2, 16, QLatin1Char('0')).toUpper());
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
            screen::ColumnOf(Slice(m_text.text(), row.start, row.end), position - row.start, m_columns);
        return QRect(m_gutterWidth + kMargin + column * m_cellWidth, static_cast<int>(i) * m_lineHeight,
                     2, m_lineHeight);
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
           screen::OffsetAt(Slice(m_text.text(), row.start, row.end), std::max(0.0, column), m_columns);
}

// --- selection ---

std::size_t CTermEdit::caret() const {
    return m_caretAtStart ? m_text.selectionStart() : m_text.selectionEnd();
}

std::size_t CTermEdit::anchor() const {
    return m_caretAtStart ? m_text.selectionEnd() : m_text.selectionStart();
}

void CTermEdit::selectByUser(std::size_t anchor, std::size_t caret) {
    m_text.setSelection(anchor, caret);
    m_caretAtStart = caret < anchor;
    viewport()->update();
    if (QAccessible::isActive()) {
        QAccessibleTextCursorEvent moved(this, readerOffset(this->caret()));
        QAccessible::updateAccessibility(&moved);
    }
}

void CTermEdit::selectAll() {
    flush();
    selectByUser(0, m_text.length());
}

std::uint64_t CTermEdit::absolute(std::size_t position) const {
    return m_text.lines().origin() + position;
}

std::size_t CTermEdit::fromAbsolute(std::uint64_t position) const {
    const std::uint64_t origin = m_text.lines().origin();
    // Bytes cut off the front leave the selection at the screen's start, never on other bytes.
    if (position < origin) return 0;
    return static_cast<std::size_t>(std::min<std::uint64_t>(position - origin, m_text.length()));
}

std::pair<std::size_t, std::size_t> CTermEdit::wordAt(std::size_t position) const {
    const std::string& s = m_text.text();
    if (position >= s.size()) return {s.size(), s.size()};
    const bool word = IsWordByte(static_cast<unsigned char>(s[position]));
    std::size_t a = position, b = position;
    while (a > 0 && IsWordByte(static_cast<unsigned char>(s[a - 1])) == word && s[a - 1] != '\n' && s[a - 1] != '\r')
        --a;
    while (b < s.size() && IsWordByte(static_cast<unsigned char>(s[b])) == word && s[b] != '\n' && s[b] != '\r')
        ++b;
    return {a, std::max(b, a + 1)};
}

std::pair<std::size_t, std::size_t> CTermEdit::lineAt(std::size_t position) const {
    const LineIndex& lines = m_text.lines();
    const std::size_t line = lines.lineOf(std::min(position, m_text.length()));
    std::size_t end = lines.end(line, m_text.length());
    // The line's text without its break.
    const std::string& s = m_text.text();
    if (end > lines.start(line) && s[end - 1] == '\n') --end;
    if (end > lines.start(line) && s[end - 1] == '\r') --end;
    return {lines.start(line), end};
}

void CTermEdit::copy() const {
    // The model's bytes, line breaks as the desktop expects them, not the glyphs.
    const std::string bytes =
        m_text.text().substr(m_text.selectionStart(), m_text.selectionEnd() - m_text.selectionStart());
    std::string plain;
    plain.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\r') {
            plain.push_back('\n');
            if (i + 1 < bytes.size() && bytes[i + 1] == '\n') ++i;
        } else if (bytes[i] != '\0') {
            plain.push_back(bytes[i]);
        }
    }
    QApplication::clipboard()->setText(fw::FromAnsi(plain));
}

// --- mouse ---

void CTermEdit::mousePressEvent(QMouseEvent* e) {
    flush();
    // No pasting of the selection with the middle button: the screen only takes typed keys.
    if (e->button() != Qt::LeftButton) return;
    setFocus(Qt::MouseFocusReason);
    const std::size_t at = positionAt(e->position().toPoint());
    const bool triple = m_lastDoubleClick >= 0 &&
                        qint64(e->timestamp()) - m_lastDoubleClick <
                            QGuiApplication::styleHints()->mouseDoubleClickInterval() &&
                        (e->position().toPoint() - m_doubleClickPoint).manhattanLength() < 6;
    m_lastDoubleClick = -1;
    if (triple) {
        const auto [a, b] = lineAt(at);
        selectByUser(a, b);
        m_dragging = false;
        return;
    }
    if (e->modifiers() & Qt::ShiftModifier)
        selectByUser(anchor(), at);
    else
        selectByUser(at, at);
    m_dragging = true;
    m_dragAnchor = absolute(anchor());
}

void CTermEdit::mouseMoveEvent(QMouseEvent* e) {
    if (!m_dragging || !(e->buttons() & Qt::LeftButton)) return;
    flush();
    QPoint at = e->position().toPoint();
    if (at.y() < 0) scrollRows(-1);
    if (at.y() >= viewport()->height()) scrollRows(1);
    at.setY(std::clamp(at.y(), 0, viewport()->height() - 1));
    selectByUser(fromAbsolute(m_dragAnchor), positionAt(at));
}

void CTermEdit::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton) m_dragging = false;
}

void CTermEdit::mouseDoubleClickEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) return;
    flush();
    const auto [a, b] = wordAt(positionAt(e->position().toPoint()));
    selectByUser(a, b);
    m_dragging = false;
    m_lastDoubleClick = qint64(e->timestamp());
    m_doubleClickPoint = e->position().toPoint();
}

void CTermEdit::contextMenuEvent(QContextMenuEvent* e) {
    flush();
    QMenu menu(this);
    QAction* copyAction = menu.addAction(tr("&Copy"), this, &CTermEdit::copy);
    copyAction->setEnabled(m_text.selectionEnd() > m_text.selectionStart());
    menu.addSeparator();
    menu.addAction(tr("Select All"), this, &CTermEdit::selectAll);
    menu.exec(e->globalPos());
}

void CTermEdit::focusInEvent(QFocusEvent* e) {
    viewport()->update();
    QAbstractScrollArea::focusInEvent(e);
}

void CTermEdit::focusOutEvent(QFocusEvent* e) {
    viewport()->update();
    QAbstractScrollArea::focusOutEvent(e);
}

// --- keys ---

void CTermEdit::setTypedSink(std::function<bool()> portOpen,
                             std::function<void(std::string_view)> send) {
    m_portOpen = std::move(portOpen);
    m_send = std::move(send);
}

void CTermEdit::OnChar(unsigned nChar, unsigned, unsigned) {
    const char byte = static_cast<char>(nChar & 0xFF);
    typeBytes(std::string_view(&byte, 1), static_cast<unsigned char>(byte));
}

void CTermEdit::TypeEnter(std::string_view bytes) {
    // All of the key's bytes go out together; the echo shows one line break whatever they are.
    typeBytes(bytes, '\r');
}

void CTermEdit::typeBytes(std::string_view bytes, unsigned char shown) {
    fw::Guard(fw::Entry::WindowMessage, [&] {
        const bool open = portOpen();
        if (open) m_send(bytes);
        if (m_bEcho || !open) DefaultChar(shown);
    });
}

void CTermEdit::DefaultChar(unsigned char c) {
    m_text.typeChar(c);
    m_caretAtStart = false;
    flush();
    ensureCaretVisible();
    // A typed key shows at once, however busy the loop is.
    viewport()->repaint();
}

void CTermEdit::typeText(const QString& text) {
    for (const char c : terminal::CommittedBytes(text))
        OnChar(static_cast<unsigned char>(c), 1, 0);
}

bool CTermEdit::event(QEvent* e) {
    // Tab is a character here, never a focus move.
    if (e->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(e);
        if (key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab) {
            keyPressEvent(key);
            return true;
        }
    }
    return QAbstractScrollArea::event(e);
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

void CTermEdit::keyPressEvent(QKeyEvent* e) {
    flush();
    if (e->key() == Qt::Key_Delete && e->modifiers() == Qt::NoModifier) {
        m_text.deleteForward();
        m_caretAtStart = false;
        flush();
        ensureCaretVisible();
        viewport()->repaint();
        return;
    }
    if (const auto enter = terminal::EnterKeyBytes(*e, m_enterSends); !enter.empty()) {
        TypeEnter(enter);
        e->accept();
        return;
    }
    if (const auto typed = terminal::TypedBytes(e->modifiers(), e->text())) {
        for (const char c : *typed)
            OnChar(static_cast<unsigned char>(c), 1, 0);
        e->accept();
        return;
    }
    // Caret movement and selection keys.
    const bool extend = e->modifiers() & Qt::ShiftModifier;
    const bool control = e->modifiers() & Qt::ControlModifier;
    const std::string& s = m_text.text();
    const std::size_t at = caret();
    const bool hasSelection = m_text.selectionEnd() > m_text.selectionStart();
    std::size_t to = at;
    switch (e->key()) {
    case Qt::Key_Left:
        if (hasSelection && !extend)
            to = m_text.selectionStart();
        else if (at >= 2 && s[at - 2] == '\r' && s[at - 1] == '\n')
            to = at - 2;
        else
            to = at > 0 ? at - 1 : 0;
        break;
    case Qt::Key_Right:
        if (hasSelection && !extend)
            to = m_text.selectionEnd();
        else if (at + 1 < s.size() && s[at] == '\r' && s[at + 1] == '\n')
            to = at + 2;
        else
            to = std::min(at + 1, s.size());
        break;
    case Qt::Key_Up:
        to = verticalMove(at, -1);
        break;
    case Qt::Key_Down:
        to = verticalMove(at, 1);
        break;
    case Qt::Key_PageUp:
        to = verticalMove(at, -visibleRowCount());
        break;
    case Qt::Key_PageDown:
        to = verticalMove(at, visibleRowCount());
        break;
    case Qt::Key_Home:
        to = control ? 0 : rowAt(placeOf(at)).start;
        break;
    case Qt::Key_End:
        if (control) {
            to = s.size();
        } else {
            const Row row = rowAt(placeOf(at));
            to = row.start + screen::OffsetAt(Slice(s, row.start, row.end), 1e9, m_columns);
        }
        break;
    default:
        QAbstractScrollArea::keyPressEvent(e);
        return;
    }
    moveCaret(to, extend);
    e->accept();
}

std::size_t CTermEdit::verticalMove(std::size_t from, long rows) {
    Place p = placeOf(from);
    const Row row = rowAt(p);
    const int column = screen::ColumnOf(Slice(m_text.text(), row.start, row.end), from - row.start, m_columns);
    const bool moved = stepRows(p, rows);
    if (!moved) return rows < 0 ? 0 : m_text.length(); // past the first or last row
    const Row target = rowAt(p);
    return target.start +
           screen::OffsetAt(Slice(m_text.text(), target.start, target.end), column, m_columns);
}

void CTermEdit::moveCaret(std::size_t to, bool extend) {
    selectByUser(extend ? anchor() : to, to);
    ensureCaretVisible();
}

void CTermEdit::inputMethodEvent(QInputMethodEvent* e) {
    typeText(e->commitString());
    e->accept();
}

QVariant CTermEdit::inputMethodQuery(Qt::InputMethodQuery query) const {
    auto* self = const_cast<CTermEdit*>(this);
    switch (query) {
    case Qt::ImEnabled:
        return true;
    case Qt::ImCursorRectangle:
        return self->caretRect(caret());
    case Qt::ImFont:
        return font();
    case Qt::ImCursorPosition:
    case Qt::ImAnchorPosition:
        return 0;
    case Qt::ImSurroundingText:
    case Qt::ImCurrentSelection:
        return QString();
    default:
        return QAbstractScrollArea::inputMethodQuery(query);
    }
}
