// Ports on another machine through the control, against the real ser2net serving a pseudo-
// terminal on 127.0.0.1, and against a small scripted server for what ser2net cannot show
// (line signals, Break, servers that misbehave). Nothing leaves the loopback interface.

#include "comm/netconnect.h"
#include "comm/netdevice.h"
#include "comm/serialcontrol.h"
#include "tests/support/ptypair.h"
#include "tests/support/scriptserver.h"
#include "tests/support/ser2net.h"

#include <QElapsedTimer>
#include <QtTest>

#include <asm/termbits.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace comm;

namespace {

// Names under .invalid never resolve; everything else is looked up as usual. No name server is
// asked, so no test reaches beyond this machine.
int LocalLookup(const char* host, const char* service, const addrinfo* hints, addrinfo** out) {
    const std::string h(host);
    if (h.size() >= 8 && h.compare(h.size() - 8, 8, ".invalid") == 0) return EAI_NONAME;
    return getaddrinfo(host, service, hints, out);
}

QByteArray B(std::initializer_list<int> bytes) {
    QByteArray out;
    for (int b : bytes)
        out += static_cast<char>(b);
    return out;
}

QByteArray AllBytes(int times) {
    QByteArray out;
    for (int t = 0; t < times; ++t)
        for (int b = 0; b < 256; ++b)
            out += static_cast<char>(b);
    return out;
}

// What the control hands out, gathered until `n` bytes have come or 10 s have passed.
QByteArray Take(SerialControl& c, qsizetype n) {
    QByteArray got;
    QElapsedTimer t;
    t.start();
    while (got.size() < n && t.elapsed() < 10000) {
        std::string part;
        c.input(part);
        got += QByteArray::fromStdString(part);
        if (part.empty()) QTest::qWait(5);
    }
    return got;
}

constexpr int kCom = 40;

} // namespace

class TestNetPort : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { SetNameLookup(&LocalLookup); }
    void bytesBothWays_data();
    void bytesBothWays();
    void settingsReachThePty();
    void lostAndBack();
    void commandsArrive();
    void modemState();
    void badServers_data();
    void badServers();
    void noAnswerKeepsTheLoopRunning();
};

void TestNetPort::bytesBothWays_data() {
    QTest::addColumn<bool>("rfc2217");
    QTest::newRow("rfc2217") << true;
    QTest::newRow("raw") << false;
}

void TestNetPort::bytesBothWays() {
    QFETCH(bool, rfc2217);
    if (!Ser2net::installed()) QSKIP("ser2net is not installed");
    PtyPair pty;
    QVERIFY2(pty.isOpen(), pty.error().c_str());
    Ser2net server(pty.slavePath());
    QVERIFY2(server.start(), server.error().c_str());
    PortLink map;
    QVERIFY(map.link(kCom, rfc2217 ? server.rfc2217Address() : server.rawAddress()));
    SerialControl c;
    QStringList notes;
    c.setNoteHandler([&](const std::string& t) { notes << QString::fromStdString(t); });
    QVERIFY(c.setCommPort(kCom).ok());
    const Status st = c.setPortOpen(true);
    QVERIFY2(st.ok(), st.description.c_str());

    // Out first: once it arrives, ser2net holds the pty, and nothing written later is flushed.
    QVERIFY(c.output("ping").ok());
    QCOMPARE(QByteArray::fromStdString(pty.read(4)), QByteArray("ping"));
    const QByteArray all = AllBytes(64);
    QVERIFY(c.output(all.toStdString()).ok());
    QCOMPARE(QByteArray::fromStdString(pty.read(all.size(), 10000)), all);
    QVERIFY(pty.writeAll(all.toStdString()));
    QCOMPARE(Take(c, all.size()), all);
    QCOMPARE(notes.size(), rfc2217 ? 0 : 1);
    if (!rfc2217) QVERIFY(notes[0].startsWith("COM40 (tcp://127.0.0.1:") && notes[0].contains("raw TCP"));
}

