// Command state of the main frame: the state rules, and when they run — for a menu as it
// opens, for the shown tool bar and status bar whenever the event loop falls idle, and once
// more right before a command runs. The menu and the accelerator keys are built here too.

#include "framework/codepage.h"
#include "framework/keystate.h"
#include "framework/stringtable.h"
#include "mainframe/mainframe.h"
#include "res/resource.h"
#include "res/vocabulary.h"
#include "terminal/keyinput.h"

#include <QActionGroup>
#include <QApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QStatusBar>
#include <QToolBar>

namespace {

// A state request for a menu item or tool bar button.
class ActionCmdUI final : public fw::CmdUI {
public:
    ActionCmdUI(QAction* action, unsigned id)
        : CmdUI(id)
        , m_action(action) {}
    void Enable(bool on) override {
        if (m_action->isEnabled() != on) m_action->setEnabled(on);
    }
    void SetCheck(bool on) override {
        if (!m_action->isCheckable()) m_action->setCheckable(true);
        if (m_action->isChecked() != on) m_action->setChecked(on);
    }
    void SetText(const std::string& text) override {
        const QString shown = fw::FromAnsi(text);
        if (m_action->text() != shown) m_action->setText(shown);
    }

private:
    QAction* m_action;
};

// A state request for a button of the frame's own bars (the macro bar).
class WidgetCmdUI final : public fw::CmdUI {
public:
    WidgetCmdUI(QWidget* widget, unsigned id)
        : CmdUI(id)
        , m_widget(widget) {}
    void Enable(bool on) override {
        if (m_widget->isEnabled() != on) m_widget->setEnabled(on);
    }

private:
    QWidget* m_widget;
};

// The line-signal panes and the query command that names each signal.
struct SignalPane {
    unsigned pane;
    unsigned query;
};
constexpr SignalPane kSignalPanes[] = {
    {ID_INDICATOR_CD, ID_QUERY_CD},
    {ID_INDICATOR_CTS, ID_QUERY_CTS},
    {ID_INDICATOR_DSR, ID_QUERY_DSR},
};

// A line-signal pane's tool tip, e.g. "Carrier Detect (CD): on"; none for other panes. A blank
// box says nothing by itself.
std::optional<std::string> SignalTip(unsigned pane, bool on) {
    for (const SignalPane& signal : kSignalPanes) {
        if (signal.pane != pane) continue;
        const auto trimmed = [](std::string s) {
            while (!s.empty() && s.back() == ' ')
                s.pop_back();
            return s;
        };
        return fw::FormatString(IDS_SIGNAL_STATE,
                                {trimmed(fw::LoadStringLine(signal.query, 0)),
                                 trimmed(fw::LoadString(pane)), on ? "on" : "off"});
    }
    return std::nullopt;
}

// A state request for a status pane: a disabled pane shows no text.
class PaneCmdUI final : public fw::CmdUI {
public:
    PaneCmdUI(CStatusBar& bar, int index)
        : CmdUI(bar.paneId(index))
        , m_bar(bar)
        , m_index(index) {}
    void Enable(bool on) override {
        m_bar.SetPaneOn(m_index, on);
        if (const auto tip = SignalTip(id(), on)) m_bar.SetPaneTip(m_index, *tip);
    }

private:
    CStatusBar& m_bar;
    int m_index;
};

std::optional<fw::LockKey> LockKeyOf(unsigned id) {
    switch (id) {
    case ID_INDICATOR_CAPS:
        return fw::LockKey::Caps;
    case ID_INDICATOR_NUM:
        return fw::LockKey::Num;
    case ID_INDICATOR_SCRL:
        return fw::LockKey::Scroll;
    default:
        return std::nullopt;
    }
}

} // namespace

void CMainFrame::OnUpdateFileCommand(fw::CmdUI& ui) {
    switch (ui.id()) {
    case ID_FILE_OPEN_DUMP:
        ui.Enable(m_session.dumpPath().empty());
        break;
    case ID_FILE_CLOSE_DUMP:
        ui.Enable(!m_session.dumpPath().empty());
        break;
    case ID_FILE_TRANSMIT_TEXT:
        ui.Enable(m_wndComm.GetPortOpen() && !TransferRunning());
        break;
    case ID_FILE_OPEN_LOG:
        ui.Enable(m_session.logPath().empty());
        break;
    case ID_FILE_CLOSE_LOG:
        ui.Enable(!m_session.logPath().empty());
        break;
    default:
        break;
    }
}

