#include "terminal/termedit.h"

#include "framework/application.h"
#include "framework/codepage.h"
#include "framework/errors.h"
#include "mainframe/mainframe.h"
#include "terminal/keyinput.h"

#include <QKeyEvent>
#include <QMimeData>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>

#include <array>

namespace {

// The widget catches up at most this often while data streams in...
constexpr int kSyncIntervalMs = 15;
// ...and less often while a flood outruns it: when the screen's trim has cut into text the
// widget never got, the widget must take the whole screen anew, and doing that 66 times a
// second is most of the cost of a flood. The model (and the dump) are never held back.
constexpr int kFloodSyncIntervalMs = 60;

constexpr char16_t kZeroWidth = 0x200B;

std::array<char16_t, 256> MakeGlyphs() {
    std::array<char16_t, 256> glyphs{};
    for (int b = 0; b < 256; ++b)
        glyphs[b] = fw::AnsiToUnicode(static_cast<unsigned char>(b));
    // Control characters show as their pictures; CR is the invisible half of a line break.
    for (int b = 0; b < 0x20; ++b)
        glyphs[b] = static_cast<char16_t>(0x2400 + b);
    glyphs[0x7F] = 0x2421;
    glyphs['\t'] = u'\t';
    glyphs['\n'] = u'\n';
    glyphs['\r'] = kZeroWidth;
    return glyphs;
}

const std::array<char16_t, 256> kGlyphs = MakeGlyphs();

} // namespace

CTermEdit::CTermEdit(QWidget* parent)
    : QPlainTextEdit(parent) {
    // Editing goes through the model; the widget only lets the user select and move.
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    setAttribute(Qt::WA_InputMethodEnabled, true);
    setAcceptDrops(false);
    setUndoRedoEnabled(false);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    setFocusPolicy(Qt::StrongFocus);
    m_text.setObserver(&m_stamps);

    m_syncTimer.setSingleShot(true);
    m_syncTimer.setInterval(kSyncIntervalMs);
    connect(&m_syncTimer, &QTimer::timeout, this, &CTermEdit::syncWidget);
    connect(this, &QPlainTextEdit::cursorPositionChanged, this, &CTermEdit::adoptWidgetSelection);
    connect(this, &QPlainTextEdit::selectionChanged, this, &CTermEdit::adoptWidgetSelection);
}

CTermEdit::~CTermEdit() = default;

QString CTermEdit::Render(std::string_view bytes) {
    QString out(static_cast<qsizetype>(bytes.size()), Qt::Uninitialized);
    QChar* dst = out.data();
    for (const char c : bytes)
        *dst++ = QChar(kGlyphs[static_cast<unsigned char>(c)]);
    return out;
}

void CTermEdit::setText(std::string_view text) {
    m_text.setText(text);
    scheduleSync();
}

void CTermEdit::trimFront(std::size_t n) {
    m_text.trimFront(n);
    scheduleSync();
}

void CTermEdit::setSel(std::size_t start, std::size_t end) {
    m_text.setSelection(start, end);
    m_selectionDirty = true;
    scheduleSync();
}

void CTermEdit::scrollCaret() {
    m_scrollPending = true;
    scheduleSync();
}

void CTermEdit::replaceSel(std::string_view text) {
    m_text.replaceSelection(text);
    m_selectionDirty = true;
    scheduleSync();
}

void CTermEdit::scheduleSync() {
    if (!m_syncTimer.isActive()) m_syncTimer.start();
}

void CTermEdit::flush() {
    m_syncTimer.stop();
    syncWidget();
}

