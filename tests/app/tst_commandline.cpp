// The command line: the pure parse of every option with good and bad values, the checks
// before any window (device paths against a temporary port map and a pseudo-terminal, the
// dump file), the application to a real frame and what it saves, and the exit statuses of the
// real executable.
#include "app/commandline.h"
#include "app/launch.h"
#include "comm/portmap.h"
#include "framework/file.h"
#include "res/resource.h"
#include "tests/support/framefixture.h"

#include <QDir>
#include <QProcess>
#include <QtTest>

#include <unistd.h>

using app::CommandLine;

namespace {

// A parsed command line in one comparable line.
QString Describe(const CommandLine& c) {
    QStringList out;
    if (c.port) out << QStringLiteral("port=%1").arg(*c.port);
    if (!c.devicePath.empty()) out << "path=" + QString::fromStdString(c.devicePath);
    if (c.settings) out << "settings=" + QString::fromStdString(*c.settings);
    if (c.handshaking) out << QStringLiteral("handshaking=%1").arg(*c.handshaking);
    if (c.open) out << "open";
    if (c.dumpFile) out << "dump=" + QString::fromStdString(*c.dumpFile);
    if (c.echo) out << "echo";
    if (c.hex) out << "hex";
    return out.join(' ');
}

CommandLine Parse(QStringList args) {
    args.prepend(QStringLiteral("wirelog"));
    return app::ParseCommandLine(args);
}

std::string DevicePathOf(const PtyPair& pty) {
    return pty.slavePath();
}

} // namespace

class TestCommandLine : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void parses_data();
    void parses();
    void refuses_data();
    void refuses();
    void helpAndVersion();
    void devicePathMapping();
    void addressMapping();
    void runOnlyPortsAreFirstFree();
    void unusableDevicePaths_data();
    void unusableDevicePaths();
    void dumpFileChecks();
    void appliedAfterStoredSettingsAndSaved();
    void hexTurnsStoredEchoOff_data();
    void hexTurnsStoredEchoOff();
    void startOpensDumpThenPort();
    void exitStatuses_data();
    void exitStatuses();
};

void TestCommandLine::init() {
    PtyPair probe;
    if (!probe.isOpen()) QSKIP(probe.error().c_str());
}

void TestCommandLine::cleanup() {
    comm::ClearRunOnlyPorts();
}

void TestCommandLine::parses_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("want");
    QTest::newRow("nothing") << QStringList{} << "";
    QTest::newRow("COMn") << QStringList{"COM5"} << "port=5";
    QTest::newRow("com lower case") << QStringList{"com12"} << "port=12";
    QTest::newRow("number") << QStringList{"42"} << "port=42";
    QTest::newRow("lowest") << QStringList{"COM1"} << "port=1";
    QTest::newRow("highest") << QStringList{"99"} << "port=99";
    QTest::newRow("device path") << QStringList{"/dev/ttyUSB0"} << "path=/dev/ttyUSB0";
    QTest::newRow("by-id path") << QStringList{"/dev/serial/by-id/usb-FTDI-if00"}
                                << "path=/dev/serial/by-id/usb-FTDI-if00";
    QTest::newRow("relative path") << QStringList{"./ttyX"} << "path=./ttyX";
    QTest::newRow("address normalised") << QStringList{"RFC2217://lab-pi:02001"}
                                        << "path=rfc2217://lab-pi:2001";
    QTest::newRow("raw ipv6 address") << QStringList{"tcp://[::1]:3001"} << "path=tcp://[::1]:3001";
    QTest::newRow("settings normalised")
        << QStringList{"--settings", "115200,E,7,2"} << "settings=115200,e,7,2";
    QTest::newRow("settings 1.5 stop bits")
        << QStringList{"--settings=9600,m,5,1.5"} << "settings=9600,m,5,1.5";
    QTest::newRow("settings odd rate")
        << QStringList{"--settings", "3000000,n,8,1"} << "settings=3000000,n,8,1";
    QTest::newRow("handshaking none") << QStringList{"--handshaking", "none"} << "handshaking=0";
    QTest::newRow("handshaking xonxoff")
        << QStringList{"--handshaking", "xonxoff"} << "handshaking=1";
    QTest::newRow("handshaking rtscts")
        << QStringList{"--handshaking", "rtscts"} << "handshaking=2";
    QTest::newRow("handshaking both") << QStringList{"--handshaking", "both"} << "handshaking=3";
    QTest::newRow("flags") << QStringList{"--open", "--echo"} << "open echo";
    QTest::newRow("hex") << QStringList{"--hex"} << "hex";
    QTest::newRow("dump") << QStringList{"--dump", "my log.dmp"} << "dump=my log.dmp";
    QTest::newRow("everything, port last")
        << QStringList{"--settings", "115200,e,7,2", "--open", "--dump", "F", "COM3"}
        << "port=3 settings=115200,e,7,2 open dump=F";
    QTest::newRow("port first") << QStringList{"7", "--handshaking", "rtscts", "--hex"}
                                << "port=7 handshaking=2 hex";
    QTest::newRow("Qt's own options left to Qt")
        << QStringList{"-style", "fusion", "COM3", "-platform", "offscreen", "-reverse",
                       "-stylesheet=a.qss", "--open"}
        << "port=3 open";
}