void CMainFrame::OnUpdateCommCommand(fw::CmdUI& ui) {
    switch (ui.id()) {
    case ID_COMM_PORT_OPENCLOSE:
        // A port waiting for its device is closed, and closing it ends the wait.
        ui.SetText(m_wndComm.GetPortOpen() || m_session.portWait().isWaiting() ? "&Port Close"
                                                                     : "&Port Open");
        ui.Enable(true);
        break;
    case ID_SETTINGS_PORT:
        ui.Enable(!m_wndComm.GetPortOpen());
        break;
    case ID_COMM_DIAL:
    case ID_COMM_HANGUP:
        ui.Enable(m_wndComm.GetPortOpen() && !TransferRunning());
        break;
    case ID_COMM_PORT_CLOSE:
        ui.Enable(m_wndComm.GetPortOpen() || m_session.portWait().isWaiting());
        break;
    case ID_COMM_PORT_OPEN:
        ui.Enable(!m_wndComm.GetPortOpen());
        UpdateTitle();
        break;
    case ID_INDICATOR_CD:
        ui.Enable(m_wndComm.GetCDHolding());
        break;
    case ID_INDICATOR_CTS:
        ui.Enable(m_wndComm.GetCTSHolding());
        break;
    case ID_INDICATOR_DSR:
        ui.Enable(m_wndComm.GetDSRHolding());
        break;
    case ID_INDICATOR_HEX:
        if (m_wndEdit.m_bEcho) m_session.setHexView(0);
        ui.Enable(m_session.hexView() != 0);
        break;
    case ID_INDICATOR_NONE:
        ui.Enable(false);
        break;
    default:
        break;
    }
}

void CMainFrame::OnUpdateDTREnable(fw::CmdUI& ui) {
    ui.SetCheck(m_wndComm.GetDTREnable());
    ui.Enable(true);
}

void CMainFrame::OnUpdateTerminal(fw::CmdUI& ui) { ui.SetCheck(m_bTerminal != 0); }

void CMainFrame::OnUpdateHexView(fw::CmdUI& ui) {
    if (m_wndEdit.m_bEcho) m_session.setHexView(0);
    ui.SetCheck(GetHexView() != 0);
    ui.Enable(!m_wndEdit.m_bEcho);
}

void CMainFrame::OnUpdateLineOption(fw::CmdUI& ui) {
    const unsigned id = ui.id();
    if (id == ID_VIEW_TIMESTAMPS)
        ui.SetCheck(m_bTimeStamps != 0);
    else if (id >= ID_SETTINGS_ENTER_CR && id <= ID_SETTINGS_ENTER_CRLF)
        ui.SetCheck(id - ID_SETTINGS_ENTER_CR == static_cast<unsigned>(m_wndEdit.m_enterSends));
    else if (id >= ID_SETTINGS_BACKSPACE_DEL && id <= ID_SETTINGS_BACKSPACE_BS)
        ui.SetCheck(id - ID_SETTINGS_BACKSPACE_DEL == static_cast<unsigned>(m_wndTerm.backspaceSends()));
    else
        ui.SetCheck(id - ID_SETTINGS_BREAKS_CR == static_cast<unsigned>(m_session.lineBreaks()));
    ui.Enable(true);
}

void CMainFrame::UpdateCommand(fw::CmdUI& ui) {
    if (fw::RouteUpdate(*this, MessageMap(), ui)) return;
    switch (ui.id()) {
    case ID_VIEW_TOOLBAR:
        ui.SetCheck(m_wndToolBar.IsVisible());
        ui.Enable(true);
        return;
    case ID_VIEW_STATUS_BAR:
        ui.SetCheck(m_wndStatusBar.IsVisible());
        ui.Enable(true);
        return;
    default:
        break;
    }
    if (const auto lock = LockKeyOf(ui.id())) {
        ui.Enable(fw::IsLockOn(*lock));
        return;
    }
    ui.Enable(HasHandler(ui.id()));
}

void CMainFrame::OnIdleUpdate() {
    if (!m_created) return;
    fw::Guard(fw::Entry::ControlEvent, [this] {
        if (m_wndToolBar.IsVisible())
            for (QAction* button : m_wndToolBar.buttons()) {
                ActionCmdUI ui(button, button->data().toUInt());
                UpdateCommand(ui);
            }
        if (m_macroDock->isVisibleTo(this))
            for (int i = 0; i < settings::kMacroCount; ++i) {
                WidgetCmdUI ui(m_pMacroBar->button(i), ID_COMM_MACRO_FIRST + unsigned(i));
                UpdateCommand(ui);
            }
        if (m_wndStatusBar.IsVisible())
            for (int i = 1; i < m_wndStatusBar.paneCount(); ++i) {
                PaneCmdUI ui(m_wndStatusBar, i);
                UpdateCommand(ui);
            }
    });
}

void CMainFrame::UpdateMenu(QMenu* menu) {
    fw::Guard(fw::Entry::ControlEvent, [&] {
        for (QAction* action : menu->actions()) {
            if (action->isSeparator() || action->menu()) continue;
            ActionCmdUI ui(action, action->data().toUInt());
            UpdateCommand(ui);
        }
    });
}

QAction* CMainFrame::menuAction(unsigned id) const {
    for (QAction* action : m_menuActions)
        if (action->data().toUInt() == id) return action;
    return nullptr;
}

