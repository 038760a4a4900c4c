#include "comm/configfolder.h"
#include "comm/netaddress.h"
#include "comm/portlist.h"
#include "comm/portmap.h"
#include "tests/support/ptypair.h"

#include <QtTest>

#include <fstream>
#include <unistd.h>

using namespace comm;

namespace {

// Sets or clears an environment variable for one scope.
class EnvVar {
public:
    EnvVar(const char* name, const char* value)
        : m_name(name)
        , m_old(qgetenv(name))
        , m_had(qEnvironmentVariableIsSet(name)) {
        if (value)
            qputenv(name, value);
        else
            qunsetenv(name);
    }
    ~EnvVar() {
        if (m_had)
            qputenv(m_name, m_old);
        else
            qunsetenv(m_name);
    }

private:
    const char* m_name;
    QByteArray m_old;
    bool m_had;
};

// A file under `root` with its folders, holding `text`.
void Put(const QString& root, const QString& path, const QByteArray& text = {}) {
    const QString full = root + "/" + path;
    QDir().mkpath(QFileInfo(full).path());
    QFile f(full);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(text);
}

void Link(const QString& root, const QString& path, const QString& target) {
    const QString full = root + "/" + path;
    QDir().mkpath(QFileInfo(full).path());
    QCOMPARE(::symlink(target.toLocal8Bit().constData(), full.toLocal8Bit().constData()), 0);
}

} // namespace

class TestPortMap : public QObject {
    Q_OBJECT
private slots:
    void builtIn_data();
    void builtIn();
    void mapEntries();
    void addresses_data();
    void addresses();
    void addressEntries();
    void configFolder_data();
    void configFolder();
    void folder();
    void xdgFolderIsUsed();
    void portsPresent();
};

void TestPortMap::builtIn_data() {
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("shown");
    QTest::newRow("COM1") << 1 << "/dev/ttyS0"
                          << "COM1 (/dev/ttyS0)";
    QTest::newRow("COM32") << 32 << "/dev/ttyS31"
                           << "COM32 (/dev/ttyS31)";
    QTest::newRow("COM33") << 33 << "/dev/ttyUSB0"
                           << "COM33 (/dev/ttyUSB0)";
    QTest::newRow("COM64") << 64 << "/dev/ttyUSB31"
                           << "COM64 (/dev/ttyUSB31)";
    QTest::newRow("COM65") << 65 << "/dev/ttyACM0"
                           << "COM65 (/dev/ttyACM0)";
    QTest::newRow("COM96") << 96 << "/dev/ttyACM31"
                           << "COM96 (/dev/ttyACM31)";
    QTest::newRow("COM97") << 97 << ""
                           << "COM97";
    QTest::newRow("COM99") << 99 << ""
                           << "COM99";
}

void TestPortMap::builtIn() {
    QFETCH(int, port);
    QFETCH(QString, path);
    QFETCH(QString, shown);
    PortLink emptyMap;
    const PortPath p = ResolvePort(port);
    QCOMPARE(QString::fromStdString(p.name), "COM" + QString::number(port));
    QCOMPARE(QString::fromStdString(p.path), path);
    QCOMPARE(QString::fromStdString(p.shown), shown);
    QVERIFY(!p.fromMap);
}

void TestPortMap::mapEntries() {
    PortLink map;
    QVERIFY(map.link(5, "/dev/pts/3")); // dangling: still the port's device
    QVERIFY(map.link(33, "/dev/ttyS7"));
    QVERIFY(map.link(98, "../elsewhere/ttyX"));
    std::ofstream(map.folder() + "/COM7") << "not a link";

    const PortPath com5 = ResolvePort(5);
    QVERIFY(com5.fromMap);
    QCOMPARE(com5.path, map.folder() + "/COM5");
    QCOMPARE(com5.shown, std::string("COM5 (/dev/pts/3)"));
    QCOMPARE(ResolvePort(33).shown, std::string("COM33 (/dev/ttyS7)"));
    const std::string parent = map.folder().substr(0, map.folder().rfind('/'));
    QCOMPARE(ResolvePort(98).shown, "COM98 (" + parent + "/elsewhere/ttyX)");
    QCOMPARE(ResolvePort(7).shown, "COM7 (" + map.folder() + "/COM7)");
    QCOMPARE(ResolvePort(6).path, std::string("/dev/ttyS5")); // no entry: built in
}

