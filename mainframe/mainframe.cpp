#include "mainframe/mainframe.h"

#include "framework/application.h"
#include "framework/codepage.h"
#include "framework/msgbox.h"
#include "framework/stringtable.h"
#include "res/resource.h"
#include "res/vocabulary.h"

#include <QKeyEvent>
#include <QMenuBar>
#include <QApplication>
#include <QCloseEvent>
#include <QFile>
#include <QIcon>

namespace {

CMainFrame::CreationFault g_creationFault = CMainFrame::CreationFault::None;

// Qt reads "[*]" in a window title as the modified marker; a path may hold it literally.
QString LiteralTitle(QString title) {
    return title.replace(QStringLiteral("[*]"), QStringLiteral("[*][*]"));
}

} // namespace

CMainFrame::CMainFrame() {
    m_session.portWait().setReport([this](session::PortWait::Outcome outcome) {
        fw::Guard(fw::Entry::ControlEvent, [this, outcome] {
            if (outcome == session::PortWait::Outcome::Reopened)
                m_session.logMark(
                    fw::FormatString(IDS_LOG_PORT_BACK, {m_wndComm.GetOpenedPort().shown}));
            m_wndStatusBar.SetPaneText(0, m_session.portWait().message(), true);
            UpdateTitle();
        });
    });
    setObjectName(QStringLiteral("CMainFrame"));
    setWindowTitle(fw::FromAnsi(fw::LoadStringLine(IDR_MAINFRAME, 0)));
    QIcon icon(QString::fromLatin1(res::kProgramIcon));
    icon.addFile(QString::fromLatin1(res::kProgramIconSmall));
    setWindowIcon(icon);
    CreateSendBars();
}

CMainFrame::~CMainFrame() {
    // A transfer lets go of the session before the session goes.
    m_transfer.reset();
    qDeleteAll(findChildren<session::FileTransfer*>(Qt::FindDirectChildrenOnly));
    fw::SetIdleHook(this, {});
    qApp->removeEventFilter(this);
    if (fw::MainWindow() == this) fw::SetMainWindow(nullptr);
    // The screen is a member: let the window's layout give it up before it goes.
    if (centralWidget() == &m_wndEdit) takeCentralWidget();
}

void CMainFrame::SetCreationFault(CreationFault fault) {
    g_creationFault = fault;
}

bool CMainFrame::LoadFrame() {
    m_created = OnCreate() == 0;
    return m_created;
}

int CMainFrame::OnCreate() {
    try {
        if (g_creationFault == CreationFault::ToolBar || !m_wndToolBar.Create(this, IDW_TOOLBAR) ||
            !m_wndToolBar.LoadToolBar(res::ToolBarSlots(), res::kToolBarImage)) {
            fw::MessageBox(fw::LoadString(IDS_CREATE_TOOLBAR_FAILED));
            return -1;
        }
        if (g_creationFault == CreationFault::StatusBar ||
            !m_wndStatusBar.Create(this, IDW_STATUS_BAR) ||
            !m_wndStatusBar.SetIndicators(res::StatusIndicators())) {
            fw::MessageBox(fw::LoadString(IDS_CREATE_STATUSBAR_FAILED));
            return -1;
        }
        m_wndStatusBar.SetPaneText(0, fw::LoadString(IDS_IDLE_MESSAGE), false);
        BuildMenu();

        if (g_creationFault == CreationFault::Control || !m_wndComm.Create(this, IDC_COMMCTRL)) {
            fw::MessageBox(fw::LoadString(IDS_CREATE_CONTROL_FAILED));
            return -1;
        }
        m_session.attach();
        m_session.setFilesChanged([this] { UpdateTitle(); });
        // While a port waits for its device, the pane keeps saying so.
        m_session.setStatusSink([this](const std::string& text) {
            if (!m_session.portWait().isWaiting())
                m_wndStatusBar.SetPaneText(0, text.empty() ? IdleMessage() : text, true);
        });
        // An unplugged adapter must not look like an open port that has gone quiet.
        m_wndComm.SetLostHandler([this](const std::string& description) {
            fw::Guard(fw::Entry::ControlEvent, [&] {
                m_session.portClosed();
                OnDeviceLost(description);
            });
        });
        m_wndComm.SetStatusHandler([this](const std::string& text) {
            m_wndStatusBar.SetPaneText(0, text.empty() ? IdleMessage() : text, true);
        });
        m_wndComm.SetRThreshold(1);
        WireSending();
        LoadSettings();

        if (g_creationFault == CreationFault::Edit) {
            fw::MessageBox(fw::LoadString(IDS_CREATE_EDIT_FAILED));
            return -1;
        }
        m_wndEdit.setObjectName(QStringLiteral("screen%1").arg(IDW_PANE_FIRST));
        m_wndEdit.setTypedSink([this] { return m_wndComm.GetPortOpen(); },
                               [this](std::string_view bytes) { m_session.sendTyped(bytes); });
        // Keys typed while the port waits for its device would reach no one: say so instead
        // of showing them as if the device had echoed them.
        m_wndEdit.setTypedRefusal([this] {
            if (!m_session.portWait().isWaiting()) return false;
            // The pane belongs to the wait meanwhile; this says both things at once.
            m_wndStatusBar.SetPaneText(
                0, fw::FormatString(IDS_KEYS_NOT_SENT, {m_session.portWait().port().shown}), true);
            return true;
        });
        // The screen and the terminal view share the centre; the frame's holder goes with it.
        m_views = new QStackedWidget;
        m_views->addWidget(&m_wndEdit);
        m_views->addWidget(&m_wndTerm);
        auto* holder = new QWidget;
        CreateFindBar(holder);
        setCentralWidget(holder);
        m_wndTerm.setObjectName(QStringLiteral("terminal"));
        m_wndTerm.setOutputSink([this](std::string_view bytes) { m_session.sendTyped(bytes); });
        // The terminal view always speaks UTF-8.
        m_wndTerm.setPasteSink([this](const QString& text) { PasteText(text, true); });
        m_wndTerm.setLocalEcho([this] { return m_wndEdit.m_bEcho != 0; });
        m_wndTerm.setMenuChordTaken([this](const QKeyEvent& key) {
            const QKeySequence chord(static_cast<int>(key.modifiers() & Qt::AltModifier) | key.key());
            for (QAction* menu : menuBar()->actions())
                if (QKeySequence::mnemonic(menu->text()) == chord) return true;
            return false;
        });
        // Both views show text in one font at one zoom, which the log view keeps.
        m_wndEdit.setFontFollower([this](const QFont& font) { m_wndTerm.setFont(font); });
        m_wndTerm.setFont(m_wndEdit.font());
        m_wndTerm.setZoomSink([this](int steps) { m_wndEdit.zoomTo(m_wndEdit.zoom() + steps); });
        SetTerminal(m_bTerminal);
        (m_bTerminal ? static_cast<QWidget*>(&m_wndTerm) : &m_wndEdit)->setFocus();

        InstallAccelerators();
        fw::SetIdleHook(this, [this] { OnIdleUpdate(); });
        return 0;
    } catch (...) {
        // An error of the control while the window is made ends the creation, silently.
        return -1;
    }
}

