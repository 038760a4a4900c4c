// The terminal view: feeding, the paint limit, the grid's size and scrolling, the clipboard.

#include "terminal/vtview.h"

#include "terminal/vtaccessible.h"

#include <QApplication>
#include <QClipboard>
#include <QFontDatabase>
#include <QScrollBar>

#include <algorithm>

namespace terminal {

namespace {

// The view catches up with the emulator at most this often: about once per display frame...
constexpr int kSyncIntervalMs = 16;
// ...and while output keeps scrolling the screen (lines pushed at every catch-up), about 20
// times a second, as the log view does: a flood scrolls past faster than anyone reads, and
// every frame repaints the whole grid. Typing at a prompt scrolls nothing and stays prompt.
constexpr int kFloodSyncIntervalMs = 50;
constexpr int kMargin = 2;

} // namespace

VtView::VtView(QWidget* parent)
    : QAbstractScrollArea(parent), m_screen(24, 80), m_engine(m_screen) {
    InstallVtAccessible();
    setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_InputMethodEnabled);
    viewport()->setCursor(Qt::IBeamCursor);
    viewport()->setAutoFillBackground(false);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_syncTimer.setSingleShot(true);
    m_syncTimer.setInterval(kSyncIntervalMs);
    connect(&m_syncTimer, &QTimer::timeout, this, &VtView::sync);
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, &VtView::userScrolled);
    m_engine.setOutputSink([this](std::string_view s) {
        if (m_echo) m_echo->append(s);
        if (m_output) m_output(s);
    });
    updateMetrics();
}

VtView::~VtView() = default;

void VtView::setOutputSink(std::function<void(std::string_view)> sink) { m_output = std::move(sink); }

void VtView::setScrollbackLines(std::size_t lines) {
    m_screen.scrollback().setLimit(lines);
    updateScrollBar();
    viewport()->update();
}

void VtView::feed(std::string_view bytes) {
    m_engine.feed(bytes);
    scheduleSync();
}

void VtView::scheduleSync() {
    if (!m_syncTimer.isActive()) m_syncTimer.start();
}

void VtView::flush() {
    m_syncTimer.stop();
    sync();
}

void VtView::sync() {
    VtGrid& grid = m_screen.active();
    const bool pushed = m_screen.pushedTotal() != m_pushedSeen;
    m_pushedSeen = m_screen.pushedTotal();
    m_syncTimer.setInterval(pushed && m_scrolling ? kFloodSyncIntervalMs : kSyncIntervalMs);
    m_scrolling = pushed;
    if (pushed) updateScrollBar();
    const VtScrollback& sb = m_screen.scrollback();
    if (pushed && (m_follow || sb.size() == sb.limit())) {
        viewport()->update();
    } else if (grid.anyDamage()) {
        const std::size_t top = topLine(), kept = sb.size();
        for (int r = 0; r < grid.rows(); ++r) {
            const std::size_t line = kept + static_cast<std::size_t>(r);
            if (!grid.damaged(r) || line < top) continue;
            const int y = static_cast<int>(line - top) * m_lineHeight;
            if (y < viewport()->height()) viewport()->update(0, y, viewport()->width(), m_lineHeight);
        }
    }
    grid.takeDamage();
}

void VtView::updateMetrics() {
    const QFontMetricsF fm(font());
    m_cellWidth = std::max(1, qRound(fm.horizontalAdvance(QLatin1Char('M'))));
    m_lineHeight = std::max(1, qCeil(fm.height()));
    m_ascent = qRound(fm.ascent());
    for (int i = 0; i < 4; ++i) {
        QFont f = font();
        f.setBold(i & 1);
        f.setItalic(i & 2);
        m_styles[static_cast<std::size_t>(i)].font = QRawFont::fromFont(f);
        m_styles[static_cast<std::size_t>(i)].glyphs.clear();
    }
    fitGrid();
}