void TestPortMap::addresses_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("normal"); // empty: refused
    QTest::addColumn<QString>("hostPort");
    QTest::addColumn<QString>("why"); // part of the refusal
    QTest::newRow("name") << "rfc2217://lab-pi:2001" << "rfc2217://lab-pi:2001" << "lab-pi:2001" << "";
    QTest::newRow("ipv4 raw") << "tcp://127.0.0.1:7" << "tcp://127.0.0.1:7" << "127.0.0.1:7" << "";
    QTest::newRow("ipv6") << "rfc2217://[::1]:2001" << "rfc2217://[::1]:2001" << "[::1]:2001" << "";
    QTest::newRow("case, zeros, slash") << "TCP://Host:0065535/" << "tcp://Host:65535" << "Host:65535" << "";
    QTest::newRow("no port") << "rfc2217://lab-pi" << "" << "" << "has no port";
    QTest::newRow("empty port") << "rfc2217://lab-pi:" << "" << "" << "has no port";
    QTest::newRow("port 0") << "rfc2217://lab-pi:0" << "" << "" << "from 1 to 65535";
    QTest::newRow("port 70000") << "tcp://lab-pi:70000" << "" << "" << "from 1 to 65535";
    QTest::newRow("port word") << "tcp://lab-pi:telnet" << "" << "" << "from 1 to 65535";
    QTest::newRow("bad ipv6") << "rfc2217://[::g1]:2001" << "" << "" << "not an IPv6 address";
    QTest::newRow("unclosed ipv6") << "rfc2217://[::1:2001" << "" << "" << "closing bracket";
    QTest::newRow("ipv6 unbracketed") << "tcp://::1:2001" << "" << "" << "in brackets";
    QTest::newRow("ipv6 no port") << "tcp://[::1]" << "" << "" << "has no port";
    QTest::newRow("no host") << "tcp://:2001" << "" << "" << "has no host";
    QTest::newRow("path in host") << "tcp://a/b:1" << "" << "" << "not a host name";
    QTest::newRow("other scheme") << "ssh://lab-pi:22" << "" << "" << "rfc2217:// or tcp://";
}

void TestPortMap::addresses() {
    QFETCH(QString, text);
    QFETCH(QString, normal);
    QFETCH(QString, hostPort);
    QFETCH(QString, why);
    NetAddress a;
    a.host = "untouched";
    const Status st = ParseNetAddress(text.toStdString(), a);
    QCOMPARE(st.ok(), !normal.isEmpty());
    if (st.ok()) {
        QCOMPARE(QString::fromStdString(a.text()), normal);
        QCOMPARE(QString::fromStdString(a.hostPort()), hostPort);
    } else {
        QCOMPARE(a.host, std::string("untouched"));
        QVERIFY2(st.description.find(why.toStdString()) != std::string::npos &&
                     st.description.find(text.toStdString()) != std::string::npos,
                 st.description.c_str());
    }
    QCOMPARE(IsNetworkName(text.toStdString()), !text.startsWith("ssh"));
}

// A link whose target is an address dangles; the address is the port's path, and the number
// for an address is found the other way round.
void TestPortMap::addressEntries() {
    PortLink map;
    QVERIFY(map.link(40, "rfc2217://lab-pi:2001"));
    QVERIFY(map.link(98, "/dev/pts/3"));
    const PortPath com40 = ResolvePort(40);
    QVERIFY(com40.fromMap);
    QCOMPARE(com40.path, std::string("rfc2217://lab-pi:2001"));
    QCOMPARE(com40.shown, std::string("COM40 (rfc2217://lab-pi:2001)"));
    QCOMPARE(PortForDevice("RFC2217://lab-pi:02001"), 40);
    QCOMPARE(PortForAddress("tcp://lab-pi:2001"), 0);

    QCOMPARE(FreeLinkPort(), 99);
    QVERIFY(LinkAddress(99, "tcp://[::1]:3001").ok());
    QCOMPARE(ResolvePort(99).shown, std::string("COM99 (tcp://[::1]:3001)"));
    QCOMPARE(FreeLinkPort(), 97); // 98 is taken
    const Status again = LinkAddress(99, "tcp://[::1]:3002");
    QVERIFY(!again.ok());
    QVERIFY2(again.description.find("COM99") != std::string::npos, again.description.c_str());
    SetRunOnlyPort(97, "tcp://127.0.0.1:5");
    QCOMPARE(PortForDevice("tcp://127.0.0.1:5"), 97);
    QVERIFY(FreeLinkPort() < 97);
    ClearRunOnlyPorts();
}