void TestCommandLine::parses() {
    QFETCH(QStringList, args);
    QFETCH(QString, want);
    const CommandLine c = Parse(args);
    QCOMPARE(c.action, CommandLine::Action::Run);
    QCOMPARE(c.text, std::string());
    QCOMPARE(Describe(c), want);
}

void TestCommandLine::refuses_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QStringList>("mentions"); // what the error line must name
    QTest::newRow("COM0") << QStringList{"COM0"} << QStringList{"\"COM0\"", "1 to 99"};
    QTest::newRow("COM100") << QStringList{"COM100"} << QStringList{"\"COM100\"", "1 to 99"};
    QTest::newRow("number 0") << QStringList{"0"} << QStringList{"\"0\"", "1 to 99"};
    QTest::newRow("huge number") << QStringList{"99999999999"}
                                 << QStringList{"\"99999999999\"", "1 to 99"};
    QTest::newRow("bare device name")
        << QStringList{"ttyUSB0"} << QStringList{"\"ttyUSB0\"", "COM1 to COM99", "device path"};
    QTest::newRow("COM without number") << QStringList{"COM"} << QStringList{"\"COM\""};
    QTest::newRow("address without port")
        << QStringList{"rfc2217://lab-pi"} << QStringList{"\"rfc2217://lab-pi\"", "has no port"};
    QTest::newRow("address port 70000")
        << QStringList{"tcp://lab-pi:70000"} << QStringList{"from 1 to 65535"};
    QTest::newRow("bad ipv6 literal")
        << QStringList{"rfc2217://[::zz]:1"} << QStringList{"not an IPv6 address"};
    QTest::newRow("empty port") << QStringList{""} << QStringList{"\"\"", "device path"};
    QTest::newRow("two ports") << QStringList{"COM1", "COM2"}
                               << QStringList{"\"COM1\"", "\"COM2\"", "one port"};
    QTest::newRow("bad settings") << QStringList{"--settings", "9600,x,9,3"}
                                  << QStringList{"9600,x,9,3", "parity"};
    QTest::newRow("bad data bits")
        << QStringList{"--settings", "9600,n,9,1"} << QStringList{"9600,n,9,1", "data bits"};
    QTest::newRow("bad baud") << QStringList{"--settings", "0,n,8,1"}
                              << QStringList{"0,n,8,1", "baud rate", "4000000"};
    QTest::newRow("settings 1.5 stop bits with 8 data bits")
        << QStringList{"--settings", "9600,n,8,1.5"}
        << QStringList{"9600,n,8,1.5", "1.5 stop bits can only be set with 5 data bits"};
    QTest::newRow("settings missing a field")
        << QStringList{"--settings", "9600,n,8"} << QStringList{"9600,n,8", "9600,n,8,1"};
    QTest::newRow("settings without value")
        << QStringList{"--settings"} << QStringList{"settings", "--help"};
    QTest::newRow("bad handshaking")
        << QStringList{"--handshaking", "hardware"}
        << QStringList{"\"hardware\"", "none, xonxoff, rtscts or both"};
    QTest::newRow("handshaking as a number")
        << QStringList{"--handshaking", "2"} << QStringList{"\"2\"", "rtscts"};
    QTest::newRow("unknown option")
        << QStringList{"--baud", "9600"} << QStringList{"baud", "--help"};
    QTest::newRow("empty dump") << QStringList{"--dump", ""} << QStringList{"--dump"};
    QTest::newRow("option twice") << QStringList{"--settings", "9600,n,8,1", "--settings",
                                                 "19200,n,8,1"}
                                  << QStringList{"--settings", "more than once"};
    QTest::newRow("echo with hex")
        << QStringList{"--echo", "--hex"} << QStringList{"--echo", "--hex"};
    QTest::newRow("terminal with hex")
        << QStringList{"--terminal", "--hex"} << QStringList{"--terminal", "--hex"};
}

