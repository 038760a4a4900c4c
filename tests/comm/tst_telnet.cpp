// The Telnet client with COM Port Control, at the pure level: exchanges written as tables of
// what the server sends and what must come out (data, replies, line states), each fed whole
// and again one byte per read, so that a command cut at any point reads the same.

#include "comm/telnet.h"

#include <QtTest>

using namespace comm;

namespace {

QByteArray B(std::initializer_list<int> bytes) {
    QByteArray out;
    for (int b : bytes)
        out += static_cast<char>(b);
    return out;
}

// A client that has made its offers, with the offers already sent.
TelnetClient Started(bool comPort = true) {
    TelnetClient c(comPort);
    c.start();
    c.output().clear();
    return c;
}

// The server's answer that turns COM port control on.
const QByteArray kDoComPort = B({255, 253, 44});

int LineBits(const ModemLines& l) {
    return (l.cd ? 8 : 0) | (l.cts ? 4 : 0) | (l.dsr ? 2 : 0) | (l.ri ? 1 : 0);
}

std::string S(const QByteArray& b) {
    return b.toStdString();
}

} // namespace

class TestTelnet : public QObject {
    Q_OBJECT
private slots:
    void offers();
    void receive_data();
    void receive();
    void commands_data();
    void commands();
    void settingsWaitForComPort();
    void refusedComPort();
    void boundedByHostileServer();
};

void TestTelnet::offers() {
    TelnetClient c;
    c.start();
    QCOMPARE(c.output(), S(B({255, 251, 0, 255, 253, 0, 255, 251, 3, 255, 253, 3, 255, 251, 44})));
    TelnetClient raw(false);
    raw.start();
    QCOMPARE(raw.output(), S(B({255, 251, 0, 255, 253, 0, 255, 251, 3, 255, 253, 3})));
    raw.output().clear();
    raw.send("a\xff" "b");
    QCOMPARE(raw.output(), std::string("a\xff\xff" "b"));
}

void TestTelnet::receive_data() {
    QTest::addColumn<QByteArray>("in");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QByteArray>("replies");
    QTest::addColumn<int>("lines"); // CD 8, CTS 4, DSR 2, RI 1
    const QByteArray none;
    QTest::newRow("plain") << QByteArray("abc\0d", 5) << QByteArray("abc\0d", 5) << none << 0;
    QTest::newRow("0xFF doubled") << B({'a', 255, 255, 'b', 255, 255}) << B({'a', 255, 'b', 255}) << none << 0;
    QTest::newRow("NOP and GA vanish") << B({'a', 255, 241, 'b', 255, 249, 'c'}) << QByteArray("abc") << none << 0;
    QTest::newRow("answers to our offers: silent") << B({255, 253, 0, 255, 251, 0, 255, 251, 3}) << none << none << 0;
    QTest::newRow("ECHO refused") << B({255, 251, 1, 'x'}) << QByteArray("x") << B({255, 254, 1}) << 0;
    QTest::newRow("unknown DO refused each time") << B({255, 253, 24, 255, 253, 24}) << none << B({255, 252, 24, 255, 252, 24}) << 0;
    QTest::newRow("unknown WILL refused") << B({255, 251, 5}) << none << B({255, 254, 5}) << 0;
    QTest::newRow("repeated DO: one state, no loop") << B({255, 253, 0, 255, 253, 0}) << none << none << 0;
    QTest::newRow("DONT then DO again") << B({255, 254, 0, 255, 253, 0}) << none << B({255, 251, 0}) << 0;
    QTest::newRow("WONT after yes") << B({255, 251, 3, 255, 252, 3}) << none << B({255, 254, 3}) << 0;
    QTest::newRow("modem state") << B({255, 250, 44, 107, 0xB0, 255, 240, 'k'}) << QByteArray("k") << none << 14;
    QTest::newRow("modem state 0xFF escaped") << B({255, 250, 44, 107, 255, 255, 255, 240}) << none << none << 15;
    QTest::newRow("modem state RI only") << B({255, 250, 44, 107, 0x44, 255, 240}) << none << none << 1;
    QTest::newRow("acks not believed") << B({255, 250, 44, 105, 6, 255, 240, 255, 250, 44, 101, 0, 0, 0, 1, 255, 240}) << none << none << 0;
    QTest::newRow("other option's SB") << B({255, 250, 24, 1, 255, 240, 'z'}) << QByteArray("z") << none << 0;
    QTest::newRow("SB cut by a command") << B({255, 250, 44, 107, 0xB0, 255, 253, 24, 'q'}) << QByteArray("q") << B({255, 252, 24}) << 0;
    QByteArray tooLong = B({255, 250, 44, 107, 0xB0});
    tooLong += QByteArray(200, 'x');
    tooLong += B({255, 240, 'o', 'k'});
    QTest::newRow("oversized SB dropped whole") << tooLong << QByteArray("ok") << none << 0;
    QTest::newRow("short SB") << B({255, 250, 44, 107, 255, 240, 255, 250, 255, 240}) << none << none << 0;
}

void TestTelnet::receive() {
    QFETCH(QByteArray, in);
    QFETCH(QByteArray, data);
    QFETCH(QByteArray, replies);
    QFETCH(int, lines);
    for (const bool byteWise : {false, true}) {
        TelnetClient c = Started();
        std::string got;
        if (byteWise) {
            for (const char b : in)
                c.receive(std::string_view(&b, 1), got);
        } else {
            c.receive(S(in), got);
        }
        QCOMPARE(QByteArray::fromStdString(got), data);
        QCOMPARE(QByteArray::fromStdString(c.output()), replies);
        QCOMPARE(LineBits(c.modemLines()), lines);
    }
}