void TestPortMap::configFolder_data() {
    QTest::addColumn<QByteArray>("xdg"); // null: unset
    QTest::addColumn<QByteArray>("home");
    QTest::addColumn<QString>("folder");
    const QByteArray none, home = "/home/u";
    QTest::newRow("absolute") << QByteArray("/xdg") << home << "/xdg/wirelog";
    QTest::newRow("unset") << none << home << "/home/u/.config/wirelog";
    QTest::newRow("empty") << QByteArray("") << home << "/home/u/.config/wirelog";
    QTest::newRow("relative") << QByteArray("cfg") << home << "/home/u/.config/wirelog";
    QTest::newRow("dot-relative") << QByteArray("./cfg") << home << "/home/u/.config/wirelog";
    QTest::newRow("absolute, no home") << QByteArray("/xdg") << none << "/xdg/wirelog";
    QTest::newRow("relative, no home") << QByteArray("cfg") << none << "";
    QTest::newRow("unset, empty home") << none << QByteArray("") << "";
}

void TestPortMap::configFolder() {
    QFETCH(QByteArray, xdg);
    QFETCH(QByteArray, home);
    const auto arg = [](const QByteArray& v) { return v.isNull() ? nullptr : v.constData(); };
    QTEST(QString::fromStdString(ConfigFolderFor(arg(xdg), arg(home))), "folder");
}

void TestPortMap::folder() {
    {
        EnvVar ports("WIRELOG_PORTS", "/srv/ports");
        EnvVar xdg("XDG_CONFIG_HOME", "/xdg");
        QCOMPARE(PortMapFolder(), std::string("/srv/ports"));
    }
    EnvVar ports("WIRELOG_PORTS", nullptr);
    {
        EnvVar xdg("XDG_CONFIG_HOME", "/xdg");
        QCOMPARE(PortMapFolder(), std::string("/xdg/wirelog/ports"));
    }
    EnvVar home("HOME", "/home/someone");
    {
        EnvVar xdg("XDG_CONFIG_HOME", "relative/config"); // ignored, as unset
        QCOMPARE(PortMapFolder(), std::string("/home/someone/.config/wirelog/ports"));
        QCOMPARE(ConfigFolder(), std::string("/home/someone/.config/wirelog"));
    }
    EnvVar xdg("XDG_CONFIG_HOME", nullptr);
    QCOMPARE(PortMapFolder(), std::string("/home/someone/.config/wirelog/ports"));
}

void TestPortMap::xdgFolderIsUsed() {
    QTemporaryDir config;
    QVERIFY(QDir(config.path()).mkpath("wirelog/ports"));
    const std::string entry = config.path().toStdString() + "/wirelog/ports/COM12";
    QCOMPARE(::symlink("/dev/ttyUSB3", entry.c_str()), 0);
    EnvVar ports("WIRELOG_PORTS", nullptr);
    EnvVar xdg("XDG_CONFIG_HOME", config.path().toLocal8Bit().constData());
    const PortPath p = ResolvePort(12);
    QVERIFY(p.fromMap);
    QCOMPARE(p.path, entry);
    QCOMPARE(p.shown, std::string("COM12 (/dev/ttyUSB3)"));
}