void TestCommandLine::refuses() {
    QFETCH(QStringList, args);
    QFETCH(QStringList, mentions);
    const CommandLine c = Parse(args);
    QCOMPARE(c.action, CommandLine::Action::Fail);
    const QString text = QString::fromStdString(c.text);
    QVERIFY2(text.startsWith("wirelog: ") && !text.contains('\n'), qPrintable(text));
    for (const QString& m : mentions)
        QVERIFY2(text.contains(m), qPrintable(text + " / " + m));
}

void TestCommandLine::helpAndVersion() {
    for (const char* option : {"--help", "-h"}) {
        // Help wins over values that would be refused.
        const CommandLine c =
            Parse({QString::fromLatin1(option), "--settings", "9600,x,9,3", "COM0"});
        QCOMPARE(c.action, CommandLine::Action::Help);
        const QString text = QString::fromStdString(c.text);
        for (const char* part : {"Usage: wirelog", "--settings", "--handshaking", "--open",
                                 "--dump", "--echo", "--hex", "--terminal", "PORT", "saved", "COM97"})
            QVERIFY2(text.contains(QLatin1String(part)), part);
    }
    for (const char* option : {"--version", "-v"}) {
        const CommandLine c = Parse({QString::fromLatin1(option)});
        QCOMPARE(c.action, CommandLine::Action::Version);
        QCOMPARE(c.text, std::string("Wirelog " WIRELOG_TEST_VERSION "\n"));
    }
}

// An address is numbered like a path, without looking for it on disk: the map's link to it, else
// a run-only number.
void TestCommandLine::addressMapping() {
    PortLink map;
    QVERIFY(map.link(40, "rfc2217://lab-pi:2001"));
    CommandLine known = Parse({"RFC2217://lab-pi:02001"});
    std::string error;
    QVERIFY2(app::PrepareCommandLine(known, error), error.c_str());
    QCOMPARE(known.port, std::optional<int>(40));
    CommandLine other = Parse({"tcp://127.0.0.1:9"});
    QVERIFY2(app::PrepareCommandLine(other, error), error.c_str());
    QCOMPARE(other.port, std::optional<int>(97));
    QCOMPARE(comm::ResolvePort(97).shown, std::string("COM97 (tcp://127.0.0.1:9)"));
    comm::ClearRunOnlyPorts();
}

void TestCommandLine::devicePathMapping() {
    PortLink map;
    PtyPair mapped, unmapped;
    QVERIFY(map.link(4, DevicePathOf(mapped)));
    QTemporaryDir byId;
    const std::string alias = byId.filePath("usb-Board-if00").toStdString();
    QCOMPARE(::symlink(DevicePathOf(mapped).c_str(), alias.c_str()), 0);
    const QStringList before = QDir(QString::fromStdString(map.folder())).entryList(QDir::System);

    // The path itself, and a by-id style link to it: both are COM4.
    for (const std::string& path : {DevicePathOf(mapped), alias}) {
        CommandLine c = Parse({QString::fromStdString(path)});
        std::string error;
        QVERIFY2(app::PrepareCommandLine(c, error), error.c_str());
        QCOMPARE(c.port, std::optional<int>(4));
        QVERIFY(!comm::IsRunOnlyPort(4));
    }

    // A path given relative to the working folder.
    const QString cwd = QDir::currentPath();
    QVERIFY(QDir::setCurrent("/dev"));
    CommandLine relative = Parse({QString::fromStdString("./" + DevicePathOf(mapped).substr(5))});
    std::string error;
    const bool relativeOk = app::PrepareCommandLine(relative, error);
    QDir::setCurrent(cwd);
    QVERIFY2(relativeOk, error.c_str());
    QCOMPARE(relative.port, std::optional<int>(4));

    // Unknown to the map: COM97 for this run, in memory only.
    CommandLine c = Parse({QString::fromStdString(DevicePathOf(unmapped))});
    QVERIFY2(app::PrepareCommandLine(c, error), error.c_str());
    QCOMPARE(c.port, std::optional<int>(97));
    QVERIFY(comm::IsRunOnlyPort(97));
    const comm::PortPath p = comm::ResolvePort(97);
    QCOMPARE(p.path, DevicePathOf(unmapped));
    QCOMPARE(p.shown, "COM97 (" + DevicePathOf(unmapped) + ")");
    QCOMPARE(QDir(QString::fromStdString(map.folder())).entryList(QDir::System), before);
    // The same device again finds its run-only number rather than taking another.
    CommandLine again = Parse({QString::fromStdString(DevicePathOf(unmapped))});
    QVERIFY(app::PrepareCommandLine(again, error));
    QCOMPARE(again.port, std::optional<int>(97));
}