// ser2net sets what it is told on the pty; a pty keeps 8 data bits and no parity.
void TestNetPort::settingsReachThePty() {
    if (!Ser2net::installed()) QSKIP("ser2net is not installed");
    PtyPair pty;
    QVERIFY2(pty.isOpen(), pty.error().c_str());
    Ser2net server(pty.slavePath());
    QVERIFY2(server.start(), server.error().c_str());
    PortLink map;
    QVERIFY(map.link(kCom, server.rfc2217Address()));
    SerialControl c;
    QVERIFY(c.setCommPort(kCom).ok());
    QVERIFY(c.setSettings("115200,n,8,2").ok());
    QVERIFY(c.setHandshaking(HandshakeRts).ok());
    QVERIFY(c.setPortOpen(true).ok());
    const auto slave = [&] { return pty.slaveTermios().value_or(SlaveTermios{}); };
    QTRY_COMPARE_WITH_TIMEOUT(slave().ospeed, 115200u, 5000);
    QTRY_VERIFY_WITH_TIMEOUT((slave().cflag & CSTOPB) && (slave().cflag & CRTSCTS), 5000);
    QVERIFY(c.setSettings("921600,n,8,1").ok()); // changed while open
    QVERIFY(c.setHandshaking(HandshakeNone).ok());
    QTRY_COMPARE_WITH_TIMEOUT(slave().ospeed, 921600u, 5000);
    QTRY_VERIFY_WITH_TIMEOUT(!(slave().cflag & CSTOPB) && !(slave().cflag & CRTSCTS), 5000);
}

// A server that goes is a device that went away; once it is back the port opens again.
void TestNetPort::lostAndBack() {
    if (!Ser2net::installed()) QSKIP("ser2net is not installed");
    PtyPair pty;
    QVERIFY2(pty.isOpen(), pty.error().c_str());
    Ser2net server(pty.slavePath());
    QVERIFY2(server.start(), server.error().c_str());
    PortLink map;
    QVERIFY(map.link(kCom, server.rfc2217Address()));
    SerialControl c;
    QStringList lost;
    c.setLostHandler([&](const Status& s) { lost << QString::fromStdString(s.description); });
    QVERIFY(c.setCommPort(kCom).ok());
    QVERIFY(c.setPortOpen(true).ok());
    server.stop();
    QTRY_COMPARE_WITH_TIMEOUT(lost.size(), 1, 5000);
    QVERIFY(!c.portOpen());
    const QString shown = "COM40 (" + QString::fromStdString(server.rfc2217Address()) + ")";
    QVERIFY2(lost[0].startsWith(shown), qPrintable(lost[0]));
    const Status refused = c.setPortOpen(true);
    QVERIFY(!refused.ok());
    QVERIFY2(refused.description.find("127.0.0.1:" + std::to_string(server.rfc2217Port())) !=
                     std::string::npos &&
                 refused.description.find("Connection refused") != std::string::npos,
             refused.description.c_str());
    QVERIFY2(server.start(), server.error().c_str());
    QVERIFY(c.setPortOpen(true).ok());
    QVERIFY(c.output("back").ok());
    QCOMPARE(QByteArray::fromStdString(pty.read(4)), QByteArray("back"));
}

