// Commands and command state of the main frame: which handler takes an id, what the state
// rules show for the port closed and open, the bar toggles, the line-signal queries, the
// swallowed accelerator keys and a control error inside a command.
#include "res/resource.h"
#include "settings/settingsdlg.h"
#include "settings/valuedlg.h"
#include "tests/support/fakedevice.h"
#include "tests/support/framefixture.h"
#include "tests/support/modaldriver.h"

#include <QClipboard>
#include <QLabel>
#include <QWheelEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QFontDatabase>
#include <QFontDialog>
#include <QtTest>

namespace {

struct ItemState {
    bool enabled = false;
    bool checked = false;
    QString text;
};

// The menu item of `id` as its menu shows it when it opens.
ItemState MenuItem(FrameFixture& f, unsigned id) {
    QAction* action = f->menuAction(id);
    if (!action) return {};
    for (QMenu* menu : f->menus())
        if (menu->actions().contains(action)) f->UpdateMenu(menu);
    return {action->isEnabled(), action->isChecked(), action->text()};
}

// The tool bar button of `id` after an idle pass.
bool ButtonEnabled(FrameFixture& f, unsigned id) {
    f.idle();
    QAction* button = f->toolBar().button(id);
    return button && button->isEnabled();
}

std::string Pane(FrameFixture& f, unsigned id) {
    f.idle();
    return f->statusPanes().GetPaneText(f->statusPanes().CommandToIndex(id));
}

QString PaneTip(FrameFixture& f, unsigned id) {
    f.idle();
    const int index = f->statusPanes().CommandToIndex(id);
    return f->statusPanes().widget()
        ->findChild<QLabel*>(QStringLiteral("pane%1").arg(index))
        ->toolTip();
}

QString Caption(FrameFixture& f) {
    f.idle();
    return f->windowTitle();
}

} // namespace

class TestCommands : public QObject {
    Q_OBJECT
private slots:
    void init();
    void stateFollowsPort_data();
    void stateFollowsPort();
    void dumpNameSwitchesDumpCommands();
    void echoForcesHexViewOff();
    void lineEnableToggles_data();
    void lineEnableToggles();
    void barToggles();
    void captionFollowsPortOnlyWithToolBar();
    void commRangeTakenBeforeSettingsRange();
    void disabledCommandDoesNotRun();
    void unknownIdsDoNothing();
    void signalQueries_data();
    void signalQueries();
    void acceleratorKeysSwallowed_data();
    void acceleratorKeysSwallowed();
    void f10OpensMenuBar();
    void textFieldsKeepTheirKeys();
    void findBarOverTheScreen();
    void screenSizePrompt_data();
    void screenSizePrompt();
    void characterSetAndSizeKept();
    void zoomAndFontKept();
    void controlErrorShownAndProgramGoesOn_data();
    void controlErrorShownAndProgramGoesOn();
};

void TestCommands::init() {
    PtyPair probe;
    if (!probe.isOpen()) QSKIP(probe.error().c_str());
}

void TestCommands::stateFollowsPort_data() {
    QTest::addColumn<bool>("open");
    QTest::newRow("port closed") << false;
    QTest::newRow("port open") << true;
}

void TestCommands::stateFollowsPort() {
    QFETCH(bool, open);
    FrameFixture f;
    QVERIFY(f.created());
    f.linkPort(7);
    if (open) f->SendCommand(ID_COMM_PORT_OPEN, CMainFrame::Source::ToolBar);
    QCOMPARE(f->comm().GetPortOpen(), open);
    QVERIFY(f.boxes.shown.empty());

    struct Rule {
        unsigned id;
        bool whenClosed, whenOpen;
    };
    // Menu items, then tool bar buttons (an id with both is checked in both places).
    const Rule menu[] = {
        {ID_FILE_OPEN_DUMP, true, true},
        {ID_FILE_CLOSE_DUMP, false, false},
        {ID_FILE_TRANSMIT_TEXT, false, true},
        {ID_COMM_PORT_OPENCLOSE, true, true},
        {ID_COMM_DIAL, false, true},
        {ID_COMM_HANGUP, false, true},
        {ID_SETTINGS_PORT, true, false},
        {ID_SETTINGS_INPUTLEN, true, true},
        {ID_SETTINGS_RTHRESHOLD, true, true},
        {ID_SETTINGS_STHRESHOLD, true, true},
        {ID_SETTINGS_PARITYREPLACE, true, true},
        {ID_SETTINGS_DTRENABLE, true, true},
        {ID_SETTINGS_RTSENABLE, true, true},
        {ID_SETTINGS_MACROS, true, true},
        {ID_SETTINGS_PACING, true, true},
        {ID_VIEW_SENDBAR, true, true},
        {ID_VIEW_MACROBAR, true, true},
        {ID_VIEW_HEX, true, true},
        {ID_VIEW_CLEAR, true, true},
        {ID_APP_ABOUT, true, true},
        {ID_APP_EXIT, true, true},
    };
    const Rule buttons[] = {
        {ID_FILE_OPEN_DUMP, true, true},      {ID_FILE_CLOSE_DUMP, false, false},
        {ID_COMM_PORT_OPEN, true, false},     {ID_COMM_PORT_CLOSE, false, true},
        {ID_FILE_TRANSMIT_TEXT, false, true}, {ID_COMM_DIAL, false, true},
        {ID_COMM_HANGUP, false, true},        {ID_VIEW_CLEAR, true, true},
        {ID_APP_ABOUT, true, true},
    };
    for (const Rule& rule : menu)
        QVERIFY2(MenuItem(f, rule.id).enabled == (open ? rule.whenOpen : rule.whenClosed),
                 qPrintable(QStringLiteral("menu item %1").arg(rule.id)));
    for (const Rule& rule : buttons)
        QVERIFY2(ButtonEnabled(f, rule.id) == (open ? rule.whenOpen : rule.whenClosed),
                 qPrintable(QStringLiteral("button %1").arg(rule.id)));

    QCOMPARE(MenuItem(f, ID_COMM_PORT_OPENCLOSE).text,
             open ? QStringLiteral("&Port Close") : QStringLiteral("&Port Open"));
    // A pseudo-terminal has no modem lines: the three signal panes stay blank either way.
    QCOMPARE(Pane(f, ID_INDICATOR_CD), std::string());
    QCOMPARE(Pane(f, ID_INDICATOR_CTS), std::string());
    QCOMPARE(Pane(f, ID_INDICATOR_DSR), std::string());
    QCOMPARE(Pane(f, ID_INDICATOR_HEX), std::string());
    QCOMPARE(Caption(f),
             open ? QStringLiteral("Wirelog - COM7,9600,n,8,1") : QStringLiteral("Wirelog"));
}