void TestCommandLine::runOnlyPortsAreFirstFree() {
    PortLink map;
    PtyPair a, b, c;
    QVERIFY(map.link(97, "/dev/pts/nothing-here")); // taken by the map, even dangling
    std::string error;
    CommandLine first = Parse({QString::fromStdString(DevicePathOf(a))});
    QVERIFY2(app::PrepareCommandLine(first, error), error.c_str());
    QCOMPARE(first.port, std::optional<int>(98));
    CommandLine second = Parse({QString::fromStdString(DevicePathOf(b))});
    QVERIFY2(app::PrepareCommandLine(second, error), error.c_str());
    QCOMPARE(second.port, std::optional<int>(99));
    // All three taken: refused, naming the path and the folder.
    CommandLine third = Parse({QString::fromStdString(DevicePathOf(c))});
    QVERIFY(!app::PrepareCommandLine(third, error));
    QVERIFY2(error.find(DevicePathOf(c)) != std::string::npos, error.c_str());
    QVERIFY2(error.find("COM97 to COM99") != std::string::npos, error.c_str());
    QVERIFY2(error.find(map.folder()) != std::string::npos, error.c_str());
    QVERIFY(error.find('\n') == std::string::npos);
}

void TestCommandLine::unusableDevicePaths_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("reason");
    QTest::newRow("missing") << "/dev/wirelog-no-such-device"
                             << "No such file";
    QTest::newRow("a folder") << "/dev/pts/"
                              << "not a serial device";
    QTest::newRow("a regular file") << "REGULAR"
                                    << "not a serial device";
}