void TestPortMap::portsPresent() {
    QTemporaryDir tmp;
    const QString root = tmp.path() + "/root";
    // Devices: two legacy UARTs of which one has hardware, USB and ACM adapters, an on-chip
    // UART, an adapter numbered beyond the built-in map.
    for (const char* dev :
         {"ttyS0", "ttyS1", "ttyUSB0", "ttyUSB1", "ttyACM0", "ttyAMA0", "ttyUSB40"})
        Put(root, QStringLiteral("dev/") + dev);
    Link(root, "dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0", "../../ttyUSB0");
    Link(root, "dev/serial/by-id/usb-Silicon_Labs_CP2102_0001-if00-port0", "../../ttyUSB40");
    const QString usb = "sys/devices/pci0000:00/usb1/";
    Put(root, usb + "1-1/manufacturer", "FTDI\n");
    Put(root, usb + "1-1/product", "FT232R USB UART\n");
    Put(root, usb + "1-1/1-1:1.0/ttyUSB0/uevent");
    Put(root, usb + "2-1/manufacturer", "Raspberry Pi\n");
    Put(root, usb + "2-1/product", "Pico\n");
    Put(root, usb + "2-1/2-1:1.0/uevent");
    Put(root, usb + "3-1/3-1:1.0/ttyUSB40/uevent"); // nothing in sysfs: the by-id name says it
    Put(root, "sys/devices/platform/serial8250/uevent");
    Put(root, "sys/devices/platform/fe201000.serial/uevent");
    Link(root, "sys/class/tty/ttyUSB0/device", "../../../../" + usb + "1-1/1-1:1.0/ttyUSB0");
    Link(root, "sys/class/tty/ttyACM0/device", "../../../../" + usb + "2-1/2-1:1.0");
    Link(root, "sys/class/tty/ttyUSB40/device", "../../../../" + usb + "3-1/3-1:1.0/ttyUSB40");
    Link(root, "sys/class/tty/ttyAMA0/device", "../../../devices/platform/fe201000.serial");
    for (const char* uart : {"ttyS0", "ttyS1"})
        Link(root, QStringLiteral("sys/class/tty/") + uart + "/device",
             "../../../devices/platform/serial8250");
    Put(root, "sys/class/tty/ttyS0/type", "0\n"); // registered, no UART there
    Put(root, "sys/class/tty/ttyS1/type", "4\n");
    Put(root, "sys/class/tty/tty1/uevent"); // a virtual console: no device behind it

    // The port map, in a folder whose name needs quoting in a shell line.
    const QString map = tmp.path() + "/port map";
    QVERIFY(QDir().mkpath(map));
    EnvVar ports("WIRELOG_PORTS", map.toLocal8Bit().constData());
    PtyPair pty;
    if (!pty.isOpen()) QSKIP(pty.error().c_str());
    Link(map, "COM5", root + "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0");
    Link(map, "COM7", QString::fromStdString(pty.slavePath()));
    Link(map, "COM98", root + "/dev/ttyACM0");
    Link(map, "COM2", root + "/dev/gone"); // hides the built-in ttyS1 and leads nowhere
    Link(map, "COM40", "rfc2217://lab-pi:2001"); // a port on another machine

    QStringList got;
    for (const PortEntry& e : ListPorts(root.toStdString()))
        got << QString::fromStdString(PortEntryText(e));
    const QString mapped = QString::fromUtf8(" \u2014 ln -s ");
    const QString folder = "'" + map + "/COM";
    const QStringList expected = {
        QString::fromUtf8("COM5 \u2014 /dev/ttyUSB0 \u2014 FTDI FT232R USB UART"),
        QString::fromUtf8("COM7 \u2014 ") + QString::fromStdString(pty.slavePath()),
        QString::fromUtf8("COM40 \u2014 rfc2217://lab-pi:2001"),
        QString::fromUtf8("COM98 \u2014 /dev/ttyACM0 \u2014 Raspberry Pi Pico"),
        QString::fromUtf8("COM33 \u2014 /dev/ttyUSB0 \u2014 FTDI FT232R USB UART"),
        QString::fromUtf8("COM34 \u2014 /dev/ttyUSB1"),
        QString::fromUtf8("COM65 \u2014 /dev/ttyACM0 \u2014 Raspberry Pi Pico"),
        "/dev/ttyAMA0" + mapped + "/dev/ttyAMA0 " + folder + "97'",
        "/dev/ttyS1" + mapped + "/dev/ttyS1 " + folder + "99'",
        QString::fromUtf8("/dev/ttyUSB40 \u2014 Silicon Labs CP2102 0001") + mapped +
            "/dev/serial/by-id/usb-Silicon_Labs_CP2102_0001-if00-port0 " + folder + "3'",
    };
    QCOMPARE(got, expected);

    const auto list = ListPorts(root.toStdString());
    QVERIFY(list[0].fromMap && !list[4].fromMap);
    QCOMPARE(list[7].port, 0);
}

QTEST_GUILESS_MAIN(TestPortMap)
#include "tst_portmap.moc"