void TestCommands::dumpNameSwitchesDumpCommands() {
    FrameFixture f;
    QVERIFY(f.created());
    const std::string path = f.tempPath("line.dmp");
    QVERIFY(f->OpenDumpFile(path));
    QVERIFY(!MenuItem(f, ID_FILE_OPEN_DUMP).enabled);
    QVERIFY(MenuItem(f, ID_FILE_CLOSE_DUMP).enabled);
    QVERIFY(!ButtonEnabled(f, ID_FILE_OPEN_DUMP));
    QVERIFY(ButtonEnabled(f, ID_FILE_CLOSE_DUMP));
    QCOMPARE(Caption(f),
             QStringLiteral("Wirelog - dumping to \"%1\"").arg(QString::fromStdString(path)));
    f->OnCloseDumpFile();
    QVERIFY(MenuItem(f, ID_FILE_OPEN_DUMP).enabled);
    QVERIFY(!MenuItem(f, ID_FILE_CLOSE_DUMP).enabled);
    QCOMPARE(Caption(f), QStringLiteral("Wirelog"));
}

void TestCommands::echoForcesHexViewOff() {
    FrameFixture f;
    QVERIFY(f.created());
    f->SendCommand(ID_VIEW_HEX, CMainFrame::Source::Menu);
    QCOMPARE(f->GetHexView(), 1);
    QCOMPARE(Pane(f, ID_INDICATOR_HEX), std::string("HEX"));
    ItemState hex = MenuItem(f, ID_VIEW_HEX);
    QVERIFY(hex.enabled && hex.checked);

    // Opening the View menu alone is enough to turn hex view off once echo is on.
    f->screen().m_bEcho = 1;
    hex = MenuItem(f, ID_VIEW_HEX);
    QVERIFY(!hex.enabled);
    QVERIFY(!hex.checked);
    QCOMPARE(f->GetHexView(), 0);
    QCOMPARE(Pane(f, ID_INDICATOR_HEX), std::string());

    // The command is disabled now: sending it must not switch hex view back on.
    f->SendCommand(ID_VIEW_HEX, CMainFrame::Source::Menu);
    QCOMPARE(f->GetHexView(), 0);

    // The idle pass alone does it too.
    f->screen().m_bEcho = 0;
    f->SendCommand(ID_VIEW_HEX, CMainFrame::Source::Menu);
    QCOMPARE(Pane(f, ID_INDICATOR_HEX), std::string("HEX"));
    f->screen().m_bEcho = 1;
    QCOMPARE(Pane(f, ID_INDICATOR_HEX), std::string());
    QCOMPARE(f->GetHexView(), 0);
}

void TestCommands::lineEnableToggles_data() {
    QTest::addColumn<uint>("id");
    QTest::addColumn<int>("handshaking");
    QTest::addColumn<bool>("enabled");
    QTest::newRow("DTR") << uint(ID_SETTINGS_DTRENABLE) << 0 << true;
    QTest::newRow("DTR under RTS/CTS") << uint(ID_SETTINGS_DTRENABLE) << 2 << true;
    QTest::newRow("RTS") << uint(ID_SETTINGS_RTSENABLE) << 0 << true;
    QTest::newRow("RTS under Xon/Xoff") << uint(ID_SETTINGS_RTSENABLE) << 1 << true;
    // The driver drives RTS under RTS/CTS handshaking.
    QTest::newRow("RTS under RTS/CTS") << uint(ID_SETTINGS_RTSENABLE) << 2 << false;
    QTest::newRow("RTS under both") << uint(ID_SETTINGS_RTSENABLE) << 3 << false;
}

