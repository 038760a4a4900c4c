// The settings kept between runs: what LoadSettings takes from the store file and what
// SaveSettings writes into it, through a real frame on a temporary store.
#include "res/resource.h"
#include "tests/support/framefixture.h"

#include <QDir>
#include <QPushButton>
#include <QtTest>

namespace {

const std::string kSection = "[HKEY_USERS\\.DEFAULT\\Software\\K-W\\Wirelog\\Settings]\n";
const std::string kHead = "REGEDIT4\n\n" + kSection;

// The store with these value lines under the settings key.
std::string Store(const std::string& lines) {
    return kHead + lines + "\n";
}

// The value lines of the settings key in a store file.
QStringList ValueLines(const std::string& store) {
    const auto at = store.find(kSection);
    if (at == std::string::npos) return {"<no settings key>"};
    const auto begin = at + kSection.size();
    return QString::fromStdString(store.substr(begin, store.find("\n[", begin) - begin))
        .split('\n', Qt::SkipEmptyParts);
}

// "hex:" bytes of a text.
std::string Hex(const std::string& text) {
    std::string out;
    for (unsigned char c : text) {
        if (!out.empty()) out += ',';
        out += QByteArray(1, char(c)).toHex().toStdString();
    }
    return out;
}

// Every setting as text, by its stored name.
QString Setting(CMainFrame& f, const QString& name) {
    CCommCtrl& c = f.comm();
    if (name == "Echo") return QString::number(f.screen().m_bEcho);
    if (name == "DTREnable") return QString::number(c.GetDTREnable());
    if (name == "RTSEnable") return QString::number(c.GetRTSEnable());
    if (name == "HEXViewing") return QString::number(f.GetHexView());
    if (name == "CommPort") return QString::number(c.GetCommPort());
    if (name == "InputLen") return QString::number(c.GetInputLen());
    if (name == "RThreshold") return QString::number(c.GetRThreshold());
    if (name == "SThreshold") return QString::number(c.GetSThreshold());
    if (name == "Handshaking") return QString::number(c.GetHandshaking());
    if (name == "Reconnect") return QString::number(f.GetReconnect());
    if (name == "Settings") return QString::fromStdString(c.GetSettings());
    if (name == "ParityReplace") return QString::fromStdString(c.GetParityReplace());
    if (name == "TimeStamps") return QString::number(f.GetTimeStamps());
    if (name == "EnterSends") return QString::number(static_cast<int>(f.screen().m_enterSends));
    if (name == "LineBreaks") return QString::number(static_cast<int>(f.session().lineBreaks()));
    if (name == "SendBar") return QString::number(f.sendDock()->isVisibleTo(&f));
    if (name == "MacroBar") return QString::number(f.macroDock()->isVisibleTo(&f));
    if (name == "SendLineEnd") return QString::number(static_cast<int>(f.sendBar()->lineEnding()));
    if (name == "SendHex") return QString::number(f.sendBar()->isHex());
    if (name == "PaceChar") return QString::number(f.pacing().charMs);
    if (name == "PaceLine") return QString::number(f.pacing().lineMs);
    if (name == "BackspaceSends") return QString::number(static_cast<int>(f.terminalView().backspaceSends()));
    if (name == "ScrollbackLines") return QString::number(f.terminalView().scrollbackLines());
    return QStringLiteral("?unknown setting");
}

const QStringList kNames = {"Echo",     "DTREnable",     "RTSEnable",   "HEXViewing",  "CommPort",
                            "InputLen", "RThreshold",    "SThreshold",  "Handshaking", "Reconnect",
                            "Settings", "ParityReplace", "TimeStamps",  "EnterSends",  "LineBreaks",
                            "SendBar",  "MacroBar",      "SendLineEnd", "SendHex",     "PaceChar",
                            "PaceLine", "BackspaceSends", "ScrollbackLines"};
// What a frame starts with when the store holds nothing.
const QStringList kStart = {"0", "1", "1", "0", "1", "0", "1", "0", "0", "1", "9600,n,8,1",
                            "?", "0", "0", "0", "0", "0", "1", "0", "0", "0", "0", "10000"};

// The stored lines of the send history and the macros, as a store with nothing in them has.
QStringList EmptySendTexts() {
    QStringList lines;
    for (int i = 1; i <= 100; ++i)
        lines << QStringLiteral("\"SendHistory%1\"=\"\"").arg(i);
    for (int i = 1; i <= 12; ++i)
        lines << QStringLiteral("\"MacroName%1\"=\"\"").arg(i)
              << QStringLiteral("\"MacroText%1\"=\"\"").arg(i);
    return lines;
}

} // namespace

