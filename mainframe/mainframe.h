#pragma once
// The main window: tool bar, status bar, terminal screen, the hosted serial control, and the
// session that runs the open port's life (the receive road, the dump and the log, sending).
// Other parts reach it as the application's main window.

#include "comm/ccommctrl.h"
#include "framework/commands.h"
#include "framework/file.h"
#include "framework/types.h"
#include "mainframe/controlbars.h"
#include "mainframe/macrobar.h"
#include "mainframe/sendbar.h"
#include "mainframe/sendprogress.h"
#include "mainframe/sendruns.h"
#include "session/filetransfer.h"
#include "session/session.h"
#include "settings/macrosdlg.h"
#include "settings/pacingdlg.h"
#include "terminal/findbar.h"
#include "terminal/termedit.h"
#include "terminal/vtview.h"
#include "transfer/protocol/zmodemstart.h"

#include <QStackedWidget>

#include <QMainWindow>
#include <QTimer>

#include <memory>

#include <span>
#include <string>
#include <string_view>
#include <vector>

class CTransferDlg;
class QMenu;
namespace res {
struct Accelerator;
struct MenuItem;
} // namespace res

class CMainFrame : public QMainWindow {
    Q_OBJECT
public:
    CMainFrame();
    ~CMainFrame() override;

    // Builds the frame's children (OnCreate). False when that fails; the frame must then be
    // deleted without being shown.
    bool LoadFrame();

    // --- the frame's parts, for the program's other parts and tests ---
    CCommCtrl& comm() { return m_wndComm; }
    const CCommCtrl& comm() const { return m_wndComm; }
    CTermEdit& screen() { return m_wndEdit; }
    const CTermEdit& screen() const { return m_wndEdit; }
    terminal::VtView& terminalView() { return m_wndTerm; }
    CStatusBar& statusPanes() { return m_wndStatusBar; }
    CToolBar& toolBar() { return m_wndToolBar; }
    CSendBar* sendBar() const { return m_pSendBar; }
    CMacroBar* macroBar() const { return m_pMacroBar; }
    QToolBar* sendDock() const { return m_sendDock; }
    QToolBar* macroDock() const { return m_macroDock; }
    CSendRuns& sendRuns() { return *m_sendRuns; }
    CSendProgress* sendProgress() const { return m_pSendProgress; }
    terminal::FindBar* findBar() const { return m_findBar; }
    const settings::Macros& macros() const { return m_macros; }
    const settings::Pacing& pacing() const { return m_pacing; }
    // The number last dialled in this run.
    const std::string& phoneNumber() const { return m_strPhoneNumber; }
    Bool32 GetReconnect() const { return m_bReconnect; }
    void SetReconnect(Bool32 on) { m_bReconnect = on; }
    Bool32 GetTimeStamps() const { return m_bTimeStamps; }
    // The stop request for the message pump and the transmission (Escape, Cancel).
    Bool32 CancelRequested() const { return m_bCancel; }
    void RequestCancel() { m_bCancel = 1; }

    // A file transfer under way (XMODEM, YMODEM, ZMODEM; none: null) and its window; the
    // folder files were last received into.
    session::FileTransfer* transfer() const { return m_transfer.get(); }
    CTransferDlg* transferDialog() const { return m_pTransferDlg; }
    const std::string& receiveFolder() const { return m_strReceiveFolder; }

    // Shows the terminal view (fed by the session, typing through its send queue) or the
    // screen; the hexadecimal view goes off with the terminal view on.
    void SetTerminal(Bool32 on);
    Bool32 GetTerminal() const { return m_bTerminal; }

    // --- services ---
    void UpdateTitle();
    void PumpPendingMessages();
    Bool32 GetHexView() const { return m_session.hexView(); }
    void SetHexView(Bool32 hexView) { m_session.setHexView(hexView); }
    // The open port's life: the receive road, the dump and the log, the send queue.
    session::Session& session() { return m_session; }

    // The receive road: one chunk of received bytes to the dump and the screen.
    void ShowReceived(std::string_view received);
    // The control's event.
    void OnComm();