// What arrives at the far end: the offers, the refusal of ECHO, the settings when they change,
// DTR, RTS and Break; data with 0xFF doubled.
void TestNetPort::commandsArrive() {
    ScriptServer server;
    PortLink map;
    QVERIFY(map.link(kCom, server.address()));
    SerialControl c;
    QStringList connecting;
    c.setConnectingHandler([&](const std::string& t) { connecting << QString::fromStdString(t); });
    QVERIFY(c.setCommPort(kCom).ok());
    QVERIFY(c.setSettings("9600,n,8,1").ok());
    QVERIFY(c.setPortOpen(true).ok());
    QCOMPARE(connecting, QStringList({"Connecting to 127.0.0.1:" + QString::number(server.port()) + "...", ""}));
    QVERIFY(server.accept());
    server.send(B({255, 251, 1, 255, 253, 44}));
    QTRY_VERIFY_WITH_TIMEOUT(server.received().contains(B({255, 254, 1})), 5000);
    QVERIFY(server.received().startsWith(B({255, 251, 0, 255, 253, 0, 255, 251, 3, 255, 253, 3, 255, 251, 44})));
    QTRY_COMPARE_WITH_TIMEOUT(server.commands(), QStringList({"1:00002580", "2:08", "3:01", "4:01", "5:01", "5:08", "5:0b", "11:b0"}), 5000);
    QVERIFY(c.setSettings("300,e,5,1.5").ok());
    QVERIFY(c.setDTREnable(false).ok());
    QVERIFY(c.setRTSEnable(false).ok());
    QVERIFY(c.setHandshaking(HandshakeXonXoff).ok());
    QVERIFY(c.output("a\xff" "b").ok());
    QTRY_COMPARE_WITH_TIMEOUT(server.commands().mid(8), QStringList({"1:0000012c", "2:05", "3:03", "4:03", "5:09", "5:0c", "5:02"}), 5000);
    QTRY_VERIFY_WITH_TIMEOUT(server.received().endsWith(QByteArray("a\xff\xff" "b")), 5000);

    // Break, on the device itself.
    ScriptServer second;
    PortPath p{"COM41", second.address(), "COM41 (" + second.address() + ")", true};
    Status st;
    auto dev = OpenNetworkDevice(p, LineSettings{}, HandshakeNone, true, true, st);
    QVERIFY2(dev, st.description.c_str());
    QVERIFY(second.accept());
    second.send(B({255, 253, 44}));
    char buf[64];
    QTRY_VERIFY_WITH_TIMEOUT((dev->read(buf, sizeof buf), second.commands().size() == 8), 5000);
    QVERIFY(dev->setBreak(true).ok());
    QVERIFY(dev->setBreak(false).ok());
    QTRY_COMPARE_WITH_TIMEOUT(second.commands().mid(8), QStringList({"5:05", "5:06"}), 5000);
}

// NOTIFY-MODEMSTATE feeds the line states and the control's events as a local port's lines do.
void TestNetPort::modemState() {
    ScriptServer server;
    PortLink map;
    QVERIFY(map.link(kCom, server.address()));
    SerialControl c;
    QList<short> events;
    c.setEventSink([&] { events << c.commEvent(); });
    QVERIFY(c.setCommPort(kCom).ok());
    QVERIFY(c.setPortOpen(true).ok());
    QVERIFY(server.accept());
    server.send(B({255, 253, 44, 255, 250, 44, 107, 0xB0, 255, 240}));
    QTRY_VERIFY_WITH_TIMEOUT(c.cdHolding() && c.ctsHolding() && c.dsrHolding(), 5000);
    QTRY_COMPARE_WITH_TIMEOUT(events.size(), 3, 5000);
    QVERIFY(events.contains(EvCD) && events.contains(EvCTS) && events.contains(EvDSR));
    server.send(B({255, 250, 44, 107, 0x10, 255, 240})); // only CTS stays
    QTRY_VERIFY_WITH_TIMEOUT(!c.cdHolding() && c.ctsHolding() && !c.dsrHolding(), 5000);
    QTRY_COMPARE_WITH_TIMEOUT(events.size(), 5, 5000);
    QCOMPARE(events.count(EvCTS), 1);
}

enum class Bad { Refused, UnknownHost, ClosesAtOnce, IacEndsEachRead, NegotiationFlood, BadPort };

void TestNetPort::badServers_data() {
    QTest::addColumn<Bad>("bad");
    QTest::addColumn<QString>("message"); // part of the open's error; empty: it opens
    QTest::newRow("nothing listening") << Bad::Refused << "Connection refused";
    QTest::newRow("name does not resolve") << Bad::UnknownHost << "host name lab-pi.invalid is not known";
    QTest::newRow("port 0 in the map") << Bad::BadPort << "must be a number from 1 to 65535";
    QTest::newRow("closes right after connecting") << Bad::ClosesAtOnce << "";
    QTest::newRow("IAC at the end of every read") << Bad::IacEndsEachRead << "";
    QTest::newRow("a megabyte of negotiation") << Bad::NegotiationFlood << "";
}

