// The terminal view's input: keys as a VT keyboard, the mouse for selecting (or reported to the
// device when it asked), the context menu.

#include "terminal/keyinput.h"
#include "terminal/vtview.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QScrollBar>

namespace terminal {

namespace {

constexpr int kMargin = 2;

std::uint8_t MouseMods(Qt::KeyboardModifiers m) {
    return static_cast<std::uint8_t>(((m & Qt::ShiftModifier) ? kModShift : 0) |
                                     ((m & Qt::AltModifier) ? kModAlt : 0) |
                                     ((m & Qt::ControlModifier) ? kModCtrl : 0));
}

int ButtonNumber(Qt::MouseButton b) {
    switch (b) {
    case Qt::LeftButton: return 1;
    case Qt::MiddleButton: return 2;
    case Qt::RightButton: return 3;
    default: return 0;
    }
}

bool IsViewKey(const QKeyEvent& e) {
    const auto mods = e.modifiers() & ~Qt::KeypadModifier;
    const bool ctrlShift = mods == (Qt::ControlModifier | Qt::ShiftModifier);
    if (ctrlShift && (e.key() == Qt::Key_C || e.key() == Qt::Key_V)) return true;
    if (mods == Qt::ShiftModifier)
        return e.key() == Qt::Key_Insert || e.key() == Qt::Key_PageUp || e.key() == Qt::Key_PageDown;
    return false;
}

} // namespace

KeyAction VtView::actionFor(const QKeyEvent& e) const {
    const bool menuChord = IsMenuChord(e.modifiers());
    if (menuChord && m_menuTaken && m_menuTaken(e)) return {};
    return EncodeKey(e.key(), e.modifiers(), e.text(), menuChord, m_keys);
}

bool VtView::event(QEvent* e) {
    // Keys the terminal sends are not shortcuts while it has the focus (Ctrl+C is 0x03).
    if (e->type() == QEvent::ShortcutOverride) {
        auto* key = static_cast<QKeyEvent*>(e);
        if (IsViewKey(*key) || actionFor(*key).kind != KeyAction::Ignore) {
            e->accept();
            return true;
        }
    }
    return QAbstractScrollArea::event(e);
}

bool VtView::handleViewKey(QKeyEvent* e) {
    if (!IsViewKey(*e)) return false;
    switch (e->key()) {
    case Qt::Key_C: copy(); break;
    case Qt::Key_V:
    case Qt::Key_Insert: pasteClipboard(); break;
    case Qt::Key_PageUp: scrollLines(-m_screen.grid().rows()); break;
    case Qt::Key_PageDown: scrollLines(m_screen.grid().rows()); break;
    default: break;
    }
    return true;
}

void VtView::typed(const KeyAction& action) {
    // The echo is shown once the engine is done encoding the key, never from inside it.
    std::string echo;
    if (m_localEcho && m_localEcho()) m_echo = &echo;
    if (action.kind == KeyAction::Bytes) m_engine.send(action.bytes);
    if (action.kind == KeyAction::Key) m_engine.key(action.key, action.mods);
    m_echo = nullptr;
    if (!echo.empty()) feed(echo);
    if (!m_follow) {
        m_follow = true;
        updateScrollBar();
        viewport()->update();
    }
}

void VtView::keyPressEvent(QKeyEvent* e) {
    if (handleViewKey(e)) return;
    const KeyAction action = actionFor(*e);
    if (action.kind == KeyAction::Ignore) {
        e->ignore();
        return;
    }
    typed(action);
}

void VtView::inputMethodEvent(QInputMethodEvent* e) {
    const QByteArray text = e->commitString().toUtf8();
    if (!text.isEmpty())
        typed({KeyAction::Bytes, std::string(text.constData(), static_cast<std::size_t>(text.size()))});
    e->accept();
}

void VtView::wheelEvent(QWheelEvent* e) {
    const int notches = e->angleDelta().y() / 120;
    if ((e->modifiers() & Qt::ControlModifier) && m_zoom)
        m_zoom(notches);
    else if (notches != 0)
        scrollLines(-3L * notches);
    e->accept();
}

VtPoint VtView::pointAt(QPoint pos) const {
    const int row = std::clamp(pos.y() / m_lineHeight, 0, m_screen.grid().rows() - 1);
    const int col = std::clamp((pos.x() - kMargin + m_cellWidth / 2) / m_cellWidth, 0, m_screen.grid().cols());
    return {m_screen.scrollback().dropped() + topLine() + static_cast<std::uint64_t>(row), col};
}

bool VtView::reportMouse(QMouseEvent* e, bool pressed, bool release) {
    if (m_engine.mouseMode() == 0 || (e->modifiers() & Qt::ShiftModifier)) return false;
    const QPoint pos = e->position().toPoint();
    const int row = std::clamp(pos.y() / m_lineHeight, 0, m_screen.grid().rows() - 1);
    const int col = std::clamp((pos.x() - kMargin) / m_cellWidth, 0, m_screen.grid().cols() - 1);
    m_engine.mouseMove(row, col, MouseMods(e->modifiers()));
    if (pressed || release) m_engine.mouseButton(ButtonNumber(e->button()), pressed, MouseMods(e->modifiers()));
    return true;
}

void VtView::mousePressEvent(QMouseEvent* e) {
    setFocus(Qt::MouseFocusReason);
    if (reportMouse(e, true, false)) return;
    if (e->button() == Qt::MiddleButton) {
        paste(QApplication::clipboard()->text(QClipboard::Selection));
        return;
    }
    if (e->button() != Qt::LeftButton) return;
    const VtPoint at = pointAt(e->position().toPoint());
    const bool triple = m_lastDouble.isValid() &&
                        m_lastDouble.elapsed() < QApplication::doubleClickInterval() &&
                        (e->position().toPoint() - m_pressPos).manhattanLength() < 4;
    m_pressPos = e->position().toPoint();
    m_selection = {at, at, triple ? SelectUnit::Line : SelectUnit::Cell, triple};
    m_lastDouble.invalidate();
    m_selecting = true;
    viewport()->update();
}

void VtView::mouseDoubleClickEvent(QMouseEvent* e) {
    if (reportMouse(e, true, false) || e->button() != Qt::LeftButton) return;
    const VtPoint at = pointAt(e->position().toPoint());
    m_selection = {at, at, SelectUnit::Word, true};
    m_selecting = true;
    m_lastDouble.start();
    m_pressPos = e->position().toPoint();
    viewport()->update();
}

void VtView::mouseMoveEvent(QMouseEvent* e) {
    if (!m_selecting) {
        if (m_engine.mouseMode() >= 2 && (e->buttons() || m_engine.mouseMode() == 3)) reportMouse(e, false, false);
        return;
    }
    // Above or below the glass the view scrolls while the selection grows.
    const int y = e->position().toPoint().y();
    if (y < 0) scrollLines(-1);
    if (y >= viewport()->height()) scrollLines(1);
    const VtPoint at = pointAt(e->position().toPoint());
    if (at != m_selection.head) {
        m_selection.head = at;
        m_selection.active = true;
        viewport()->update();
    }
}

void VtView::mouseReleaseEvent(QMouseEvent* e) {
    if (!m_selecting) {
        reportMouse(e, false, true);
        return;
    }
    m_selecting = false;
    const QString text = selectedText();
    if (!text.isEmpty() && QApplication::clipboard()->supportsSelection())
        QApplication::clipboard()->setText(text, QClipboard::Selection);
}

void VtView::contextMenuEvent(QContextMenuEvent* e) {
    if (m_engine.mouseMode() != 0 && !(e->modifiers() & Qt::ShiftModifier) &&
        e->reason() == QContextMenuEvent::Mouse)
        return;
    QMenu menu(this);
    QAction* copyAction = menu.addAction(tr("&Copy"), this, &VtView::copy);
    copyAction->setEnabled(!selectedText().isEmpty());
    menu.addAction(tr("&Paste"), this, &VtView::pasteClipboard);
    menu.addAction(tr("Select &All"), this, &VtView::selectAll);
    menu.addSeparator();
    menu.addAction(tr("C&lear"), this, &VtView::clear);
    menu.addAction(tr("&Reset Terminal"), this, &VtView::resetTerminal);
    menu.exec(e->globalPos());
}

void VtView::focusInEvent(QFocusEvent* e) {
    QAbstractScrollArea::focusInEvent(e);
    viewport()->update();
}

void VtView::focusOutEvent(QFocusEvent* e) {
    QAbstractScrollArea::focusOutEvent(e);
    viewport()->update();
}

} // namespace terminal