void TestCommands::lineEnableToggles() {
    QFETCH(uint, id);
    QFETCH(int, handshaking);
    QFETCH(bool, enabled);
    FrameFixture f;
    QVERIFY(f.created());
    f.linkPort(7);
    CCommCtrl& c = f->comm();
    c.SetHandshaking(handshaking);
    const auto held = [&c, id] {
        return id == ID_SETTINGS_DTRENABLE ? c.GetDTREnable() : c.GetRTSEnable();
    };
    for (const bool open : {false, true}) {
        if (open) f->SendCommand(ID_COMM_PORT_OPEN, CMainFrame::Source::ToolBar);
        QCOMPARE(c.GetPortOpen(), open);
        const bool before = held();
        QCOMPARE(MenuItem(f, id).checked, before);
        QCOMPARE(MenuItem(f, id).enabled, enabled);
        f->SendCommand(id, CMainFrame::Source::Menu);
        // A disabled item does nothing.
        QCOMPARE(held(), enabled ? !before : before);
        QCOMPARE(MenuItem(f, id).checked, held());
        f->SendCommand(id, CMainFrame::Source::Menu);
        QCOMPARE(held(), before);
    }
    QVERIFY(f.boxes.shown.empty());
}

void TestCommands::barToggles() {
    FrameFixture f;
    QVERIFY(f.created());
    QToolBar* toolBar = f->toolBar().widget();
    QStatusBar* statusBar = f->statusPanes().widget();
    QVERIFY(toolBar->isVisible() && statusBar->isVisible());
    QVERIFY(MenuItem(f, ID_VIEW_TOOLBAR).checked);
    QVERIFY(MenuItem(f, ID_VIEW_STATUS_BAR).checked);

    f->SendCommand(ID_VIEW_TOOLBAR, CMainFrame::Source::Menu);
    QVERIFY(!toolBar->isVisible());
    QVERIFY(!MenuItem(f, ID_VIEW_TOOLBAR).checked);
    QVERIFY(statusBar->isVisible());

    // Panes follow their rules only while the status bar is shown.
    f->SendCommand(ID_VIEW_STATUS_BAR, CMainFrame::Source::Menu);
    QVERIFY(!statusBar->isVisible());
    QVERIFY(!MenuItem(f, ID_VIEW_STATUS_BAR).checked);
    f->SendCommand(ID_VIEW_HEX, CMainFrame::Source::Menu);
    QCOMPARE(Pane(f, ID_INDICATOR_HEX), std::string());
    f->SendCommand(ID_VIEW_STATUS_BAR, CMainFrame::Source::Menu);
    QVERIFY(statusBar->isVisible());
    QCOMPARE(Pane(f, ID_INDICATOR_HEX), std::string("HEX"));

    f->SendCommand(ID_VIEW_TOOLBAR, CMainFrame::Source::Menu);
    QVERIFY(toolBar->isVisible());
    QVERIFY(MenuItem(f, ID_VIEW_TOOLBAR).checked);

    // The send bar and the macro bar start hidden; the send bar shown takes the keyboard.
    QVERIFY(!f->sendDock()->isVisible() && !f->macroDock()->isVisible());
    QVERIFY(!MenuItem(f, ID_VIEW_SENDBAR).checked && !MenuItem(f, ID_VIEW_MACROBAR).checked);
    f->SendCommand(ID_VIEW_SENDBAR, CMainFrame::Source::Menu);
    QVERIFY(f->sendDock()->isVisible());
    QVERIFY(MenuItem(f, ID_VIEW_SENDBAR).checked);
    QCOMPARE(f->focusWidget(), f->sendBar()->field());
    f->SendCommand(ID_VIEW_MACROBAR, CMainFrame::Source::Menu);
    QVERIFY(f->macroDock()->isVisible() && MenuItem(f, ID_VIEW_MACROBAR).checked);
    f->SendCommand(ID_VIEW_SENDBAR, CMainFrame::Source::Menu);
    QVERIFY(!f->sendDock()->isVisible() && !MenuItem(f, ID_VIEW_SENDBAR).checked);
    QVERIFY(f->macroDock()->isVisible());
}

void TestCommands::captionFollowsPortOnlyWithToolBar() {
    FrameFixture f;
    QVERIFY(f.created());
    f.linkPort(7);
    f->SendCommand(ID_VIEW_TOOLBAR, CMainFrame::Source::Menu);
    f->SendCommand(ID_COMM_PORT_OPENCLOSE, CMainFrame::Source::Menu);
    QVERIFY(f->comm().GetPortOpen());
    QCOMPARE(Caption(f), QStringLiteral("Wirelog"));
    f->SendCommand(ID_VIEW_TOOLBAR, CMainFrame::Source::Menu);
    QCOMPARE(Caption(f), QStringLiteral("Wirelog - COM7,9600,n,8,1"));
}