    long LoadSettings();
    void SaveSettings();

    // --- commands ---
    // Where a command comes from decides whether its state is asked first and how a failure
    // is reported.
    enum class Source { Menu, Key, ToolBar, Program };
    // Sends command `id` to the frame, as a menu item, key or button would.
    void SendCommand(unsigned id, Source source = Source::Program);
    // Asks the state rules about `ui`'s id; ids without a rule are enabled exactly when some
    // handler exists for them.
    void UpdateCommand(fw::CmdUI& ui);
    // Runs the state rules of the shown tool bar and status bar (what the idle time does).
    void OnIdleUpdate();
    // Runs the state rules of every item of `menu` (what opening it does).
    void UpdateMenu(QMenu* menu);
    QAction* menuAction(unsigned id) const;
    const std::vector<QMenu*>& menus() const { return m_menus; }

    void OnOpenDumpFile();
    // The open dump command's work once it has a path (full path, file system bytes): false
    // after the failure box, with no dump open.
    bool OpenDumpFile(const std::string& path, bool append = false);
    void OnCloseDumpFile();
    void OnOpenLogFile();
    void OnCloseLogFile();
    void OnLineOption(unsigned id);
    void OnUpdateLineOption(fw::CmdUI& ui);
    void OnCharacterSet(unsigned id);
    void OnUpdateCharacterSet(fw::CmdUI& ui);
    // Asks for the screen's size in KB; a number out of range gets a box and changes nothing.
    void OnScreenSize();
    // Asks for the terminal view's scrollback in lines, the same way; applied at once.
    void OnScrollbackLines();
    void OnZoom(unsigned id);
    // Offers the fixed-width fonts; the one chosen becomes the screen's normal size.
    void OnChooseFont();
    // Opens the find bar over the view shown; F3 and Shift+F3 go on while it is open.
    void OnFind();
    void CreateFindBar(QWidget* holder);
    void OnTransmitTextFile();
    void OnCommCommand(unsigned id);
    void OnSettingsCommand(unsigned id);
    void OnUpdateFileCommand(fw::CmdUI& ui);
    void OnUpdateCommCommand(fw::CmdUI& ui);
    void OnUpdateDTREnable(fw::CmdUI& ui);
    void OnUpdateHexView(fw::CmdUI& ui);
    void OnUpdateTerminal(fw::CmdUI& ui);
    void OnTerminalCommand(unsigned id);

    // The open port's device has gone away (`description` says so): wait for it, or say so in
    // a box when reconnecting is off.
    void OnDeviceLost(const std::string& description);
    // Ends a wait for a device that went away; the port stays closed.
    void StopWaitingForPort();
    // What the message pane shows when nothing else is to be said.
    std::string IdleMessage() const;
    void OnReconnect();
    void OnUpdateReconnect(fw::CmdUI& ui);
    // The send bar, the macros, Break, RTS and pacing.
    void OnSendingCommand(unsigned id);
    void OnUpdateSendingCommand(fw::CmdUI& ui);
    // Puts new macros in the bar and the menu.
    void SetMacros(const settings::Macros& macros);
    // New pacing for every paced send from now on.
    void SetPacing(const settings::Pacing& pacing);
    // Sends macro `index`: a text that cannot be read is reported, and nothing is sent.
    void SendMacro(int index);
    // Sends the clipboard's text: line breaks as Enter Sends says, paced; a long text or one
    // with control characters is confirmed first.
    void OnPasteToPort();
    // Text pasted into either view, by the one paste rule: line breaks as Enter Sends says,
    // paced, asked first when large or holding control characters; in UTF-8 or the code page.
    void PasteText(const QString& text, bool utf8);

    // File › Send File and File › Receive File: asks for the files or the folder, then starts.
    void OnFileTransfer(unsigned id);
    void OnUpdateFileTransfer(fw::CmdUI& ui);
    // True while a transfer holds the line: the other ways of sending wait.
    bool TransferRunning() const;
    // Starts `plan` with its window; false (after a box saying why, or when the user declined
    // to switch Xon/Xoff off) when it does not start.
    bool StartTransfer(session::TransferPlan plan);
    // The device has started a ZMODEM send: asks whether to receive it, and where.
    void OfferZmodemReceive();