class TestPersistence : public QObject {
    Q_OBJECT
private slots:
    void noKeyKeepsDefaults();
    void load_data();
    void load();
    void damagedStoreDoesNotStopStartUp();
    void saveWritesEveryValue();
    void roundTrip();
    void saveNormalisesAndCuts_data();
    void saveNormalisesAndCuts();
    void echoClearsLoadedHexViewBeforeSave();
    void sendTextsRoundTrip();
    void damagedSendTextsAreSkipped();
};

void TestPersistence::noKeyKeepsDefaults() {
    // A store that holds other keys only.
    FrameFixture f(std::string("REGEDIT4\n\n[HKEY_USERS\\.DEFAULT\\Software\\Other]\n"
                               "\"RThreshold\"=dword:00000007\n\n"));
    QVERIFY(f.created());
    for (int i = 0; i < kNames.size(); ++i)
        QCOMPARE(Setting(f.frame(), kNames[i]), kStart[i]);
    QVERIFY(f->LoadSettings() != 0);
}

void TestPersistence::load_data() {
    QTest::addColumn<QString>("lines");
    // name=value pairs that must differ from the start values; all others keep theirs.
    // "Status=" is the message pane's text after loading ("Ready" when not given).
    QTest::addColumn<QStringList>("changed");
    const auto row = [](const char* name, const std::string& lines, QStringList changed) {
        QTest::newRow(name) << QString::fromStdString(lines) << changed;
    };
    row("RThreshold only", "\"RThreshold\"=dword:00000005\n", {"RThreshold=5"});
    row("low 16 bits of CommPort", "\"CommPort\"=dword:00010003\n", {"CommPort=3"});
    row("CommPort -1 is refused, the rest loads",
        "\"CommPort\"=dword:ffffffff\n\"InputLen\"=dword:0000002a\n\"ParityReplace\"=hex:23\n",
        {"InputLen=42", "ParityReplace=#"});
    row("low 16 bits of InputLen", "\"InputLen\"=dword:ffff0040\n", {"InputLen=64"});
    row("Handshaking takes all 32 bits", "\"Handshaking\"=dword:00010002\n", {});
    row("Handshaking 3", "\"Handshaking\"=dword:00000003\n", {"Handshaking=3"});
    row("booleans: non-zero is true, 0 false",
        "\"DTREnable\"=dword:00000002\n\"RTSEnable\"=dword:00000000\n", {"RTSEnable=0"});
    row("DTR off", "\"DTREnable\"=dword:00000000\n", {"DTREnable=0"});
    row("Reconnect off", "\"Reconnect\"=dword:00000000\n", {"Reconnect=0"});
    row("Reconnect: non-zero is on", "\"Reconnect\"=dword:00000100\n", {});
    row("own flags as stored", "\"Echo\"=dword:00000002\n\"HEXViewing\"=dword:00000007\n",
        {"Echo=2", "HEXViewing=7"});
    row("type ignored", "\"RThreshold\"=hex:06,00,00,00\n\"Settings\"=\"19200,o,7,2\"\n",
        {"RThreshold=6", "Settings=19200,o,7,2"});
    row("numbers shorter than 4 bytes skipped",
        "\"RThreshold\"=hex(4):05,00\n\"InputLen\"=hex:07\n\"SThreshold\"=dword:00000004\n",
        {"SThreshold=4"});
    row("19-byte string loads whole", "\"ParityReplace\"=hex:" + Hex("abcdefghijklmnopqrs") + "\n",
        {"ParityReplace=abcdefghijklmnopqrs"});
    row("20-byte string skipped", "\"ParityReplace\"=hex:" + Hex("abcdefghijklmnopqrst") + "\n",
        {});
    row("20-byte Settings skipped",
        "\"Settings\"=hex:" + Hex("38400,e,7,2" + std::string(9, ' ')) +
            "\n\"ParityReplace\"=hex:\n",
        {"ParityReplace="});
    row("Settings", "\"Settings\"=hex:" + Hex("38400,E,7,2") + "\n", {"Settings=38400,e,7,2"});
    row("Settings refused, ParityReplace still loads",
        "\"Settings\"=hex:" + Hex("fast,x,9,3") + "\n\"ParityReplace\"=hex:2a\n",
        {"ParityReplace=*", "Status=Settings \"fast,x,9,3\" is not valid: the baud rate must be "
                            "a whole number from 1 to 4000000. Using 9600,n,8,1."});
    row("1.5 stop bits with 5 data bits", "\"Settings\"=hex:" + Hex("9600,n,5,1.5") + "\n",
        {"Settings=9600,n,5,1.5"});
    row("1.5 stop bits with 8 data bits refused, and said",
        "\"Settings\"=hex:" + Hex("9600,n,8,1.5") + "\n",
        {"Status=Settings \"9600,n,8,1.5\" is not valid: 1.5 stop bits can only be set with 5 "
         "data bits. Using 9600,n,8,1."});
    row("text up to the first zero byte", "\"ParityReplace\"=hex:41,42,00,43\n",
        {"ParityReplace=AB"});
    row("line options",
        "\"TimeStamps\"=dword:00000005\n\"EnterSends\"=dword:00000002\n"
        "\"LineBreaks\"=dword:00000001\n",
        {"TimeStamps=1", "EnterSends=2", "LineBreaks=1"});
    row("line options out of range keep their defaults",
        "\"EnterSends\"=dword:00000003\n\"LineBreaks\"=dword:ffffffff\n", {});
    row("send options",
        "\"SendBar\"=dword:00000001\n\"MacroBar\"=dword:00000001\n"
        "\"SendLineEnd\"=dword:00000003\n\"SendHex\"=dword:00000001\n"
        "\"PaceChar\"=dword:00002710\n\"PaceLine\"=dword:00000064\n",
        {"SendBar=1", "MacroBar=1", "SendLineEnd=3", "SendHex=1", "PaceChar=10000",
         "PaceLine=100"});
    row("send options out of range keep their defaults",
        "\"SendLineEnd\"=dword:00000004\n\"PaceChar\"=dword:00002711\n"
        "\"PaceLine\"=dword:ffffffff\n",
        {});
    row("scrollback taken whole", "\"ScrollbackLines\"=dword:000f4240\n",
        {"ScrollbackLines=1000000"});
    row("scrollback of one line", "\"ScrollbackLines\"=dword:00000001\n", {"ScrollbackLines=1"});
    // Out of range or damaged: the default stays and the rest loads.
    row("scrollback over a million", "\"ScrollbackLines\"=dword:000f4241\n", {});
    row("scrollback 0", "\"ScrollbackLines\"=dword:00000000\n", {});
    row("scrollback negative", "\"ScrollbackLines\"=dword:ffffffff\n\"SendHex\"=dword:00000001\n",
        {"SendHex=1"});
    row("scrollback too short", "\"ScrollbackLines\"=hex:01\n", {});
}