void TestCommands::commRangeTakenBeforeSettingsRange() {
    FrameFixture f;
    QVERIFY(f.created());
    PtyPair& pty = f.linkPort(7);

    // 32776 opens the port settings, not a value prompt.
    auto settingsShown = ModalDriver::whenShown<CSettingsDlg>([](QDialog* d) { d->reject(); });
    f->SendCommand(ID_SETTINGS_PORT, CMainFrame::Source::Menu);
    QVERIFY(*settingsShown);

    // 32775 toggles the port, both ways.
    f->SendCommand(ID_COMM_PORT_OPENCLOSE, CMainFrame::Source::Menu);
    QVERIFY(f->comm().GetPortOpen());

    // 32777 asks for a phone number (the dial), and a cancelled prompt sends nothing.
    QString prompt;
    auto dialShown = ModalDriver::whenShown<CValueDlg>([&](CValueDlg* d) {
        prompt = d->promptLabel()->text();
        static_cast<QDialog*>(d)->reject();
    });
    f->SendCommand(ID_COMM_DIAL, CMainFrame::Source::Menu);
    QVERIFY(*dialShown);
    QCOMPARE(prompt, QStringLiteral("Phone Number:"));

    // 32774, below the comm range, is the settings range's: the InputLen prompt.
    auto inputLenShown = ModalDriver::whenShown<CValueDlg>([&](CValueDlg* d) {
        prompt = d->promptLabel()->text();
        static_cast<QDialog*>(d)->reject();
    });
    f->SendCommand(ID_SETTINGS_INPUTLEN, CMainFrame::Source::Menu);
    QVERIFY(*inputLenShown);
    QCOMPARE(prompt, QStringLiteral("Enter InputLen value:"));

    f->SendCommand(ID_COMM_PORT_OPENCLOSE, CMainFrame::Source::Menu);
    QVERIFY(!f->comm().GetPortOpen());
    QCOMPARE(pty.readAvailable(), std::string());
    QVERIFY(f.boxes.shown.empty());
}

void TestCommands::disabledCommandDoesNotRun() {
    FrameFixture f;
    QVERIFY(f.created());
    f.linkPort(7);
    // All three port ids toggle; only their state rules keep Close from opening.
    f->SendCommand(ID_COMM_PORT_CLOSE, CMainFrame::Source::Menu);
    QVERIFY(!f->comm().GetPortOpen());
    f->SendCommand(ID_FILE_TRANSMIT_TEXT, CMainFrame::Source::Menu);
    QVERIFY(f.files.requests.empty());
    f->SendCommand(ID_FILE_CLOSE_DUMP, CMainFrame::Source::Key);

    f->SendCommand(ID_COMM_PORT_OPEN, CMainFrame::Source::ToolBar);
    QVERIFY(f->comm().GetPortOpen());
    f->SendCommand(ID_COMM_PORT_OPEN, CMainFrame::Source::ToolBar);
    QVERIFY(f->comm().GetPortOpen());
    auto shown = ModalDriver::whenShown<CSettingsDlg>([](QDialog* d) { d->reject(); }, 500);
    f->SendCommand(ID_SETTINGS_PORT, CMainFrame::Source::Menu);
    QVERIFY(!*shown);
    QVERIFY(f.boxes.shown.empty());
}

void TestCommands::unknownIdsDoNothing() {
    FrameFixture f;
    QVERIFY(f.created());
    f->screen().OnChar('a', 1, 0);
    for (const unsigned id : {0u, 1u, 32770u, 32787u, 32827u, 40000u, unsigned(ID_EDIT_COPY),
                              unsigned(ID_FILE_NEW), unsigned(ID_NEXT_PANE)}) {
        f->SendCommand(id, CMainFrame::Source::Menu);
        f->SendCommand(id, CMainFrame::Source::ToolBar);
    }
    QVERIFY(f.boxes.shown.empty());
    QCOMPARE(f.screen(), std::string("a"));
    QVERIFY(!f->comm().GetPortOpen());
    QVERIFY(f->isVisible());
}

void TestCommands::signalQueries_data() {
    QTest::addColumn<uint>("id");
    QTest::addColumn<int>("line"); // 0 CD, 1 CTS, 2 DSR
    QTest::addColumn<bool>("holding");
    QTest::addColumn<QString>("text");
    QTest::newRow("CD held") << uint(ID_QUERY_CD) << 0 << true << "CDHolding is TRUE";
    QTest::newRow("CD low") << uint(ID_QUERY_CD) << 0 << false << "CDHolding is FALSE";
    QTest::newRow("CTS held") << uint(ID_QUERY_CTS) << 1 << true << "CTSHolding is TRUE";
    QTest::newRow("CTS low") << uint(ID_QUERY_CTS) << 1 << false << "CTSHolding is FALSE";
    QTest::newRow("DSR held") << uint(ID_QUERY_DSR) << 2 << true << "DSRHolding is TRUE";
    QTest::newRow("DSR low") << uint(ID_QUERY_DSR) << 2 << false << "DSRHolding is FALSE";
}