void TestNetPort::badServers() {
    QFETCH(Bad, bad);
    QFETCH(QString, message);
    auto server = std::make_unique<ScriptServer>();
    PortLink map;
    const std::string address = bad == Bad::UnknownHost ? "rfc2217://lab-pi.invalid:2001"
                                : bad == Bad::BadPort   ? "rfc2217://127.0.0.1:0"
                                                        : server->address();
    const int port = server->port();
    if (bad == Bad::Refused) server.reset(); // the port is free again: nothing listens
    QVERIFY(map.link(kCom, address));
    SerialControl c;
    QStringList lost;
    c.setLostHandler([&](const Status& s) { lost << QString::fromStdString(s.description); });
    QVERIFY(c.setCommPort(kCom).ok());
    const Status st = c.setPortOpen(true);
    if (!message.isEmpty()) {
        QVERIFY(!st.ok() && !c.portOpen());
        QVERIFY2(QString::fromStdString(st.description).startsWith("COM40 (" + QString::fromStdString(address) + ")") &&
                     QString::fromStdString(st.description).contains(message),
                 st.description.c_str());
        if (bad == Bad::Refused)
            QVERIFY(QString::fromStdString(st.description).contains("127.0.0.1:" + QString::number(port)));
        return;
    }
    QVERIFY2(st.ok(), st.description.c_str());
    QVERIFY(server->accept());
    QByteArray expected;
    switch (bad) {
    case Bad::ClosesAtOnce:
        server->closeClient();
        QTRY_COMPARE_WITH_TIMEOUT(lost.size(), 1, 5000);
        QVERIFY(!c.portOpen());
        return;
    case Bad::IacEndsEachRead:
        for (const QByteArray& piece : {B({'a', 'b', 255}), B({255, 'c', 255}), B({253, 24, 255}),
                                        B({250, 44, 107, 0x80, 255}), B({240, 'd', 255}), B({255})}) {
            server->send(piece);
            QTest::qWait(20); // each its own read
        }
        expected = B({'a', 'b', 255, 'c', 'd', 255});
        QCOMPARE(Take(c, expected.size()), expected);
        QVERIFY(c.cdHolding());
        QTRY_VERIFY_WITH_TIMEOUT(server->received().contains(B({255, 252, 24})), 5000);
        break;
    case Bad::NegotiationFlood: {
        QByteArray flood;
        for (int i = 0; i < 350000; ++i)
            flood += B({255, 253, 24});
        server->send(flood + "end");
        QCOMPARE(Take(c, 3), QByteArray("end"));
        QVERIFY(c.output("still").ok());
        QTRY_VERIFY_WITH_TIMEOUT(server->received().endsWith("still"), 5000);
        // One refusal per request at most: nothing the server says is answered with more.
        QVERIFY(server->received().size() <= flood.size() + 64);
        break;
    }
    default:
        break;
    }
    QVERIFY(c.portOpen() && lost.isEmpty());
}

// A server whose queue is full never answers: the open gives up after 5 s with the event loop
// running all along, and says so.
void TestNetPort::noAnswerKeepsTheLoopRunning() {
    ScriptServer server(0);
    std::vector<int> fillers;
    for (int i = 0; i < 4; ++i) { // fill the accept queue; the next handshake is never answered
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(static_cast<uint16_t>(server.port()));
        ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
        fillers.push_back(fd);
    }
    QTest::qWait(100);
    PortLink map;
    QVERIFY(map.link(kCom, server.address()));
    SerialControl c;
    QVERIFY(c.setCommPort(kCom).ok());
    int ticks = 0;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] { ++ticks; });
    tick.start(100);
    QElapsedTimer t;
    t.start();
    const Status st = c.setPortOpen(true);
    const qint64 took = t.elapsed();
    for (int fd : fillers)
        ::close(fd);
    QVERIFY(!st.ok() && !c.portOpen());
    QVERIFY2(st.description.find("did not answer within 5 seconds") != std::string::npos,
             st.description.c_str());
    QVERIFY2(took >= 4900 && took < 6000, qPrintable(QString::number(took)));
    QVERIFY2(ticks >= 40, qPrintable(QString::number(ticks)));
}

QTEST_GUILESS_MAIN(TestNetPort)
#include "tst_netport.moc"