void VtView::fitGrid() {
    const int rows = std::max(1, viewport()->height() / m_lineHeight);
    const int cols = std::max(1, (viewport()->width() - 2 * kMargin) / m_cellWidth);
    if (rows != m_screen.grid().rows() || cols != m_screen.grid().cols()) m_engine.resize(rows, cols);
    m_pushedSeen = ~m_screen.pushedTotal(); // whatever moved, the next sync repaints it all
    updateScrollBar();
    viewport()->update();
}

void VtView::resizeEvent(QResizeEvent* e) {
    QAbstractScrollArea::resizeEvent(e);
    fitGrid();
}

void VtView::changeEvent(QEvent* e) {
    if (e->type() == QEvent::FontChange) updateMetrics();
    if (e->type() == QEvent::PaletteChange) viewport()->update();
    QAbstractScrollArea::changeEvent(e);
}

// --- scrolling ---

std::size_t VtView::topLine() const {
    const VtScrollback& sb = m_screen.scrollback();
    if (m_follow) return sb.size();
    const std::uint64_t first = sb.dropped();
    return static_cast<std::size_t>(std::min<std::uint64_t>(m_topAbs - std::min(m_topAbs, first), sb.size()));
}

void VtView::updateScrollBar() {
    QScrollBar* bar = verticalScrollBar();
    m_settingBar = true;
    const int kept = static_cast<int>(m_screen.scrollback().size());
    bar->setRange(0, kept);
    bar->setPageStep(m_screen.grid().rows());
    bar->setSingleStep(1);
    bar->setValue(static_cast<int>(topLine()));
    m_settingBar = false;
}

void VtView::userScrolled(int value) {
    if (m_settingBar) return;
    const VtScrollback& sb = m_screen.scrollback();
    m_follow = value >= static_cast<int>(sb.size());
    m_topAbs = sb.dropped() + static_cast<std::uint64_t>(std::max(value, 0));
    viewport()->update();
}

void VtView::scrollLines(long delta) {
    const long kept = static_cast<long>(m_screen.scrollback().size());
    const long top = std::clamp(static_cast<long>(topLine()) + delta, 0L, kept);
    userScrolled(static_cast<int>(top));
    updateScrollBar();
}

// --- clipboard and commands ---

QString VtView::selectedText() const {
    if (!m_selection.active) return {};
    const auto [from, to] = m_selection.range(m_screen);
    return QString::fromStdString(SelectedText(m_screen, from, to));
}

void VtView::copy() {
    const QString text = selectedText();
    if (!text.isEmpty()) QApplication::clipboard()->setText(text);
}

void VtView::paste(const QString& text) {
    if (text.isEmpty()) return;
    m_follow = true;
    updateScrollBar();
    m_engine.startPaste();
    if (m_pasteSink) {
        m_pasteSink(text);
    } else {
        QString lines = text;
        lines.replace(QLatin1String("\r\n"), QLatin1String("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
        const QList<QByteArray> parts = lines.toUtf8().split('\n');
        for (qsizetype i = 0; i < parts.size(); ++i) {
            if (i > 0) m_engine.send(EnterBytes(m_keys.enter));
            m_engine.send(std::string_view(parts[i].constData(), static_cast<std::size_t>(parts[i].size())));
        }
    }
    m_engine.endPaste();
}

void VtView::pasteClipboard() { paste(QApplication::clipboard()->text()); }

void VtView::selectAll() {
    const std::uint64_t first = m_screen.scrollback().dropped();
    m_selection = {{first, 0}, {first + m_screen.lineCount() - 1, m_screen.grid().cols()},
                   SelectUnit::Cell, true};
    viewport()->update();
}

void VtView::clear() {
    m_engine.clear();
    m_selection.active = false;
    m_follow = true;
    m_pushedSeen = ~m_screen.pushedTotal();
    updateScrollBar();
    scheduleSync();
}

void VtView::resetTerminal() {
    m_engine.reset();
    m_follow = true;
    updateScrollBar();
    viewport()->update();
}

QString VtView::readerText() const {
    std::string all;
    for (std::size_t i = 0; i < m_screen.lineCount(); ++i) {
        if (i) all += '\n';
        all += m_screen.lineText(i);
    }
    return QString::fromStdString(all);
}

} // namespace terminal
