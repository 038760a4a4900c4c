// The user's input on the screen: the selection, the mouse, keys, the input method.

#include "terminal/termedit.h"

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

// --- selection ---

void CTermEdit::selectByUser(std::size_t anchor, std::size_t caret) {
    m_model.select(anchor, caret);
    viewport()->update();
    if (QAccessible::isActive()) {
        QAccessibleTextCursorEvent moved(this, readerOffset(this->caret()));
        QAccessible::updateAccessibility(&moved);
    }
}

void CTermEdit::selectAll() {
    flush();
    selectByUser(0, m_model.text().length());
}

void CTermEdit::copy() const {
    // The model's characters, line breaks as the desktop expects them, not the glyphs.
    QApplication::clipboard()->setText(m_model.copyText());
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
        const auto [a, b] = m_model.lineAt(at);
        selectByUser(a, b);
        m_dragging = false;
        return;
    }
    if (e->modifiers() & Qt::ShiftModifier)
        selectByUser(anchor(), at);
    else
        selectByUser(at, at);
    m_dragging = true;
    m_dragAnchor = m_model.absolute(anchor());
}

void CTermEdit::mouseMoveEvent(QMouseEvent* e) {
    if (!m_dragging || !(e->buttons() & Qt::LeftButton)) return;
    flush();
    QPoint at = e->position().toPoint();
    if (at.y() < 0) scrollRows(-1);
    if (at.y() >= viewport()->height()) scrollRows(1);
    at.setY(std::clamp(at.y(), 0, viewport()->height() - 1));
    selectByUser(m_model.fromAbsolute(m_dragAnchor), positionAt(at));
}

void CTermEdit::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton) m_dragging = false;
}

void CTermEdit::mouseDoubleClickEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) return;
    flush();
    const auto [a, b] = m_model.wordAt(positionAt(e->position().toPoint()));
    selectByUser(a, b);
    m_dragging = false;
    m_lastDoubleClick = qint64(e->timestamp());
    m_doubleClickPoint = e->position().toPoint();
}

void CTermEdit::contextMenuEvent(QContextMenuEvent* e) {
    flush();
    QMenu menu(this);
    QAction* copyAction = menu.addAction(tr("&Copy"), this, &CTermEdit::copy);
    copyAction->setEnabled(m_model.text().selectionEnd() > m_model.text().selectionStart());
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
        m_model.text().deleteForward();
        showEdit();
        return;
    }
    if (const auto enter = terminal::EnterKeyBytes(*e, m_enterSends); !enter.empty()) {
        TypeEnter(enter);
        e->accept();
        return;
    }
    if (const auto typed = terminal::TypedBytes(e->modifiers(), e->text(), false, charSet())) {
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
        return m_model.horizontalMove(at, false, extend);
    case Qt::Key_Right:
        return m_model.horizontalMove(at, true, extend);
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
        // Scrolled up, End goes back to the end of the text and follows it again.
        if (control || !m_follow) return m_model.text().length();
        const Row row = rowAt(placeOf(at));
        return row.start + terminal::OffsetAt(slice(row.start, row.end), 1e9, m_columns, charSet());
    }
    default:
        return std::nullopt;
    }
}

std::size_t CTermEdit::verticalMove(std::size_t from, long rows) {
    Place p = placeOf(from);
    const Row row = rowAt(p);
    const int column = terminal::ColumnOf(slice(row.start, row.end), from - row.start, m_columns, charSet());
    const bool moved = stepRows(p, rows);
    if (!moved) return rows < 0 ? 0 : m_model.text().length(); // past the first or last row
    const Row target = rowAt(p);
    return target.start + terminal::OffsetAt(slice(target.start, target.end), column, m_columns, charSet());
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