void TestCommandLine::unusableDevicePaths() {
    QFETCH(QString, path);
    QFETCH(QString, reason);
    PortLink map;
    QTemporaryDir dir;
    if (path == "REGULAR") {
        path = dir.filePath("plain");
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    CommandLine c = Parse({path});
    std::string error;
    QVERIFY(!app::PrepareCommandLine(c, error));
    const QString text = QString::fromStdString(error);
    QVERIFY2(text.startsWith("wirelog: port \"") && text.contains(reason), qPrintable(text));
    QVERIFY(!c.port);
    QVERIFY(!comm::IsRunOnlyPort(97));
}

void TestCommandLine::dumpFileChecks() {
    QTemporaryDir dir;
    const QString cwd = QDir::currentPath();
    QVERIFY(QDir::setCurrent(dir.path()));
    CommandLine c = Parse({"--dump", "rel.dmp"});
    std::string error;
    const bool ok = app::PrepareCommandLine(c, error);
    QDir::setCurrent(cwd);
    QVERIFY2(ok, error.c_str());
    QCOMPARE(*c.dumpFile, dir.filePath("rel.dmp").toStdString()); // the full path, as the menu's

    CommandLine missing = Parse({"--dump", dir.filePath("no folder/x.dmp")});
    QVERIFY(!app::PrepareCommandLine(missing, error));
    QVERIFY2(QString::fromStdString(error).startsWith("wirelog: --dump \"" + dir.path()),
             error.c_str());

    // Held by another opener: the menu's refusal too.
    fw::File holder;
    holder.open(dir.filePath("held.dmp").toStdString(),
                fw::File::Write | fw::File::Create | fw::File::Exclusive);
    CommandLine held = Parse({"--dump", dir.filePath("held.dmp")});
    QVERIFY(!app::PrepareCommandLine(held, error));
    QVERIFY2(error.find("held.dmp") != std::string::npos, error.c_str());
}

void TestCommandLine::appliedAfterStoredSettingsAndSaved() {
    const std::string store =
        "REGEDIT4\n\n[HKEY_USERS\\.DEFAULT\\Software\\K-W\\Wirelog\\Settings]\n"
        "\"CommPort\"=dword:00000002\n\"Handshaking\"=dword:00000000\n"
        "\"Settings\"=hex:31,39,32,30,30,2c,6e,2c,38,2c,31\n\"Echo\"=dword:00000000\n\n";
    {
        FrameFixture f(store);
        QVERIFY(f.created());
        QCOMPARE(f->comm().GetSettings(), std::string("19200,n,8,1")); // the store's
        const CommandLine c =
            Parse({"--settings", "115200,e,7,2", "--handshaking", "both", "--echo", "COM5"});
        app::ApplyCommandLine(f.frame(), c);
        QCOMPARE(f->comm().GetSettings(), std::string("115200,e,7,2"));
        QCOMPARE(f->comm().GetCommPort(), short(5));
        QCOMPARE(f->comm().GetHandshaking(), 3);
        QCOMPARE(f->screen().m_bEcho, 1);
        f->SaveSettings();
        const std::string saved = f.storeText();
        QVERIFY2(saved.find("\"CommPort\"=dword:00000005") != std::string::npos, saved.c_str());
        QVERIFY(saved.find("\"Handshaking\"=dword:00000003") != std::string::npos);
        QVERIFY(saved.find("\"Echo\"=dword:00000001") != std::string::npos);
        QVERIFY(saved.find("31,31,35,32,30,30,2c,65,2c,37,2c,32") != std::string::npos);
    }
    {
        // A run-only port is used but not kept: the store's port stays.
        FrameFixture f(store);
        QVERIFY(f.created());
        PtyPair pty;
        CommandLine c = Parse({"--hex", QString::fromStdString(pty.slavePath())});
        std::string error;
        QVERIFY2(app::PrepareCommandLine(c, error), error.c_str());
        app::ApplyCommandLine(f.frame(), c);
        QCOMPARE(f->comm().GetCommPort(), short(97));
        QCOMPARE(f->GetHexView(), 1);
        f->SaveSettings();
        const std::string saved = f.storeText();
        QVERIFY2(saved.find("\"CommPort\"=dword:00000002") != std::string::npos, saved.c_str());
        QVERIFY(saved.find("\"HEXViewing\"=dword:00000001") != std::string::npos);
    }
}

void TestCommandLine::hexTurnsStoredEchoOff_data() {
    QTest::addColumn<int>("storedEcho");
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("echo"); // after the first idle pass
    QTest::addColumn<int>("hex");
    QTest::addColumn<bool>("told"); // the status bar says echo went off
    QTest::newRow("--hex, stored echo on") << 1 << QStringList{"--hex"} << 0 << 1 << true;
    QTest::newRow("--hex, stored echo off") << 0 << QStringList{"--hex"} << 0 << 1 << false;
    QTest::newRow("stored echo on, no --hex") << 1 << QStringList{"COM3"} << 1 << 0 << false;
}

// The stored echo would clear the hexadecimal view at the first idle pass; --hex wins, says
// so, and what is saved at the close is what the run used.
void TestCommandLine::hexTurnsStoredEchoOff() {
    QFETCH(int, storedEcho);
    QFETCH(QStringList, args);
    QFETCH(int, echo);
    QFETCH(int, hex);
    QFETCH(bool, told);
    FrameFixture f("REGEDIT4\n\n[HKEY_USERS\\.DEFAULT\\Software\\K-W\\Wirelog\\Settings]\n"
                   "\"Echo\"=dword:0000000" +
                   std::to_string(storedEcho) + "\n\n");
    QVERIFY(f.created());
    QCOMPARE(f->screen().m_bEcho, storedEcho);
    app::ApplyCommandLine(f.frame(), Parse(args));
    f.idle();
    QCOMPARE(f->screen().m_bEcho, echo);
    QCOMPARE(f->GetHexView(), hex);
    const std::string status = f->statusPanes().GetPaneText(0);
    QVERIFY2((status.find("Local echo is off for --hex") != std::string::npos) == told,
             status.c_str());
    f->SaveSettings();
    QVERIFY(f.storeText().find("\"Echo\"=dword:0000000" + std::to_string(echo)) !=
            std::string::npos);
}

void TestCommandLine::startOpensDumpThenPort() {
    FrameFixture f;
    QVERIFY(f.created());
    PtyPair& pty = f.linkPort(6);
    const std::string dump = f.tempPath("start.dmp");
    {
        // What an earlier run recorded is kept: nobody is there to be asked about it.
        QFile earlier(QString::fromStdString(dump));
        QVERIFY(earlier.open(QIODevice::WriteOnly));
        earlier.write("kept ");
    }
    CommandLine c =
        Parse({"--settings", "57600,n,8,2", "--open", "--dump", QString::fromStdString(dump), "6"});
    std::string error;
    QVERIFY2(app::PrepareCommandLine(c, error), error.c_str());
    app::ApplyCommandLine(f.frame(), c);
    app::StartCommandLine(f.frame(), c);
    QVERIFY(f->comm().GetPortOpen());
    QCOMPARE(f->session().dumpPath(), dump);
    f.idle();
    QCOMPARE(f->windowTitle(),
             QString::fromStdString("Wirelog - COM6,57600,n,8,2 - dumping to \"" + dump + "\""));
    QCOMPARE(pty.slaveTermios()->ospeed, 57600u);
    QVERIFY(pty.writeAll("recorded"));
    QTRY_COMPARE_WITH_TIMEOUT(f.screen(), std::string("recorded"), 5000);
    f->SendCommand(ID_FILE_CLOSE_DUMP);
    QFile file(QString::fromStdString(dump));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("kept recorded"));
    QVERIFY(f.boxes.shown.empty());

    // A port that cannot be opened is reported as the menu command reports it.
    f->SendCommand(ID_COMM_PORT_CLOSE);
    CommandLine bad = Parse({"--open", "40"});
    QVERIFY(f.ports().link(40, "/dev/wirelog-no-such-device"));
    app::ApplyCommandLine(f.frame(), bad);
    app::StartCommandLine(f.frame(), bad);
    QVERIFY(!f->comm().GetPortOpen());
    QCOMPARE(f.boxes.shown.size(), std::size_t(1));
    QVERIFY2(f.boxes.lastText().find("COM40") != std::string::npos, f.boxes.lastText().c_str());
}