void TestPersistence::load() {
    QFETCH(QString, lines);
    QFETCH(QStringList, changed);
    FrameFixture f(Store(lines.toStdString()));
    QVERIFY(f.created());
    QVERIFY(f.boxes.shown.empty());
    for (int i = 0; i < kNames.size(); ++i) {
        QString expected = kStart[i];
        for (const QString& pair : changed)
            if (pair.section('=', 0, 0) == kNames[i]) expected = pair.section('=', 1);
        QCOMPARE(Setting(f.frame(), kNames[i]), expected);
    }
    QString status = QStringLiteral("Ready");
    for (const QString& pair : changed)
        if (pair.startsWith("Status=")) status = pair.section('=', 1);
    QCOMPARE(QString::fromStdString(f->statusPanes().GetPaneText(0)), status);
}

void TestPersistence::damagedStoreDoesNotStopStartUp() {
    const std::string damaged = "this is not a store\n\x01\x02";
    FrameFixture f(damaged);
    QVERIFY(f.created());
    for (int i = 0; i < kNames.size(); ++i)
        QCOMPARE(Setting(f.frame(), kNames[i]), kStart[i]);
    // Loading left the damaged file alone; saving keeps it aside and writes a fresh one.
    QCOMPARE(f.storeText(), damaged);
    f->comm().SetRThreshold(12);
    f->SaveSettings();
    QVERIFY(f.storeText().find("\"RThreshold\"=dword:0000000c") != std::string::npos);
    const QFileInfo store(QString::fromStdString(f.storePath()));
    const QStringList aside = store.dir().entryList({store.fileName() + ".damaged-*"}, QDir::Files);
    QCOMPARE(aside.size(), 1);
    QFile kept(store.dir().filePath(aside.front()));
    QVERIFY(kept.open(QIODevice::ReadOnly));
    QCOMPARE(kept.readAll().toStdString(), damaged);
}

