// The screen's model side: the edit control's operations, catching the view up with the
// model, and typed characters. The view (layout, scrolling, painting) and the user's input
// (keys, mouse, selection) have their own files.

#include "terminal/termedit.h"

#include "framework/errors.h"
#include "terminal/keyinput.h"
#include "terminal/termaccessible.h"

#include <QAccessible>
#include <QFontDatabase>
#include <QScrollBar>

#include <algorithm>
#include <cstdlib>

namespace {

// The view catches up with the model at most this often: about once per display frame...
constexpr int kSyncIntervalMs = 16;
// ...and while text keeps streaming in (a change at every catch-up), 25 times a second: a flood
// scrolls past faster than anyone reads, and every frame costs the display a whole window of
// pixels, but the view must not look stuck (no wait for a frame over 50 ms, the paint counted).
// A typed key still shows at once.
constexpr int kFloodSyncIntervalMs = 40;

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
    viewport()->setCursor(Qt::IBeamCursor);
    viewport()->setAutoFillBackground(false);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    setBaseFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    // Until the stored setting says otherwise, the character set of the user's locale.
    m_model.setCharacterSet(terminal::LocaleCharacterSet(
        std::getenv("LC_ALL"), std::getenv("LC_CTYPE"), std::getenv("LANG")));
    updateMetrics();

    m_syncTimer.setSingleShot(true);
    m_syncTimer.setInterval(kSyncIntervalMs);
    connect(&m_syncTimer, &QTimer::timeout, this, &CTermEdit::syncView);
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, &CTermEdit::userScrolled);
}

CTermEdit::~CTermEdit() = default;

// --- the edit control's operations: the model changes now, the glass a frame later ---

void CTermEdit::setText(std::string_view text) {
    m_model.text().setText(text);
    scheduleSync();
}

void CTermEdit::trimFront(std::size_t n) {
    m_model.text().trimFront(n);
    scheduleSync();
}

void CTermEdit::setSel(std::size_t start, std::size_t end) {
    m_model.setSelection(start, end);
    scheduleSync();
}

void CTermEdit::scrollCaret() {
    // The received text's caret is at the end: a view that follows the end shows it anyway, and
    // one the user scrolled up stays where the user put it.
    scheduleSync();
}

void CTermEdit::replaceSel(std::string_view text) {
    m_model.text().replaceSelection(text);
    scheduleSync();
}

void CTermEdit::setCharacterSet(terminal::CharacterSet set) {
    if (set == m_model.characterSet()) return;
    m_model.setCharacterSet(set);
    // Every line lays out anew.
    m_wraps.clear();
    updateScrollBar();
    viewport()->update();
}

void CTermEdit::setBaseFont(const QFont& font) {
    m_baseFont = font;
    if (m_baseFont.pointSize() <= 0) m_baseFont.setPointSize(10);
    m_baseFont.setPointSize(
        std::clamp(m_baseFont.pointSize(), terminal::kSmallestPointSize, terminal::kLargestPointSize));
    m_zoom = 0;
    setFont(m_baseFont);
    if (m_fontFollower) m_fontFollower(m_baseFont);
}

void CTermEdit::zoomTo(int steps) {
    const int base = m_baseFont.pointSize();
    const int size = std::clamp(base + steps, terminal::kSmallestPointSize, terminal::kLargestPointSize);
    m_zoom = size - base;
    QFont zoomed = m_baseFont;
    zoomed.setPointSize(size);
    setFont(zoomed);
    if (m_fontFollower) m_fontFollower(font());
}

void CTermEdit::scheduleSync() {
    if (!m_syncTimer.isActive()) m_syncTimer.start();
}

void CTermEdit::flush() {
    m_syncTimer.stop();
    syncView();
}

void CTermEdit::syncView() {
    const bool changed = m_model.text().changed();
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

// --- typed characters ---

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
        if (m_refuse && m_refuse()) return;
        followEnd();
        const bool open = portOpen();
        if (open) m_send(bytes);
        if (m_bEcho || !open) DefaultChar(shown);
    });
}

void CTermEdit::DefaultChar(unsigned char c) {
    m_model.text().typeChar(c);
    showEdit();
}

void CTermEdit::showEdit() {
    flush();
    ensureCaretVisible();
    // A typed key shows at once, however busy the loop is.
    viewport()->repaint();
}

void CTermEdit::typeText(const QString& text) {
    for (const char c : terminal::CommittedBytes(text, charSet()))
        OnChar(static_cast<unsigned char>(c), 1, 0);
}
