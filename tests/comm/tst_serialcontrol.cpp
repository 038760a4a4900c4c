// The control's event rules on their own, then the control over the fake device: modem
// lines, counters and error marks as the test dictates, event order and re-entrancy.
#include "comm/serialcontrol.h"
#include "tests/support/fakedevice.h"

#include <QtTest>

using namespace comm;

namespace {

struct Rig {
    Rig() {
        ctl.setDeviceOpener(FakeOpener(script));
        ctl.setEventSink([this] { onEvent(); });
        ctl.setRThreshold(1);
    }
    void onEvent() {
        events << ctl.commEvent();
        depths << ++depth;
        if (ctl.commEvent() == EvReceive && readOnReceive) {
            std::string s;
            ctl.input(s);
            received += s;
        }
        if (inside) inside();
        --depth;
    }
    QList<int> errors() const {
        QList<int> e;
        for (int c : events)
            if (c > 1000) e << c;
        return e;
    }

    std::shared_ptr<FakeDevice> script = std::make_shared<FakeDevice>();
    SerialControl ctl;
    QList<int> events, depths;
    std::string received;
    bool readOnReceive = true;
    std::function<void()> inside; // runs inside the sink, after the reading
    int depth = 0;
};

// One letter per code: the tables below read as event streams.
constexpr std::pair<char, short> kLetters[] = {
    {'S', EvSend},  {'R', EvReceive}, {'C', EvCTS},      {'D', EvDSR},
    {'K', ErBreak}, {'F', ErFrame},   {'P', ErRxParity}, {'O', ErOverrun},
};

short CodeOf(char letter) {
    for (const auto& [l, code] : kLetters)
        if (l == letter) return code;
    return 0;
}

char LetterOf(short code) {
    for (const auto& [l, c] : kLetters)
        if (c == code) return l;
    return code == 0 ? '-' : '?';
}

// Runs `script` on a queue: a code letter pushes it, '.' takes one (written out, '-' for
// none), '{' and '}' enter and leave a sink, 'x' clears. Returns what was taken.
QString RunQueue(const QString& script) {
    EventQueue q;
    QString taken;
    for (const QChar ch : script) {
        const char c = ch.toLatin1();
        if (c == '.')
            taken += LetterOf(q.take());
        else if (c == '{')
            q.enterSink();
        else if (c == '}')
            q.leaveSink();
        else if (c == 'x')
            q.clear();
        else if (c != ' ')
            q.push(CodeOf(c));
    }
    return taken;
}

} // namespace

class TestSerialControl : public QObject {
    Q_OBJECT
private slots:
    void eventQueue_data();
    void eventQueue();
    void thresholds_data();
    void thresholds();
    void lineEvents_data();
    void lineEvents();
    void ringCountedOnce();
    void holdingReadsLinesLive();
    void marks_data();
    void marks();
    void lineErrorsWaitForOutermostSink();
    void receiveEvents();
    void receiveWithoutProgressWaitsForData();
    void driverQueueDrains();
    void lineSettingsReachDevice();
    void closeDropsQueuedEvents();
};

void TestSerialControl::eventQueue_data() {
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("taken");
    QTest::newRow("receive coalesced") << "RR .."
                                       << "R-";
    QTest::newRow("receive again once taken") << "R. R."
                                              << "RR";
    QTest::newRow("receive coalesced across others") << "RCR ..."
                                                     << "RC-";
    QTest::newRow("status events all come") << "CCD ..."
                                            << "CCD";
    QTest::newRow("line error once while queued") << "FF .."
                                                  << "F-";
    QTest::newRow("line errors of each code") << "FKPO ...."
                                              << "FKPO";
    QTest::newRow("line error again once delivered") << "F. F."
                                                     << "FF";
    QTest::newRow("line error held in a sink") << "{F.} ."
                                               << "-F";
    QTest::newRow("line error once while held") << "{F. F.} .."
                                                << "--F-";
    QTest::newRow("others come inside a sink") << "{FRC ...} ."
                                               << "RC-F";
    QTest::newRow("held errors go first, in order") << "{F.K. C} ..."
                                                    << "--FKC";
    QTest::newRow("held until the outermost sink") << "{{F.} .} ."
                                                   << "--F";
    QTest::newRow("clear forgets queued and held") << "{F. R x} .."
                                                   << "---";
    QTest::newRow("after clear, codes queue again") << "R{F x RF.} ."
                                                    << "RF";
}

