// The user's input on the screen: the selection, the mouse, keys, the input method.

#include "terminal/termedit.h"

#include "framework/codepage.h"
#include "terminal/enterkey.h"
#include "terminal/keyinput.h"
#include "terminal/screenlayout.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QStyleHints>

#include <algorithm>
#include <cctype>

namespace {

bool IsWordByte(unsigned char b) {
    return std::isalnum(b) || b == '_' || b >= 0xC0;
}

} // namespace

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
    while (a > 0 && IsWordByte(static_cast<unsigned char>(s[a - 1])) == word && s[a - 1] != '\n' &&
           s[a - 1] != '\r')
        --a;
    while (b < s.size() && IsWordByte(static_cast<unsigned char>(s[b])) == word && s[b] != '\n' &&
           s[b] != '\r')
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
    const std::string bytes = m_text.text().substr(m_text.selectionStart(),
                                                   m_text.selectionEnd() - m_text.selectionStart());
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
    if (m_paste) {
        QAction* pasteAction = menu.addAction(tr("&Paste"), this, [this] { m_paste(); });
        pasteAction->setEnabled(m_canPaste && m_canPaste());
    }
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

void CTermEdit::keyPressEvent(QKeyEvent* e) {
    flush();
    if (e->key() == Qt::Key_Delete && e->modifiers() == Qt::NoModifier) {
        m_text.deleteForward();
        showEdit();
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
    const auto to = caretTarget(e->key(), extend, e->modifiers() & Qt::ControlModifier);
    if (!to) {
        QAbstractScrollArea::keyPressEvent(e);
        return;
    }
    moveCaret(*to, extend);
    e->accept();
}

std::optional<std::size_t> CTermEdit::caretTarget(int key, bool extend, bool control) {
    const std::size_t at = caret();
    switch (key) {
    case Qt::Key_Left:
        return horizontalMove(at, false, extend);
    case Qt::Key_Right:
        return horizontalMove(at, true, extend);
    case Qt::Key_Up:
        return verticalMove(at, -1);
    case Qt::Key_Down:
        return verticalMove(at, 1);
    case Qt::Key_PageUp:
        return verticalMove(at, -visibleRowCount());
    case Qt::Key_PageDown:
        return verticalMove(at, visibleRowCount());
    case Qt::Key_Home:
        return control ? std::size_t{0} : rowAt(placeOf(at)).start;
    case Qt::Key_End: {
        if (control) return m_text.length();
        const Row row = rowAt(placeOf(at));
        return row.start + terminal::OffsetAt(slice(row.start, row.end), 1e9, m_columns);
    }
    default:
        return std::nullopt;
    }
}

std::size_t CTermEdit::horizontalMove(std::size_t at, bool right, bool extend) const {
    // Without Shift, an arrow ends a selection at the side it points to.
    if (!extend && m_text.selectionEnd() > m_text.selectionStart())
        return right ? m_text.selectionEnd() : m_text.selectionStart();
    // A CR LF line break is one step.
    const std::string& s = m_text.text();
    if (right) {
        if (at + 1 < s.size() && s[at] == '\r' && s[at + 1] == '\n') return at + 2;
        return std::min(at + 1, s.size());
    }
    if (at >= 2 && s[at - 2] == '\r' && s[at - 1] == '\n') return at - 2;
    return at > 0 ? at - 1 : 0;
}

std::size_t CTermEdit::verticalMove(std::size_t from, long rows) {
    Place p = placeOf(from);
    const Row row = rowAt(p);
    const int column = terminal::ColumnOf(slice(row.start, row.end), from - row.start, m_columns);
    const bool moved = stepRows(p, rows);
    if (!moved) return rows < 0 ? 0 : m_text.length(); // past the first or last row
    const Row target = rowAt(p);
    return target.start + terminal::OffsetAt(slice(target.start, target.end), column, m_columns);
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
