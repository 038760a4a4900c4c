// The screen's model side: the edit control's operations, catching the view up with the
// model, and typed characters. The view (layout, scrolling, painting) and the user's input
// (keys, mouse, selection) have their own files.

#include "terminal/termedit.h"

#include "framework/codepage.h"
#include "framework/errors.h"
#include "terminal/keyinput.h"
#include "terminal/termaccessible.h"

#include <QAccessible>
#include <QFontDatabase>
#include <QScrollBar>

#include <algorithm>

namespace {

// The view catches up with the model at most this often: about once per display frame...
constexpr int kSyncIntervalMs = 16;
// ...and while text keeps streaming in (a change at every catch-up), about 20 times a second:
// a flood scrolls past faster than anyone reads, and every frame costs the display a whole
// window of pixels. A typed key still shows at once.
constexpr int kFloodSyncIntervalMs = 50;

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
    const std::string_view s = slice(0, std::min(position, m_text.length()));
    return static_cast<int>(s.size() -
                            static_cast<std::size_t>(std::count(s.begin(), s.end(), '\r')));
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
        const bool open = portOpen();
        if (open) m_send(bytes);
        if (m_bEcho || !open) DefaultChar(shown);
    });
}

void CTermEdit::DefaultChar(unsigned char c) {
    m_text.typeChar(c);
    showEdit();
}

void CTermEdit::showEdit() {
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