void TestPersistence::saveWritesEveryValue() {
    FrameFixture f;
    QVERIFY(f.created());
    f->SaveSettings();
    // The screen's font is the desktop's fixed-width one: its size and family as they are.
    const QString fontSize = QStringLiteral("\"FontSize\"=dword:%1")
                                 .arg(f->screen().font().pointSize(), 8, 16, QLatin1Char('0'));
    const std::string family = f->screen().baseFont().family().toStdString();
    QCOMPARE(ValueLines(f.storeText()),
             (QStringList{"\"Echo\"=dword:00000000",
                          "\"DTREnable\"=dword:00000001",
                          "\"RTSEnable\"=dword:00000001",
                          "\"HEXViewing\"=dword:00000000",
                          "\"Terminal\"=dword:00000000",
                          "\"CommPort\"=dword:00000001",
                          "\"InputLen\"=dword:00000000",
                          "\"RThreshold\"=dword:00000001",
                          "\"SThreshold\"=dword:00000000",
                          "\"Handshaking\"=dword:00000000",
                          "\"Reconnect\"=dword:00000001",
                          "\"TimeStamps\"=dword:00000000",
                          "\"EnterSends\"=dword:00000000",
                          "\"CharacterSet\"=dword:00000000",
                          "\"ScreenSize\"=dword:00000010",
                          fontSize,
                          "\"LineBreaks\"=dword:00000000",
                          "\"SendBar\"=dword:00000000",
                          "\"MacroBar\"=dword:00000000",
                          "\"SendLineEnd\"=dword:00000001",
                          "\"SendHex\"=dword:00000000",
                          "\"PaceChar\"=dword:00000000",
                          "\"PaceLine\"=dword:00000000",
                          "\"BackspaceSends\"=dword:00000000",
                          "\"ScrollbackLines\"=dword:00002710",
                          QString::fromStdString("\"FontFamily\"=hex:" + Hex(family)),
                          QString::fromStdString("\"Settings\"=hex:" + Hex("9600,n,8,1")),
                          "\"ParityReplace\"=hex:3f",
                          "\"ReceiveFolder\"=hex:"} +
              EmptySendTexts()));
}