void TestCommands::signalQueries() {
    QFETCH(uint, id);
    QFETCH(int, line);
    QFETCH(bool, holding);
    QFETCH(QString, text);
    FrameFixture f;
    QVERIFY(f.created());
    // The asked line as the row says, the other two the other way.
    auto script = std::make_shared<FakeDevice>();
    script->lines = comm::ModemLines{};
    bool comm::ModemLines::*const lines[] = {&comm::ModemLines::cd, &comm::ModemLines::cts,
                                             &comm::ModemLines::dsr};
    for (int i = 0; i < 3; ++i)
        (*script->lines).*lines[i] = (i == line) == holding;
    f->comm().control()->setDeviceOpener(FakeOpener(script));
    const unsigned panes[] = {ID_INDICATOR_CD, ID_INDICATOR_CTS, ID_INDICATOR_DSR};
    const std::string lit[] = {"CD ", "CTS", "DSR"};
    const QString names[] = {"Carrier Detect (CD)", "Clear To Send (CTS)", "Data Set Ready (DSR)"};

    for (const bool open : {false, true}) {
        f.boxes.shown.clear();
        if (open) f->SendCommand(ID_COMM_PORT_OPEN, CMainFrame::Source::ToolBar);
        QCOMPARE(f->comm().GetPortOpen(), open);
        f->SendCommand(id);
        QCOMPARE(f.boxes.shown.size(), std::size_t(1));
        const fw::MessageBoxRequest& box = f.boxes.shown.front();
        // A closed port holds no line.
        QCOMPARE(QString::fromStdString(box.text),
                 open ? text : QString(text).replace("TRUE", "FALSE"));
        QCOMPARE(box.caption, std::string("Wirelog"));
        QCOMPARE(box.buttons, fw::Buttons::Ok);
        QCOMPARE(box.icon, fw::Icon::Exclamation);
        // Each signal pane is lit exactly while its line is held.
        for (int i = 0; i < 3; ++i) {
            const bool on = open && ((i == line) == holding);
            QCOMPARE(Pane(f, panes[i]), on ? lit[i] : std::string());
            // A blank pane still says what it is and that its line is off.
            const QString tip = PaneTip(f, panes[i]);
            QVERIFY2(tip.contains(names[i]) && tip.endsWith(on ? ": on" : ": off"),
                     qPrintable(tip));
        }
    }
}

void TestCommands::acceleratorKeysSwallowed_data() {
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    const int ctrl = Qt::ControlModifier, shift = Qt::ShiftModifier, alt = Qt::AltModifier;
    QTest::newRow("Ctrl+N") << int(Qt::Key_N) << ctrl;
    QTest::newRow("Ctrl+O") << int(Qt::Key_O) << ctrl;
    QTest::newRow("Ctrl+S") << int(Qt::Key_S) << ctrl;
    QTest::newRow("Ctrl+Z") << int(Qt::Key_Z) << ctrl;
    QTest::newRow("Ctrl+X") << int(Qt::Key_X) << ctrl;
    QTest::newRow("Ctrl+C") << int(Qt::Key_C) << ctrl;
    QTest::newRow("Ctrl+V") << int(Qt::Key_V) << ctrl;
    QTest::newRow("Alt+Backspace") << int(Qt::Key_Backspace) << alt;
    QTest::newRow("Shift+Delete") << int(Qt::Key_Delete) << shift;
    QTest::newRow("Ctrl+Insert") << int(Qt::Key_Insert) << ctrl;
    QTest::newRow("Shift+Insert") << int(Qt::Key_Insert) << shift;
    QTest::newRow("F6") << int(Qt::Key_F6) << 0;
    QTest::newRow("Shift+F6") << int(Qt::Key_F6) << shift;
    // Alt with a key that no menu takes is a menu key all the same.
    QTest::newRow("Alt+Q") << int(Qt::Key_Q) << alt;
    QTest::newRow("Alt+1") << int(Qt::Key_1) << alt;
    QTest::newRow("Alt+Enter") << int(Qt::Key_Return) << alt;
    QTest::newRow("F10") << int(Qt::Key_F10) << 0;
}

void TestCommands::acceleratorKeysSwallowed() {
    QFETCH(int, key);
    QFETCH(int, modifiers);
    FrameFixture f;
    QVERIFY(f.created());
    PtyPair& pty = f.linkPort(7);
    const auto press = [&] {
        QTest::keyClick(&f->screen(), Qt::Key(key), Qt::KeyboardModifiers(modifiers));
    };

    // Port closed: a typed character would show on the screen.
    f->screen().setFocus();
    press();
    QTest::keyClick(&f->screen(), Qt::Key_Q);
    QCOMPARE(f.screen(), std::string("q"));

    // Port open: a typed character goes to the wire; the first byte there must be the 'q'.
    f->SendCommand(ID_COMM_PORT_OPEN, CMainFrame::Source::ToolBar);
    QVERIFY(f->comm().GetPortOpen());
    press();
    QTest::keyClick(&f->screen(), Qt::Key_Q);
    QCOMPARE(pty.read(1, 3000), std::string("q"));
    QTest::qWait(20);
    QCOMPARE(pty.readAvailable(), std::string());
    QCOMPARE(f.screen(), std::string("q"));
    QVERIFY(f.boxes.shown.empty());
}