    void OnClose();
    // True once the window has gone; the object follows when the event loop gets back to it.
    bool IsClosed() const { return m_closed; }

    // Tests make one step of the creation fail.
    enum class CreationFault { None, ToolBar, StatusBar, Control, Edit };
    static void SetCreationFault(CreationFault fault);

protected:
    int OnCreate();
    void OnActivate();

    bool event(QEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

private:
    struct StoredValues; // what the settings store keeps of the members
    static std::span<const fw::MapEntry<CMainFrame>> MessageMap();
    bool RouteToBase(unsigned id);
    bool HasHandler(unsigned id) const;
    void BuildMenu();
    void AddMenuItems(QMenu* menu, std::span<const res::MenuItem> items);
    void InstallAccelerators();
    bool TranslateAccelerator(QKeyEvent* key, std::span<const res::Accelerator> table);
    // The frame's own keys: in the screen the clipboard chords and the accelerators (other
    // widgets, text fields above all, keep theirs), F10, and Alt chords that no menu took.
    bool TranslateMenuKey(QKeyEvent* key, bool inScreen);
    void OpenMenuBar();
    void UpdateKeyIndicators();
    void ToggleBar(QWidget* bar);
    void DestroyFrame();
    void CreateSendBars();
    // Once the status bar and the session exist: where the bars' and the runs' signals go.
    void WireSending();
    // `items` as one run through the send queue, echoed with local echo.
    void SendRun(const transfer::SendItems& items, bool paced);
    // The file transfer's parts.
    bool ChooseReceiveTarget(session::TransferPlan& plan);
    bool ClearXonXoff(session::Protocol protocol);
    void RestoreXonXoff();
    void OnTransferProgress();
    void OnTransferEnded(const QString& summary, const QString& failure);
    void WatchForZmodem();

    // --- members, in this order ---
    Bool32 m_bCancel = 0; // stop request for the message pump and the transmission
    CStatusBar m_wndStatusBar;
    CToolBar m_wndToolBar;
    CTermEdit m_wndEdit;
    CCommCtrl m_wndComm;
    std::string m_strPhoneNumber; // the number last dialled in this run
    Bool32 m_bReconnect = 1;      // a port whose device went away is reopened when it returns
                                  // (the session waits for it)
    Bool32 m_bTimeStamps = 0;     // the screen shows when each line arrived
    // Sending beyond typed keys: the send bar and the macro bar, each alone in a tool bar at
    // the foot of the window (hidden until the View menu shows it), the twelve macros and the
    // pacing of what is sent.
    QToolBar* m_sendDock = nullptr;
    CSendBar* m_pSendBar = nullptr;
    QToolBar* m_macroDock = nullptr;
    CMacroBar* m_pMacroBar = nullptr;
    settings::Macros m_macros;
    settings::Pacing m_pacing;
    std::unique_ptr<CSendRuns> m_sendRuns; // what they send, as runs of send queue jobs
    CSendProgress* m_pSendProgress = nullptr; // in the status bar while a run is under way
    terminal::VtView m_wndTerm;   // the terminal-emulation view, shown instead of the screen
    Bool32 m_bTerminal = 0;       // the terminal view is the one shown

    // A file transfer under way (XMODEM, YMODEM, ZMODEM) and its window; the flow control it
    // switched off, given back when it ends (-1: none); where files were last received.
    std::unique_ptr<session::FileTransfer> m_transfer;
    CTransferDlg* m_pTransferDlg = nullptr;
    std::int32_t m_savedHandshaking = -1;
    std::string m_strReceiveFolder;
    protocol::ZmodemStartDetector m_zmodemStart;
    QStackedWidget* m_views = nullptr; // the screen and the terminal view, one shown
    terminal::FindBar* m_findBar = nullptr;
    std::vector<QMenu*> m_menus;
    std::vector<QAction*> m_menuActions;
    bool m_created = false;
    bool m_closed = false;
    session::Session m_session{m_wndComm, m_wndEdit, this};
};