// The rules alone: what a sink gets, in which order, when events come faster than it runs.
void TestSerialControl::eventQueue() {
    QFETCH(QString, script);
    QFETCH(QString, taken);
    QCOMPARE(RunQueue(script), taken);
}

void TestSerialControl::thresholds_data() {
    QTest::addColumn<QString>("rule");
    QTest::addColumn<int>("before"); // bytes waiting for "receive"
    QTest::addColumn<int>("now");
    QTest::addColumn<int>("threshold");
    QTest::addColumn<bool>("due");
    QTest::newRow("receive off") << "receive" << 5 << 0 << 0 << false;
    QTest::newRow("receive below") << "receive" << 2 << 0 << 3 << false;
    QTest::newRow("receive at") << "receive" << 3 << 0 << 3 << true;
    QTest::newRow("receive above") << "receive" << 4 << 0 << 3 << true;
    QTest::newRow("receive empty") << "receive" << 0 << 0 << 1 << false;
    QTest::newRow("send off") << "send" << 10 << 0 << 0 << false;
    QTest::newRow("send falls below") << "send" << 10 << 4 << 5 << true;
    QTest::newRow("send falls from it") << "send" << 5 << 4 << 5 << true;
    QTest::newRow("send falls to it") << "send" << 10 << 5 << 5 << false;
    QTest::newRow("send already below") << "send" << 4 << 3 << 5 << false;
    QTest::newRow("send rises") << "send" << 3 << 8 << 5 << false;
    QTest::newRow("overfill past") << "overfill" << 0 << 513 << 512 << true;
    QTest::newRow("overfill from full") << "overfill" << 512 << 513 << 512 << true;
    QTest::newRow("overfill to full") << "overfill" << 0 << 512 << 512 << false;
    QTest::newRow("overfill already past") << "overfill" << 513 << 600 << 512 << false;
}

void TestSerialControl::thresholds() {
    QFETCH(QString, rule);
    QFETCH(int, before);
    QFETCH(int, now);
    QFETCH(int, threshold);
    QFETCH(bool, due);
    const auto t = short(threshold);
    if (rule == "receive")
        QCOMPARE(ReceiveDue(std::size_t(before), t), due);
    else if (rule == "send")
        QCOMPARE(SendDue(before, now, t), due);
    else
        QCOMPARE(OutputOverfilled(std::size_t(before), std::size_t(now), std::size_t(t)), due);
}

enum Change { Cts, Dsr, Cd, RiRise, RiFall, RngCount, Overrun, BufOverrun };

void TestSerialControl::lineEvents_data() {
    QTest::addColumn<int>("change");
    QTest::addColumn<QList<int>>("expected");
    QTest::newRow("CTS") << int(Cts) << QList<int>{EvCTS};
    QTest::newRow("DSR") << int(Dsr) << QList<int>{EvDSR};
    QTest::newRow("CD") << int(Cd) << QList<int>{EvCD};
    QTest::newRow("RI rises") << int(RiRise) << QList<int>{EvRing};
    QTest::newRow("RI falls (with CTS)") << int(RiFall) << QList<int>{EvCTS};
    QTest::newRow("ring counter") << int(RngCount) << QList<int>{EvRing};
    QTest::newRow("overrun counter") << int(Overrun) << QList<int>{ErOverrun};
    QTest::newRow("buffer overrun counter") << int(BufOverrun) << QList<int>{ErRxOver};
}

void TestSerialControl::lineEvents() {
    QFETCH(int, change);
    QFETCH(QList<int>, expected);
    Rig rig;
    rig.script->lines = ModemLines{};
    rig.script->lines->ri = change == RiFall;
    rig.script->counters = LineCounters{};
    QVERIFY(rig.ctl.setPortOpen(true).ok());

    ModemLines& l = *rig.script->lines;
    LineCounters& c = *rig.script->counters;
    switch (change) {
    case Cts:
        l.cts = true;
        break;
    case Dsr:
        l.dsr = true;
        break;
    case Cd:
        l.cd = true;
        break;
    case RiRise:
        l.ri = true;
        break;
    case RiFall:
        l.ri = false, l.cts = true;
        break;
    case RngCount:
        c.rng = 1;
        break;
    case Overrun:
        c.overrun = 2;
        break;
    case BufOverrun:
        c.bufOverrun = 1;
        break;
    }
    QTRY_COMPARE_WITH_TIMEOUT(rig.events, expected, 2000);
}