void TestCommandLine::exitStatuses_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("out"); // the start of standard output, or of standard error
    QTest::newRow("version") << QStringList{"--version"} << 0 << "Wirelog " WIRELOG_TEST_VERSION;
    QTest::newRow("help") << QStringList{"--help"} << 0 << "Usage: wirelog";
    QTest::newRow("bad settings") << QStringList{"--settings", "9600,x,9,3"} << 2
                                  << "wirelog: --settings";
    QTest::newRow("COM0") << QStringList{"COM0"} << 2 << "wirelog: port \"COM0\"";
    QTest::newRow("COM100") << QStringList{"COM100"} << 2 << "wirelog: port \"COM100\"";
    QTest::newRow("missing device") << QStringList{"/dev/wirelog-no-such-device"} << 2
                                    << "wirelog: port \"/dev/wirelog-no-such-device\"";
    QTest::newRow("unwritable dump") << QStringList{"--dump", "/proc/wirelog.dmp"} << 2
                                     << "wirelog: --dump \"/proc/wirelog.dmp\"";
    QTest::newRow("unknown option") << QStringList{"--nope"} << 2 << "wirelog: Unknown option";
}

void TestCommandLine::exitStatuses() {
    QFETCH(QStringList, args);
    QFETCH(int, status);
    QFETCH(QString, out);
    // No display at all: none of these may need one. The store must stay as it was.
    QTemporaryDir dir;
    const QString store = dir.filePath("registry.reg");
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("DISPLAY");
    env.remove("WAYLAND_DISPLAY");
    env.insert("QT_QPA_PLATFORM", "xcb");
    env.insert("WIRELOG_REGISTRY", store);
    env.insert("WIRELOG_PORTS", dir.filePath("ports"));
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(WIRELOG_EXECUTABLE), args);
    QVERIFY(p.waitForFinished(20000));
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    QCOMPARE(p.exitCode(), status);
    const QString stdoutText = QString::fromLocal8Bit(p.readAllStandardOutput());
    const QString stderrText = QString::fromLocal8Bit(p.readAllStandardError());
    if (status == 0) {
        QVERIFY2(stdoutText.startsWith(out), qPrintable(stdoutText));
        QCOMPARE(stderrText, QString());
    } else {
        QVERIFY2(stderrText.startsWith(out), qPrintable(stderrText));
        QCOMPARE(stderrText.count('\n'), 1); // one line
        QCOMPARE(stdoutText, QString());
    }
    QVERIFY(!QFile::exists(store));
}

QTEST_MAIN(TestCommandLine)
#include "tst_commandline.moc"