void TestTelnet::commands_data() {
    QTest::addColumn<int>("action");
    QTest::addColumn<QByteArray>("sent");
    const auto sb = [](std::initializer_list<int> body) {
        return B({255, 250, 44}) + B(body) + B({255, 240});
    };
    // 0: setLine 65280,e,7,1.5 with RTS/CTS (0xFF in the rate is doubled); 1: the same again
    // (nothing changed, nothing sent); 2..: DTR off, RTS off, Break on, Break off, purge.
    QTest::newRow("line") << 0
                          << sb({1, 0, 0, 255, 255, 0}) + sb({2, 7}) + sb({3, 3}) + sb({4, 3}) +
                                 sb({5, 3});
    QTest::newRow("unchanged line") << 1 << QByteArray();
    QTest::newRow("xon/xoff only") << 2 << sb({5, 2});
    QTest::newRow("DTR off") << 3 << sb({5, 9});
    QTest::newRow("RTS off") << 4 << sb({5, 12});
    QTest::newRow("break on") << 5 << sb({5, 5});
    QTest::newRow("break off") << 6 << sb({5, 6});
    QTest::newRow("purge transmit") << 7 << sb({12, 2});
}

void TestTelnet::commands() {
    QFETCH(int, action);
    QFETCH(QByteArray, sent);
    TelnetClient c = Started();
    std::string data;
    c.receive(S(kDoComPort), data);
    QVERIFY(c.comPortActive());
    const LineSettings first{9600, 'n', 8, StopBits::One};
    c.setLine(first, HandshakeNone);
    c.output().clear();
    const LineSettings odd{65280, 'e', 7, StopBits::OneAndHalf};
    switch (action) {
    case 0: c.setLine(odd, HandshakeRts); break;
    case 1: c.setLine(first, HandshakeNone); break;
    case 2: c.setLine(first, HandshakeXonXoff); break;
    case 3: c.setDTR(false); break;
    case 4: c.setRTS(false); break;
    case 5: c.setBreak(true); break;
    case 6: c.setBreak(false); break;
    case 7: c.purge(telnet::kPurgeTransmit); break;
    }
    QCOMPARE(QByteArray::fromStdString(c.output()), sent);
}

// Settings made before the server agrees are sent, all of them, when it does; never before.
void TestTelnet::settingsWaitForComPort() {
    TelnetClient c = Started();
    c.setLine(LineSettings{115200, 'n', 8, StopBits::Two}, HandshakeNone);
    c.setDTR(false);
    c.setBreak(true); // no port to hold in break yet: not kept either
    QCOMPARE(c.output(), std::string());
    std::string data;
    c.receive(S(B({255, 253, 44})), data);
    const auto sb = [](std::initializer_list<int> body) {
        return B({255, 250, 44}) + B(body) + B({255, 240});
    };
    QCOMPARE(QByteArray::fromStdString(c.output()),
             sb({1, 0, 1, 0xC2, 0}) + sb({2, 8}) + sb({3, 1}) +
                 sb({4, 2}) + sb({5, 1}) + sb({5, 9}) + sb({5, 11}) + sb({11, 0xB0}));
    c.output().clear();
    c.receive(S(B({255, 253, 44})), data); // said again: nothing new
    QCOMPARE(c.output(), std::string());
}

void TestTelnet::refusedComPort() {
    TelnetClient c = Started();
    std::string data;
    c.receive(S(B({255, 254, 44, 'h', 'i'})), data);
    QCOMPARE(data, std::string("hi"));
    QVERIFY(!c.comPortActive());
    QVERIFY(c.takeRefusal());
    QVERIFY(!c.takeRefusal()); // once
    c.setLine(LineSettings{}, HandshakeNone);
    c.setBreak(true);
    QCOMPARE(c.output(), std::string());
    c.receive(S(B({255, 254, 44})), data); // refused again: no second note, no reply
    QVERIFY(!c.takeRefusal());
    QCOMPARE(c.output(), std::string());
}

// A megabyte of requests left unanswered, or of a subnegotiation that never ends, costs a
// bounded amount; data after it still passes.
void TestTelnet::boundedByHostileServer() {
    TelnetClient c = Started();
    QByteArray flood;
    for (int i = 0; i < 350000; ++i)
        flood += B({255, 253, 24});
    std::string data;
    c.receive(S(flood), data);
    QVERIFY(data.empty());
    QVERIFY(c.output().size() <= TelnetClient::kMaxPendingReplies + 3);
    QVERIFY(c.output().size() >= TelnetClient::kMaxPendingReplies);
    c.send("x");
    QCOMPARE(c.output().back(), 'x'); // data is never dropped

    TelnetClient sb = Started();
    sb.receive(S(B({255, 250, 44, 107, 0xB0}) + QByteArray(1 << 20, 'x')), data);
    QVERIFY(data.empty());
    sb.receive(S(B({255, 240, 'o', 'k'})), data);
    QCOMPARE(data, std::string("ok"));
    QCOMPARE(LineBits(sb.modemLines()), 0);
}

QTEST_GUILESS_MAIN(TestTelnet)
#include "tst_telnet.moc"