void TestCommands::textFieldsKeepTheirKeys() {
    FrameFixture f;
    QVERIFY(f.openPort(CMainFrame::Source::ToolBar));
    PtyPair& pty = f.pty();
    QClipboard* clipboard = QApplication::clipboard();
    // In the screen Ctrl+Shift+C copies the selection, and nothing goes to the device.
    f->ShowReceived("hello");
    f->screen().selectAll();
    clipboard->clear();
    QTest::keyClick(&f->screen(), Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(clipboard->text(), QStringLiteral("hello"));
    // In the send bar's field the editing keys edit, none of them reaches the device.
    f->SendCommand(ID_VIEW_SENDBAR, CMainFrame::Source::Menu);
    QLineEdit* field = f->sendBar()->field();
    QTest::keyClicks(field, "abc");
    QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(field, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(clipboard->text(), QStringLiteral("abc"));
    QTest::keyClick(field, Qt::Key_End);
    QTest::keyClick(field, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(field->text(), QStringLiteral("abcabc"));
    QTest::keyClick(field, Qt::Key_Insert, Qt::ShiftModifier);
    QCOMPARE(field->text(), QStringLiteral("abcabcabc"));
    QTest::keyClick(field, Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(field->text(), QStringLiteral("abcabc"));
    QTest::keyClick(field, Qt::Key_Backspace, Qt::AltModifier);
    QTest::qWait(20);
    QCOMPARE(pty.readAvailable(), std::string());
    QVERIFY(f.boxes.shown.empty());
}

void TestCommands::findBarOverTheScreen() {
    FrameFixture f;
    QVERIFY(f.openPort(CMainFrame::Source::ToolBar));
    PtyPair& pty = f.pty();
    f->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&f.frame()));
    f->ShowReceived("boot one\r\nBoot two\r\n");
    // Ctrl+F in the screen is still the key that sends 0x06.
    f->screen().setFocus();
    QKeyEvent ctrlF(QEvent::KeyPress, Qt::Key_F, Qt::ControlModifier, QStringLiteral("\x06"));
    QApplication::sendEvent(&f->screen(), &ctrlF);
    std::string sent;
    QTRY_VERIFY_WITH_TIMEOUT((sent += pty.readAvailable()) == "\x06", 2000);
    f->SendCommand(ID_VIEW_FIND, CMainFrame::Source::Menu);
    terminal::FindBar& bar = *f->findBar();
    QVERIFY(bar.isVisible());
    QTest::keyClicks(bar.field(), "boot");
    bar.refreshNow();
    QCOMPARE(bar.status(), QStringLiteral("1 of 2"));
    QTest::keyClick(bar.field(), Qt::Key_Return);
    QCOMPARE(bar.status(), QStringLiteral("2 of 2"));
    QTest::keyClick(bar.field(), Qt::Key_F3, Qt::ShiftModifier);
    QCOMPARE(bar.status(), QStringLiteral("1 of 2"));
    // Data that trims both matches away: the count follows.
    f->ShowReceived(std::string(20000, '.'));
    f->ShowReceived("."); // the screen is trimmed before a chunk is added
    bar.refreshNow();
    QCOMPARE(bar.status(), QStringLiteral("Not found"));
    // Escape closes the bar and gives the screen its focus; no key of the field was sent.
    QTest::keyClick(bar.field(), Qt::Key_Escape);
    QVERIFY(bar.isHidden());
    QTRY_VERIFY_WITH_TIMEOUT(f->screen().hasFocus(), 1000);
    QTest::qWait(20);
    QCOMPARE(pty.readAvailable(), std::string());
}

void TestCommands::f10OpensMenuBar() {
    // F10 opens the menu bar; the Escapes that leave it go nowhere else.
    FrameFixture f;
    QVERIFY(f.openPort(CMainFrame::Source::ToolBar));
    PtyPair& pty = f.pty();
    f->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&f.frame()));
    f->screen().setFocus();
    QTest::keyClick(&f->screen(), Qt::Key_F10);
    QCOMPARE(QApplication::activePopupWidget(), f->menus().front());
    // Escape closes the menu, a second one leaves the bar.
    QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_Escape);
    QTRY_VERIFY_WITH_TIMEOUT(!QApplication::activePopupWidget(), 3000);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    QTRY_VERIFY_WITH_TIMEOUT(f->screen().hasFocus(), 3000);
    QVERIFY(!f->menuBar()->activeAction());
    QTest::keyClick(&f->screen(), Qt::Key_Q);
    QCOMPARE(pty.read(1, 3000), std::string("q"));
    QVERIFY(f.boxes.shown.empty());
}

void TestCommands::screenSizePrompt_data() {
    QTest::addColumn<int>("command"); // the screen's size in KB or the terminal's scrollback
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("size"); // after OK; 64 is the size before
    QTest::addColumn<bool>("refused");
    const int kb = ID_SETTINGS_SCREENSIZE, lines = ID_SETTINGS_SCROLLBACK;
    QTest::newRow("taken whole, not as 16 bits") << kb << "70000" << 70000 << false;
    QTest::newRow("largest") << kb << "262144" << 262144 << false;
    QTest::newRow("smallest, blanks around") << kb << " 16 " << 16 << false;
    QTest::newRow("too small") << kb << "15" << 64 << true;
    QTest::newRow("too large") << kb << "262145" << 64 << true;
    QTest::newRow("negative") << kb << "-16" << 64 << true;
    QTest::newRow("not a number") << kb << "1e3" << 64 << true;
    QTest::newRow("empty") << kb << "" << 64 << true;
    QTest::newRow("beyond 64 bits") << kb << "99999999999999999999999" << 64 << true;
    QTest::newRow("scrollback taken whole") << lines << "70000" << 70000 << false;
    QTest::newRow("scrollback largest") << lines << "1000000" << 1000000 << false;
    QTest::newRow("scrollback smallest") << lines << " 1" << 1 << false;
    QTest::newRow("scrollback 0") << lines << "0" << 64 << true;
    QTest::newRow("scrollback too large") << lines << "1000001" << 64 << true;
    QTest::newRow("scrollback 16 bits of too large") << lines << "1048577" << 64 << true;
    QTest::newRow("scrollback not a number") << lines << "10k" << 64 << true;
}