void TestSerialControl::ringCountedOnce() {
    Rig rig;
    rig.script->lines = ModemLines{};
    rig.script->counters = LineCounters{};
    QVERIFY(rig.ctl.setPortOpen(true).ok());
    rig.script->lines->ri = true;
    QTRY_COMPARE_WITH_TIMEOUT(rig.events, QList<int>{EvRing}, 2000);
    // The driver counts the ring as RI falls: the same ring, no second event.
    rig.script->lines->ri = false;
    rig.script->counters->rng = 1;
    QTest::qWait(60);
    rig.script->lines->dsr = true;
    QTRY_COMPARE_WITH_TIMEOUT(rig.events, (QList<int>{EvRing, EvDSR}), 2000);
}

void TestSerialControl::holdingReadsLinesLive() {
    Rig rig;
    rig.script->lines = ModemLines{true, false, true, false};
    QVERIFY(!rig.ctl.ctsHolding()); // closed
    QVERIFY(rig.ctl.setPortOpen(true).ok());
    QVERIFY(rig.ctl.ctsHolding());
    QVERIFY(!rig.ctl.dsrHolding());
    QVERIFY(rig.ctl.cdHolding());
    rig.script->lines = ModemLines{false, true, false, false};
    QVERIFY(!rig.ctl.ctsHolding());
    QVERIFY(rig.ctl.dsrHolding());
    QVERIFY(!rig.ctl.cdHolding());
    QVERIFY(rig.ctl.setPortOpen(false).ok());
    QVERIFY(!rig.ctl.dsrHolding());
}

void TestSerialControl::marks_data() {
    QTest::addColumn<QString>("settings");
    QTest::addColumn<QString>("replace");
    QTest::addColumn<QList<int>>("counted"); // frame, parity, break; empty: no counters
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QList<int>>("errors");
    const QString n = "9600,n,8,1", e = "9600,e,7,1";
    const QList<int> none;
    const QByteArray bad("A\xFF\0"
                         "BC",
                         5),
        brk("\xFF\0\0"
            "Z",
            4),
        nul("\xFF\0\0", 3);
    QTest::newRow("frame") << n << "?" << none << bad << QByteArray("ABC") << QList<int>{ErFrame};
    QTest::newRow("parity") << e << "?" << none << bad << QByteArray("A?C")
                            << QList<int>{ErRxParity};
    QTest::newRow("parity kept") << e << "" << none << bad << QByteArray("ABC")
                                 << QList<int>{ErRxParity};
    QTest::newRow("parity first byte")
        << e << "#!" << none << bad << QByteArray("A#C") << QList<int>{ErRxParity};
    QTest::newRow("break") << n << "?" << none << brk << QByteArray("Z") << QList<int>{ErBreak};
    QTest::newRow("doubled FF") << n << "?" << none << QByteArray("\xFF\xFF") << QByteArray("\xFF")
                                << none;
    QTest::newRow("frame coalesced") << n << "?" << none << QByteArray("\xFF\0a\xFF\0b\xFF\0\0", 9)
                                     << QByteArray("ab") << QList<int>{ErFrame, ErBreak};
    QTest::newRow("counted frame, parity on")
        << e << "?" << QList<int>{1, 0, 0} << bad << QByteArray("ABC") << QList<int>{ErFrame};
    QTest::newRow("counted parity")
        << n << "?" << QList<int>{0, 1, 0} << bad << QByteArray("A?C") << QList<int>{ErRxParity};
    QTest::newRow("counted break")
        << e << "?" << QList<int>{0, 0, 1} << nul << QByteArray() << QList<int>{ErBreak};
    QTest::newRow("counted parity on NUL")
        << e << "?" << QList<int>{0, 1, 0} << nul << QByteArray("?") << QList<int>{ErRxParity};
    QTest::newRow("counted frame on NUL")
        << e << "?" << QList<int>{1, 0, 0} << nul << QByteArray("\0", 1) << QList<int>{ErFrame};
    QTest::newRow("counters silent")
        << e << "?" << QList<int>{0, 0, 0} << bad << QByteArray("A?C") << QList<int>{ErRxParity};
}