void TestPersistence::roundTrip() {
    std::string saved;
    {
        FrameFixture f;
        QVERIFY(f.created());
        CCommCtrl& c = f->comm();
        f->screen().m_bEcho = 1;
        c.SetDTREnable(false);
        c.SetRTSEnable(false);
        c.SetCommPort(99);
        c.SetInputLen(32767);
        c.SetRThreshold(300);
        c.SetSThreshold(17);
        c.SetHandshaking(2);
        c.SetSettings("38400,e,7,2");
        c.SetParityReplace("");
        f->SetReconnect(0);
        f->SendCommand(ID_VIEW_TIMESTAMPS, CMainFrame::Source::Menu);
        f->SendCommand(ID_SETTINGS_ENTER_CRLF, CMainFrame::Source::Menu);
        f->SendCommand(ID_SETTINGS_BREAKS_AUTO, CMainFrame::Source::Menu);
        f->SendCommand(ID_VIEW_SENDBAR, CMainFrame::Source::Menu);
        f->SendCommand(ID_VIEW_MACROBAR, CMainFrame::Source::Menu);
        f->SendCommand(ID_SETTINGS_BACKSPACE_BS, CMainFrame::Source::Menu);
        f->sendBar()->setLineEnding(transfer::LineEnding::None);
        f->sendBar()->setHex(true);
        f->SetPacing({5, 10000});
        f->terminalView().setScrollbackLines(123456);
        f->SaveSettings();
        saved = f.storeText();
        QVERIFY(saved.find("\"InputLen\"=dword:00007fff\n") != std::string::npos);
        QVERIFY(saved.find("\"Settings\"=hex:" + Hex("38400,e,7,2") + "\n") != std::string::npos);
        QVERIFY(saved.find("\"ParityReplace\"=hex:\n") != std::string::npos);
    }
    FrameFixture g(saved);
    QVERIFY(g.created());
    const QStringList expected = {"1",  "0", "0", "0",           "99", "32767", "300",
                                  "17", "2", "0", "38400,e,7,2", "",   "1",     "2",
                                  "2",  "1", "1", "0",           "1",  "5",     "10000",
                                  "1",  "123456"};
    QCOMPARE(expected.size(), kNames.size());
    for (int i = 0; i < kNames.size(); ++i)
        QCOMPARE(Setting(g.frame(), kNames[i]), expected[i]);
    // Saving what was loaded writes the same file, byte for byte.
    g->SaveSettings();
    QCOMPARE(g.storeText(), saved);
}

void TestPersistence::saveNormalisesAndCuts_data() {
    QTest::addColumn<QString>("lines");
    QTest::addColumn<QString>("parityReplace"); // put before saving, unless empty
    QTest::addColumn<QString>("expected");      // a line the saved file must hold
    QTest::newRow("DTR 2 saved as 1") << "\"DTREnable\"=dword:00000002\n"
                                      << ""
                                      << "\"DTREnable\"=dword:00000001";
    QTest::newRow("echo flag as held") << "\"Echo\"=dword:00000002\n"
                                       << ""
                                       << "\"Echo\"=dword:00000002";
    QTest::newRow("CommPort written as 32 bits") << "\"CommPort\"=dword:00010003\n"
                                                 << ""
                                                 << "\"CommPort\"=dword:00000003";
    const std::string thirty = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123";
    QTest::newRow("long ParityReplace cut to 19")
        << "" << QString::fromStdString(thirty)
        << QString::fromStdString("\"ParityReplace\"=hex:" + Hex(thirty.substr(0, 19)));
}

void TestPersistence::saveNormalisesAndCuts() {
    QFETCH(QString, lines);
    QFETCH(QString, parityReplace);
    QFETCH(QString, expected);
    std::string saved;
    {
        FrameFixture f(Store(lines.toStdString()));
        QVERIFY(f.created());
        if (!parityReplace.isEmpty()) f->comm().SetParityReplace(parityReplace.toStdString());
        f->SaveSettings();
        saved = f.storeText();
    }
    QVERIFY2(saved.find(expected.toStdString() + "\n") != std::string::npos, saved.c_str());
    if (!parityReplace.isEmpty()) {
        FrameFixture g(saved);
        QCOMPARE(g->comm().GetParityReplace(), parityReplace.toStdString().substr(0, 19));
    }
}