void TestCommands::screenSizePrompt() {
    QFETCH(int, command);
    QFETCH(QString, typed);
    QFETCH(int, size);
    QFETCH(bool, refused);
    FrameFixture f;
    QVERIFY(f.created());
    const bool scrollback = command == ID_SETTINGS_SCROLLBACK;
    f->screen().setScreenSizeKB(64);
    f->terminalView().setScrollbackLines(64);
    std::string lines;
    for (int i = 0; i < 200; ++i) lines += "line " + std::to_string(i) + "\r\n";
    f->terminalView().feed(lines);
    QCOMPARE(f->terminalView().screen().scrollback().size(), std::size_t{64});
    const std::string newest = f->terminalView().screen().scrollback().text(63);
    QString shownValue;
    auto shown = ModalDriver::whenShown<CValueDlg>([&](CValueDlg* d) {
        shownValue = d->valueField()->text();
        d->valueField()->setText(typed);
        static_cast<QDialog*>(d)->accept();
    });
    f->SendCommand(static_cast<unsigned>(command), CMainFrame::Source::Menu);
    QVERIFY(*shown);
    QCOMPARE(shownValue, QStringLiteral("64"));
    QCOMPARE(scrollback ? f->terminalView().scrollbackLines() : f->screen().screenSizeKB(),
             std::size_t(size));
    // The other view's size is left alone.
    QCOMPARE(scrollback ? f->screen().screenSizeKB() : f->terminalView().scrollbackLines(),
             std::size_t{64});
    // Applied at once: a smaller scrollback has dropped its oldest lines already.
    const auto& kept = f->terminalView().screen().scrollback();
    QCOMPARE(kept.size(), scrollback ? std::min<std::size_t>(size, 64) : 64);
    QCOMPARE(kept.text(kept.size() - 1), newest); // the oldest went, not the newest
    QCOMPARE(f.boxes.shown.size(), std::size_t(refused ? 1 : 0));
    if (refused)
        QVERIFY(f.boxes.shown.front().text.starts_with(
            scrollback ? "Invalid number of scrollback lines!" : "Invalid screen size!"));
}

void TestCommands::characterSetAndSizeKept() {
    std::string store;
    {
        FrameFixture f;
        QVERIFY(f.created());
        // Without a stored value the locale decides; the fixture's is not UTF-8.
        QCOMPARE(f->screen().characterSet(), terminal::CharacterSet::Western);
        f->SendCommand(ID_SETTINGS_CHARSET_UTF8, CMainFrame::Source::Menu);
        QCOMPARE(f->screen().characterSet(), terminal::CharacterSet::Utf8);
        QVERIFY(f->menuAction(ID_SETTINGS_CHARSET_UTF8));
        // The state rules run as the submenu opens.
        const QList<QObject*> holders =
            f->menuAction(ID_SETTINGS_CHARSET_UTF8)->associatedObjects();
        QVERIFY(!holders.isEmpty() && qobject_cast<QMenu*>(holders.front()));
        f->UpdateMenu(qobject_cast<QMenu*>(holders.front()));
        QVERIFY(f->menuAction(ID_SETTINGS_CHARSET_UTF8)->isChecked());
        QVERIFY(!f->menuAction(ID_SETTINGS_CHARSET_WESTERN)->isChecked());
        f->screen().setScreenSizeKB(70000);
        f->SaveSettings();
        store = f.storeText();
    }
    QVERIFY(store.find("\"CharacterSet\"=dword:00000001") != std::string::npos);
    QVERIFY(store.find("\"ScreenSize\"=dword:00011170") != std::string::npos);
    FrameFixture again(store);
    QVERIFY(again.created());
    QCOMPARE(again->screen().characterSet(), terminal::CharacterSet::Utf8);
    QCOMPARE(again->screen().screenSizeKB(), std::size_t{70000});
}