void TestSerialControl::marks() {
    QFETCH(QString, settings);
    QFETCH(QString, replace);
    QFETCH(QList<int>, counted);
    QFETCH(QByteArray, line);
    QFETCH(QByteArray, data);
    QFETCH(QList<int>, errors);
    Rig rig;
    QVERIFY(rig.ctl.setSettings(settings.toStdString()).ok());
    QVERIFY(rig.ctl.setParityReplace(replace.toStdString()).ok());
    if (!counted.isEmpty()) rig.script->counters = LineCounters{};
    QVERIFY(rig.ctl.setPortOpen(true).ok());
    if (!counted.isEmpty()) {
        rig.script->counters->frame = counted[0];
        rig.script->counters->parity = counted[1];
        rig.script->counters->brk = counted[2];
    }
    QVERIFY(rig.script->send(line.toStdString() + "."));
    QTRY_COMPARE_WITH_TIMEOUT(QByteArray::fromStdString(rig.received), data + ".", 2000);
    QTRY_COMPARE_WITH_TIMEOUT(rig.errors(), errors, 2000);
}

// While a sink runs a nested loop (an error box), receive and line events still come; line
// errors wait until it has returned, one of each code.
void TestSerialControl::lineErrorsWaitForOutermostSink() {
    Rig rig;
    rig.script->lines = ModemLines{};
    QVERIFY(rig.ctl.setPortOpen(true).ok());
    QList<int> duringBox;
    rig.inside = [&] {
        if (rig.ctl.commEvent() != ErFrame || rig.depth != 1 || rig.events.size() != 1) return;
        rig.script->send(std::string("\xFF\0q\xFF\0\0", 6));
        rig.script->send(std::string("\xFF\0r", 3));
        rig.script->lines->cts = true;
        QTRY_VERIFY_WITH_TIMEOUT(rig.events.contains(EvCTS) && rig.received == "pqr", 2000);
        QTest::qWait(50); // time enough for held errors to come, were they not held
        duringBox = rig.events;
    };
    QVERIFY(rig.script->send(std::string("\xFF\0p", 3)));
    QTRY_COMPARE_WITH_TIMEOUT(rig.errors(), (QList<int>{ErFrame, ErFrame, ErBreak}), 3000);
    QCOMPARE(QSet<int>(duringBox.begin(), duringBox.end()), (QSet<int>{ErFrame, EvReceive, EvCTS}));
    QCOMPARE(duringBox.count(ErFrame), 1);
    for (int i = 0; i < rig.events.size(); ++i)
        if (rig.events[i] > 1000) QCOMPARE(rig.depths[i], 1);
    QCOMPARE(rig.received, std::string("pqr"));
}

void TestSerialControl::receiveEvents() {
    Rig rig;
    QVERIFY(rig.ctl.setRThreshold(3).ok());
    QVERIFY(rig.ctl.setPortOpen(true).ok());
    QVERIFY(rig.script->send("ab"));
    QTRY_COMPARE_WITH_TIMEOUT(rig.ctl.inBufferCount(), 2, 2000);
    // Below the threshold: nothing. Several arrivals before the loop runs: one event.
    QVERIFY(rig.script->send("c"));
    QVERIFY(rig.script->send("d"));
    QVERIFY(rig.script->send("e"));
    QTRY_COMPARE_WITH_TIMEOUT(rig.received, std::string("abcde"), 2000);
    QVERIFY(rig.script->send("fgh"));
    QTRY_COMPARE_WITH_TIMEOUT(rig.received, std::string("abcdefgh"), 2000);
    QCOMPARE(rig.events, (QList<int>{EvReceive, EvReceive}));
}