void CMainFrame::AddMenuItems(QMenu* menu, std::span<const res::MenuItem> items) {
    QActionGroup* group = nullptr; // the radio items that follow each other form one group
    for (const res::MenuItem& item : items) {
        if (!item.radio) group = nullptr;
        if (item.id == 0 && item.submenu.empty()) {
            menu->addSeparator();
            continue;
        }
        if (item.id == 0) {
            QMenu* sub = menu->addMenu(fw::FromAnsi(item.text));
            AddMenuItems(sub, item.submenu);
            continue;
        }
        QAction* action = menu->addAction(fw::FromAnsi(item.text));
        if (item.radio) {
            if (!group) group = new QActionGroup(menu);
            action->setCheckable(true);
            action->setActionGroup(group);
        }
        action->setData(item.id);
        action->setStatusTip(fw::FromAnsi(fw::LoadStringLine(item.id, 0)));
        action->setObjectName(QStringLiteral("menu%1").arg(item.id));
        const unsigned id = item.id;
        connect(action, &QAction::triggered, this, [this, id] { SendCommand(id, Source::Menu); });
        m_menuActions.push_back(action);
    }
    connect(menu, &QMenu::aboutToShow, this, [this, menu] { UpdateMenu(menu); });
    // Leaving the menu gives the message pane back its idle text.
    connect(menu, &QMenu::aboutToHide, this, [this] {
        QStatusTipEvent tip{QString()};
        QApplication::sendEvent(this, &tip);
    });
}

void CMainFrame::BuildMenu() {
    for (const res::Menu& def : res::MainMenu()) {
        QMenu* menu = menuBar()->addMenu(fw::FromAnsi(def.title));
        AddMenuItems(menu, def.items);
        m_menus.push_back(menu);
    }
    for (QAction* button : m_wndToolBar.buttons()) {
        const unsigned id = button->data().toUInt();
        connect(button, &QAction::triggered, this,
                [this, id] { SendCommand(id, Source::ToolBar); });
    }
}

void CMainFrame::InstallAccelerators() {
    qApp->installEventFilter(this);
}

bool CMainFrame::TranslateAccelerator(QKeyEvent* key, std::span<const res::Accelerator> table) {
    const auto modifiers = key->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier |
                                               Qt::AltModifier | Qt::MetaModifier);
    const QKeyCombination pressed(modifiers, static_cast<Qt::Key>(key->key()));
    for (const res::Accelerator& accel : table) {
        if (accel.key != pressed) continue;
        SendCommand(accel.id, Source::Key);
        return true;
    }
    return false;
}

bool CMainFrame::TranslateMenuKey(QKeyEvent* key, bool inScreen) {
    // Escape in the screen stops the sends under way before it is a key for the device.
    if (inScreen && key->key() == Qt::Key_Escape && key->modifiers() == Qt::NoModifier &&
        m_sendRuns && m_sendRuns->busy()) {
        m_sendRuns->cancelAll();
        return true;
    }
    if (inScreen && (TranslateAccelerator(key, res::ClipboardChords()) ||
                     TranslateAccelerator(key, res::Accelerators())))
        return true;
    // F10 alone opens the menu bar; it never reaches the screen.
    if (key->key() == Qt::Key_F10 &&
        (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        OpenMenuBar();
        return true;
    }
    // Alt with a key that no menu has taken: nothing happens (it is not typing).
    return !key->text().isEmpty() && terminal::IsMenuChord(key->modifiers());
}

void CMainFrame::OpenMenuBar() {
    // The first menu opens; Escape closes it and leaves the bar with the keyboard, a second
    // Escape gives the keyboard back to the screen.
    QMenuBar* bar = menuBar();
    if (bar->isVisible() && !bar->actions().isEmpty()) bar->setActiveAction(bar->actions().front());
}

bool CMainFrame::eventFilter(QObject* watched, QEvent* e) {
    switch (e->type()) {
    case QEvent::KeyPress: {
        fw::InvalidateLockKeys();
        auto* widget = qobject_cast<QWidget*>(watched);
        auto* key = static_cast<QKeyEvent*>(e);
        // In the terminal view the accelerator keys are keys like any other; F10 still opens
        // the menu bar.
        if (m_bTerminal && widget && (widget == &m_wndTerm || widget->parent() == &m_wndTerm)) {
            if (key->key() != Qt::Key_F10 || (key->modifiers() & ~Qt::KeypadModifier)) break;
            OpenMenuBar();
            return true;
        }
        // Keys of the frame's window are translated before the focused widget sees them; the
        // accelerators only while the screen has the focus, so text fields edit as usual.
        const bool inScreen = widget == &m_wndEdit || m_wndEdit.isAncestorOf(widget);
        if (widget && widget->window() == this && TranslateMenuKey(key, inScreen)) return true;
        break;
    }
    case QEvent::KeyRelease:
    case QEvent::FocusIn:
        fw::InvalidateLockKeys();
        break;
    default:
        break;
    }
    return QMainWindow::eventFilter(watched, e);
}
