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

} // namespace

class TestPortMap : public QObject {
    Q_OBJECT
private slots:
    void builtIn_data();
    void builtIn();
    void mapEntries();
    void folder();
    void xdgFolderIsUsed();
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
    EnvVar xdg("XDG_CONFIG_HOME", nullptr);
    EnvVar home("HOME", "/home/someone");
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

QTEST_GUILESS_MAIN(TestPortMap)
#include "tst_portmap.moc"