void TestCommands::zoomAndFontKept() {
    std::string store;
    int normal = 0;
    {
        FrameFixture f;
        QVERIFY(f.created());
        CTermEdit& screen = f->screen();
        QFont font = screen.baseFont();
        font.setFamily(QStringLiteral("A Family Name Longer Than Nineteen"));
        font.setPointSize(11);
        screen.setBaseFont(font);
        normal = screen.font().pointSize();
        QCOMPARE(normal, 11);
        const int rowsBefore = int(screen.visibleRows().size());
        f->SendCommand(ID_VIEW_ZOOM_IN, CMainFrame::Source::Menu);
        QCOMPARE(screen.font().pointSize(), 12);
        // Ctrl+wheel: a notch up is one more point; without Ctrl the wheel scrolls.
        QWheelEvent wheel(QPointF(5, 5), screen.mapToGlobal(QPointF(5, 5)), QPoint(),
                          QPoint(0, 120), Qt::NoButton, Qt::ControlModifier, Qt::NoScrollPhase,
                          false);
        QApplication::sendEvent(screen.viewport(), &wheel);
        QCOMPARE(screen.font().pointSize(), 13);
        QVERIFY(int(screen.visibleRows().size()) <= rowsBefore);
        // The terminal view shows the same font, and Ctrl+wheel over it zooms both.
        QCOMPARE(f->terminalView().font().pointSize(), 13);
        QApplication::sendEvent(f->terminalView().viewport(), &wheel);
        QCOMPARE(screen.font().pointSize(), 14);
        QCOMPARE(f->terminalView().font().pointSize(), 14);
        QCOMPARE(f->terminalView().font().family(), screen.font().family());
        f->SendCommand(ID_VIEW_ZOOM_OUT, CMainFrame::Source::Menu);
        for (int i = 0; i < 40; ++i)
            f->SendCommand(ID_VIEW_ZOOM_OUT, CMainFrame::Source::Menu);
        QCOMPARE(screen.font().pointSize(), terminal::kSmallestPointSize);
        f->SendCommand(ID_VIEW_ZOOM_NORMAL, CMainFrame::Source::Menu);
        QCOMPARE(screen.font().pointSize(), 11);
        f->SendCommand(ID_VIEW_ZOOM_IN, CMainFrame::Source::Menu);
        f->SaveSettings();
        store = f.storeText();
    }
    QVERIFY(store.find("\"FontSize\"=dword:0000000c") != std::string::npos);
    FrameFixture again(store);
    QVERIFY(again.created());
    QCOMPARE(again->screen().font().pointSize(), 12);
    QCOMPARE(again->screen().font().family(), QStringLiteral("A Family Name Longer Than Nineteen"));
    QCOMPARE(again->terminalView().font().pointSize(), 12);

    // View > Font... offers fixed-width fonts only; the one chosen is both views' at no zoom.
    bool monospacedOnly = false;
    const auto chosen = ModalDriver::whenShown<QFontDialog>([&](QFontDialog* dialog) {
        monospacedOnly = dialog->testOption(QFontDialog::MonospacedFonts);
        QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
        font.setPointSize(15);
        dialog->setCurrentFont(font);
        dialog->accept();
    });
    again->SendCommand(ID_VIEW_FONT, CMainFrame::Source::Menu);
    QVERIFY(*chosen);
    QVERIFY(monospacedOnly);
    QCOMPARE(again->screen().font().pointSize(), 15);
    QCOMPARE(again->screen().zoom(), 0);
    QCOMPARE(again->terminalView().font().pointSize(), 15);
    QCOMPARE(again->terminalView().font().family(), again->screen().font().family());
}

void TestCommands::controlErrorShownAndProgramGoesOn_data() {
    QTest::addColumn<int>("source");
    QTest::newRow("tool bar") << int(CMainFrame::Source::ToolBar);
    QTest::newRow("menu") << int(CMainFrame::Source::Menu);
}

void TestCommands::controlErrorShownAndProgramGoesOn() {
    QFETCH(int, source);
    FrameFixture f;
    QVERIFY(f.created());
    const std::string missing = f.tempPath("no-such-tty");
    QVERIFY(f.ports().link(7, missing));
    f->comm().SetCommPort(7);
    const unsigned id =
        source == int(CMainFrame::Source::Menu) ? ID_COMM_PORT_OPENCLOSE : ID_COMM_PORT_OPEN;
    f->SendCommand(id, CMainFrame::Source(source));

    QCOMPARE(f.boxes.shown.size(), std::size_t(1));
    const fw::MessageBoxRequest& box = f.boxes.shown.front();
    QCOMPARE(box.icon, fw::Icon::Stop);
    QCOMPARE(box.buttons, fw::Buttons::Ok);
    QCOMPARE(box.caption, std::string("Wirelog"));
    QCOMPARE(box.text,
             "COM7 (" + missing + ") does not exist. Check that the device is connected.");

    // Everything shows the closed port, and the next open works.
    QVERIFY(!f->comm().GetPortOpen());
    QVERIFY(ButtonEnabled(f, ID_COMM_PORT_OPEN));
    QVERIFY(!ButtonEnabled(f, ID_COMM_PORT_CLOSE));
    QCOMPARE(MenuItem(f, ID_COMM_PORT_OPENCLOSE).text, QStringLiteral("&Port Open"));
    QCOMPARE(Caption(f), QStringLiteral("Wirelog"));
    f.linkPort(7);
    f->SendCommand(id, CMainFrame::Source(source));
    QVERIFY(f->comm().GetPortOpen());
    QCOMPARE(f.boxes.shown.size(), std::size_t(1));
}

QTEST_MAIN(TestCommands)
#include "tst_commands.moc"