void CTermEdit::syncWidget() {
    if (!m_text.changed() && !m_selectionDirty && !m_scrollPending) return;
    m_syncing = true;
    QTextCursor cursor(document());
    const bool reset = m_text.resetPending();
    m_syncTimer.setInterval(reset ? kFloodSyncIntervalMs : kSyncIntervalMs);
    if (reset) {
        setPlainText(Render(m_text.text()));
    } else if (m_text.changed()) {
        cursor.beginEditBlock();
        if (m_text.removedFront() > 0) {
            cursor.setPosition(0);
            cursor.setPosition(static_cast<int>(m_text.removedFront()), QTextCursor::KeepAnchor);
            cursor.removeSelectedText();
        }
        const auto stable = m_text.stablePrefix();
        cursor.setPosition(static_cast<int>(stable));
        cursor.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
        cursor.removeSelectedText();
        cursor.insertText(Render(std::string_view(m_text.text()).substr(stable)));
        cursor.endEditBlock();
    }
    m_text.markSynced();

    QTextCursor selection(document());
    selection.setPosition(static_cast<int>(m_text.selectionStart()));
    selection.setPosition(static_cast<int>(m_text.selectionEnd()), QTextCursor::KeepAnchor);
    setTextCursor(selection);
    if (m_scrollPending) ensureCursorVisible();
    m_selectionDirty = false;
    m_scrollPending = false;
    m_syncing = false;
}

void CTermEdit::adoptWidgetSelection() {
    // Only moves the user makes count; while the widget is behind the model its positions
    // mean nothing.
    if (m_syncing || m_text.changed()) return;
    const QTextCursor c = textCursor();
    m_text.setSelection(static_cast<std::size_t>(c.anchor()),
                        static_cast<std::size_t>(c.position()));
}

void CTermEdit::OnChar(unsigned nChar, unsigned, unsigned) {
    fw::Guard(fw::Entry::WindowMessage, [&] {
        const char byte = static_cast<char>(nChar & 0xFF);
        auto* frame = static_cast<CMainFrame*>(fw::MainWindow());
        if (!frame) {
            DefaultChar(static_cast<unsigned char>(byte));
            return;
        }
        CCommCtrl& comm = frame->m_wndComm;
        if (comm.GetPortOpen()) comm.SetOutput(std::string_view(&byte, 1));
        if (m_bEcho || !comm.GetPortOpen()) DefaultChar(static_cast<unsigned char>(byte));
    });
}

void CTermEdit::TypeEnter(std::string_view bytes) {
    // All of the key's bytes go out together; the echo shows one line break whatever they are.
    fw::Guard(fw::Entry::WindowMessage, [&] {
        auto* frame = static_cast<CMainFrame*>(fw::MainWindow());
        const bool open = frame && frame->m_wndComm.GetPortOpen();
        if (open) frame->m_wndComm.SetOutput(bytes);
        if (m_bEcho || !open) DefaultChar('\r');
    });
}

void CTermEdit::DefaultChar(unsigned char c) {
    m_text.typeChar(c);
    m_selectionDirty = true;
    m_scrollPending = true;
    flush();
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
    return QPlainTextEdit::event(e);
}

void CTermEdit::keyPressEvent(QKeyEvent* e) {
    flush();
    if (e->key() == Qt::Key_Delete && e->modifiers() == Qt::NoModifier) {
        m_text.deleteForward();
        m_selectionDirty = true;
        m_scrollPending = true;
        flush();
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
    QPlainTextEdit::keyPressEvent(e);
}

void CTermEdit::inputMethodEvent(QInputMethodEvent* e) {
    for (const char c : terminal::CommittedBytes(e->commitString()))
        OnChar(static_cast<unsigned char>(c), 1, 0);
    e->accept();
}

void CTermEdit::mousePressEvent(QMouseEvent* e) {
    flush();
    // No pasting of the selection with the middle button: the screen only takes typed keys.
    if (e->button() == Qt::MiddleButton) return;
    QPlainTextEdit::mousePressEvent(e);
}

void CTermEdit::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() == Qt::MiddleButton) return;
    QPlainTextEdit::mouseReleaseEvent(e);
}

QMimeData* CTermEdit::createMimeDataFromSelection() const {
    // Copy the model's bytes, line breaks as the desktop expects them, not the glyphs.
    auto* data = new QMimeData;
    const QTextCursor c = textCursor();
    const auto start = std::min<std::size_t>(c.selectionStart(), m_text.length());
    const auto end = std::min<std::size_t>(c.selectionEnd(), m_text.length());
    std::string bytes = m_text.text().substr(start, end - start);
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
    data->setText(fw::FromAnsi(plain));
    return data;
}