void TestSerialControl::receiveWithoutProgressWaitsForData() {
    Rig rig;
    rig.readOnReceive = false;
    QVERIFY(rig.ctl.setPortOpen(true).ok());
    QVERIFY(rig.script->send("x"));
    QTRY_COMPARE_WITH_TIMEOUT(rig.events.size(), 1, 2000);
    QTest::qWait(100);
    QCOMPARE(rig.events.size(), 1); // no repeat while nothing new has come
    QVERIFY(rig.script->send("y"));
    QTRY_COMPARE_WITH_TIMEOUT(rig.events.size(), 2, 2000);
    QCOMPARE(rig.ctl.inBufferCount(), 2);
}

void TestSerialControl::driverQueueDrains() {
    Rig rig;
    QVERIFY(rig.ctl.setSThreshold(5).ok());
    QVERIFY(rig.ctl.setPortOpen(true).ok());
    QSignalSpy drained(&rig.ctl, &SerialControl::outputDrained);
    QSignalSpy progress(&rig.ctl, &SerialControl::outputProgress);
    rig.script->outputQueue = 10;
    QVERIFY(rig.ctl.output("abc").ok());
    QCOMPARE(rig.script->wire(), std::string("abc"));
    QCOMPARE(rig.ctl.outBufferCount(), short(10));
    rig.script->outputQueue = 4;
    QTRY_COMPARE_WITH_TIMEOUT(progress.size(), 1, 2000);
    QTRY_COMPARE_WITH_TIMEOUT(rig.events, QList<int>{EvSend}, 2000);
    QCOMPARE(drained.size(), 0);
    rig.script->outputQueue = 0;
    QVERIFY(drained.wait(2000));
    QCOMPARE(rig.ctl.outBufferCount(), short(0));
    QCOMPARE(rig.events, QList<int>{EvSend});
}

void TestSerialControl::lineSettingsReachDevice() {
    Rig rig;
    QVERIFY(rig.ctl.setSettings("19200,E,7,2").ok());
    QVERIFY(rig.ctl.setHandshaking(HandshakeXonRts).ok());
    QVERIFY(rig.ctl.setDTREnable(false).ok());
    QVERIFY(rig.ctl.setPortOpen(true).ok());
    QCOMPARE(rig.script->settings, (LineSettings{19200, 'e', 7, StopBits::Two}));
    QCOMPARE(rig.script->handshaking, HandshakeXonRts);
    QVERIFY(!rig.script->dtr);
    QVERIFY(rig.script->rts);

    QVERIFY(rig.ctl.setRTSEnable(false).ok());
    QVERIFY(!rig.script->rts);
    QVERIFY(rig.ctl.setSettings("300,n,8,1").ok());
    QCOMPARE(rig.script->settings.baud, 300u);

    rig.script->refuseSettings = true;
    QCOMPARE(rig.ctl.setSettings("600,n,8,1").code, ErrorCode::SettingsRefused);
    QCOMPARE(rig.ctl.settings(), std::string("300,n,8,1"));
    QCOMPARE(rig.ctl.setHandshaking(HandshakeNone).code, ErrorCode::SettingsRefused);
    QCOMPARE(rig.ctl.handshaking(), HandshakeXonRts);
    QCOMPARE(rig.ctl.setCommPort(2).code, ErrorCode::PortAlreadyOpen);
    QCOMPARE(rig.ctl.setPortOpen(true).code, ErrorCode::PortAlreadyOpen);
    QCOMPARE(rig.script->opens, 1);
}

void TestSerialControl::closeDropsQueuedEvents() {
    Rig rig;
    rig.inside = [&] { rig.ctl.setPortOpen(false); };
    QVERIFY(rig.ctl.setPortOpen(true).ok());
    QVERIFY(rig.ctl.output("out").ok());
    QVERIFY(rig.script->send(std::string("\xFF\0a\xFF\0\0", 6))); // frame, break, receive
    QTRY_VERIFY_WITH_TIMEOUT(!rig.ctl.portOpen(), 2000);
    QCOMPARE(rig.script->discards, 1);
    QTest::qWait(50);
    QCOMPARE(rig.events, QList<int>{ErFrame});
    QCOMPARE(rig.ctl.inBufferCount(), 0);
}

QTEST_GUILESS_MAIN(TestSerialControl)
#include "tst_serialcontrol.moc"