void CMainFrame::OnActivate() {
    // Whether the frame becomes active or inactive, typing goes to the screen next.
    (m_bTerminal ? static_cast<QWidget*>(&m_wndTerm) : &m_wndEdit)->setFocus();
}

void CMainFrame::UpdateTitle() {
    QString title = fw::FromAnsi(fw::LoadStringLine(IDR_MAINFRAME, 0));
    if (m_wndComm.GetPortOpen() || m_session.portWait().isWaiting())
        title = QStringLiteral("%1 - COM%2,%3%4")
                    .arg(title)
                    .arg(m_wndComm.GetCommPort())
                    .arg(fw::FromAnsi(m_wndComm.GetSettings()),
                         m_wndComm.GetPortOpen() ? QString() : QStringLiteral(" (waiting)"));
    const std::string& dump = m_session.dumpPath();
    const std::string& log = m_session.logPath();
    if (!dump.empty())
        title = QStringLiteral("%1 - dumping to \"%2\"")
                    .arg(title, QFile::decodeName(QByteArray::fromStdString(dump)));
    if (!log.empty())
        title = QStringLiteral("%1 - logging to \"%2\"")
                    .arg(title, QFile::decodeName(QByteArray::fromStdString(log)));
    setWindowTitle(LiteralTitle(title));
}

void CMainFrame::PumpPendingMessages() {
    // Enough to keep the window alive in a flood, bounded so that the caller gets to check
    // its own state again.
    constexpr int kMaxBatches = 256;
    // A wait with nothing to do looks again this often: the close drain's deadline counts
    // in whole seconds, and the control wakes the wait as soon as its output moves.
    constexpr int kMaxSleepMs = 50;
    for (int batch = 0; batch < kMaxBatches; ++batch) {
        if (m_bCancel) return;
        if (fw::QuitRequested()) return;
        if (fw::DispatchPending()) continue;
        // Nothing was waiting: sleep until the next event instead of spinning, and let the
        // caller read its state again once that has been dispatched.
        if (batch == 0) fw::WaitForEvents(kMaxSleepMs);
        return;
    }
}

bool CMainFrame::event(QEvent* e) {
    switch (e->type()) {
    case QEvent::WindowActivate:
    case QEvent::WindowDeactivate: {
        const bool handled = QMainWindow::event(e);
        OnActivate();
        return handled;
    }
    case QEvent::StatusTip: {
        // Prompts of menu items and buttons go to the message pane; "Ready" when they leave.
        if (m_wndStatusBar.widget() && m_wndStatusBar.paneCount() > 0) {
            const QString tip = static_cast<QStatusTipEvent*>(e)->tip();
            m_wndStatusBar.SetPaneText(0, tip.isEmpty() ? IdleMessage() : fw::ToAnsi(tip), false);
        }
        return true;
    }
    default:
        return QMainWindow::event(e);
    }
}

void CMainFrame::closeEvent(QCloseEvent* e) {
    e->ignore();
    OnClose();
}