void TestPersistence::echoClearsLoadedHexViewBeforeSave() {
    FrameFixture f(Store("\"Echo\"=dword:00000001\n\"HEXViewing\"=dword:00000001\n"));
    QVERIFY(f.created());
    QCOMPARE(f->GetHexView(), 1); // applied as stored
    f.idle();
    QCOMPARE(f->GetHexView(), 0);
    f->SaveSettings();
    QVERIFY(f.storeText().find("\"HEXViewing\"=dword:00000000\n") != std::string::npos);
}

void TestPersistence::sendTextsRoundTrip() {
    const std::vector<std::string> history = {"AT", "\tATZ \"quoted\" \\", "\xe9t\xe9"};
    settings::Macros macros;
    macros[0] = {"Reset", "ATZ\\r"};
    macros[11] = {"A & B", "\\B\\d500"};
    std::string saved;
    {
        FrameFixture f;
        QVERIFY(f.created());
        f->sendBar()->setHistory(history);
        f->SetMacros(macros);
        f->SaveSettings();
        saved = f.storeText();
    }
    FrameFixture g(saved);
    QVERIFY(g.created());
    QCOMPARE(g->sendBar()->history(), history);
    QVERIFY(g->macros() == macros);
    QCOMPARE(g->macroBar()->button(0)->text(), QStringLiteral("Reset"));
    QCOMPARE(g->macroBar()->button(11)->text(), QStringLiteral("A && B"));
    QVERIFY(!g->macroBar()->button(5)->isEnabled());
    // A history of more than a hundred lines keeps the newest hundred.
    std::vector<std::string> many(130);
    for (int i = 0; i < 130; ++i) many[std::size_t(i)] = "line " + std::to_string(i);
    g->sendBar()->setHistory(many);
    g->SaveSettings();
    FrameFixture h(g.storeText());
    QCOMPARE(h->sendBar()->history().size(), std::size_t(100));
    QCOMPARE(h->sendBar()->history().front(), "line 30");
    QCOMPARE(h->sendBar()->history().back(), "line 129");
}

void TestPersistence::damagedSendTextsAreSkipped() {
    const std::string tooLong(4097, 'x');
    const std::string macroTooLong(settings::kMaxMacroText + 1, 'm');
    FrameFixture f(Store("\"SendHistory1\"=\"first\"\n"
                         "\"SendHistory2\"=dword:00000001\n"     // a number
                         "\"SendHistory3\"=hex(1):41,01,42,00\n" // a control character
                         "\"SendHistory4\"=hex:41,42,00\n"          // not a string
                         "\"SendHistory5\"=hex(1):41,42\n"       // no terminator
                         "\"SendHistory6\"=\"" +
                         tooLong +
                         "\"\n" // longer than kept
                         "\"SendHistory7\"=\"last\"\n"
                         "\"MacroName1\"=dword:00000005\n"
                         "\"MacroText1\"=\"AT\\\\r\"\n"
                         "\"MacroName2\"=\"Reset\"\n"
                         "\"MacroText2\"=\"" +
                         macroTooLong +
                         "\"\n"
                         "\"MacroText3\"=\"\\\\q stays for the editor\"\n"
                         "\"RThreshold\"=dword:00000009\n"));
    QVERIFY(f.created());
    QCOMPARE(f->sendBar()->history(), (std::vector<std::string>{"first", "last"}));
    QCOMPARE(f->macros()[0], (settings::Macro{"", "AT\\r"}));
    QCOMPARE(f->macros()[1], (settings::Macro{"Reset", ""}));
    QCOMPARE(f->macros()[2].text, "\\q stays for the editor");
    QCOMPARE(f->comm().GetRThreshold(), short(9));
    QVERIFY(f.boxes.shown.empty());
}

QTEST_MAIN(TestPersistence)
#include "tst_persistence.moc"
