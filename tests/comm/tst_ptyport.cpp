// The control on real pseudo-terminals linked into the port map as COM5: the slave is the
// port, the master the far end of the line.
#include "comm/serialcontrol.h"
#include "tests/support/ptypair.h"

#include <QAbstractEventDispatcher>
#include <QtTest>

#include <asm/termbits.h>

#include <ctime>
#include <fcntl.h>
#include <random>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace comm;

namespace {

std::string RandomBytes(std::size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::string s(n, '\0');
    for (char& c : s)
        c = static_cast<char>(rng());
    return s;
}

std::string AllByteValues() {
    std::string s;
    for (int i = 0; i < 256; ++i)
        s += static_cast<char>(i);
    return s;
}

double CpuMs() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

// Runs the event loop for 300 ms and fails when it spun instead of sleeping: a notifier
// left enabled on a hung-up or unread descriptor wakes it some 100,000 times.
void ExpectQuietLoop() {
    QSignalSpy wakeups(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::awake);
    const double cpu = CpuMs();
    QTest::qWait(300);
    QVERIFY2(wakeups.size() < 300, qPrintable(QString::number(wakeups.size()) + " wake-ups"));
    QVERIFY2(CpuMs() - cpu < 150, qPrintable(QString::number(CpuMs() - cpu) + " ms CPU"));
}

struct Rig {
    Rig() {
        map.link(5, pty.slavePath());
        ctl.setCommPort(5);
        ctl.setEventSink([this] {
            events << ctl.commEvent();
            maxWaiting = std::max(maxWaiting, ctl.inBufferCount());
            if (ctl.commEvent() == EvReceive && readOnReceive) {
                std::string s;
                ctl.input(s);
                received += s;
                longestReading = std::max(longestReading, s.size());
            }
        });
        ctl.setRThreshold(1);
    }
    std::string shown() const { return "COM5 (" + pty.slavePath() + ")"; }

    PtyPair pty;
    PortLink map;
    SerialControl ctl;
    QList<int> events;
    std::string received;
    bool readOnReceive = true;
    int maxWaiting = 0;
    std::size_t longestReading = 0;
};

// All property values in one line, to see that a refused put changed nothing.
QString Snapshot(const SerialControl& c) {
    return QStringLiteral("%1 %2 %3 %4 %5 %6 %7 %8 %9 %10")
        .arg(c.commPort())
        .arg(QString::fromStdString(c.settings()))
        .arg(c.handshaking())
        .arg(c.dtrEnable())
        .arg(c.rtsEnable())
        .arg(c.inputLen())
        .arg(c.rThreshold())
        .arg(c.sThreshold())
        .arg(QString::fromStdString(c.parityReplace()))
        .arg(c.portOpen());
}

} // namespace

class TestPtyPort : public QObject {
    Q_OBJECT
private slots:
    void init();
    void openAppliesSettings_data();
    void openAppliesSettings();
    void allByteValuesBothWays();
    void inputLenLimitsOneReading();
    void fullInputBufferLosesNothing();
    void thresholdChanges_data();
    void thresholdChanges();
    void outputNeverDrops();
    void countAndDrain();
    void openFailures_data();
    void openFailures();
    void portInUse();
    void permissionDenied();
    void refusedValues_data();
    void refusedValues();
    void deviceVanishes_data();
    void deviceVanishes();
};

void TestPtyPort::init() {
    PtyPair probe;
    if (!probe.isOpen()) QSKIP(probe.error().c_str());
}

void TestPtyPort::openAppliesSettings_data() {
    QTest::addColumn<QString>("settings");
    QTest::addColumn<int>("handshaking");
    QTest::addColumn<uint>("speed");
    QTest::addColumn<bool>("twoStop");
    QTest::addColumn<bool>("rtscts");
    QTest::addColumn<bool>("xon");
    QTest::newRow("115200 8n1") << "115200,n,8,1" << 0 << 115200u << false << false << false;
    QTest::newRow("57600 2 stop rts") << "57600,n,8,2" << 2 << 57600u << true << true << false;
    QTest::newRow("921600 1.5 xon") << "921600,n,5,1.5" << 1 << 921600u << true << false << true;
    QTest::newRow("3000000 both") << "3000000,n,8,1" << 3 << 3000000u << false << true << true;
    QTest::newRow("odd 31250, parity") << "31250,e,7,1" << 0 << 31250u << false << false << false;
}

void TestPtyPort::openAppliesSettings() {
    QFETCH(QString, settings);
    QFETCH(int, handshaking);
    QFETCH(uint, speed);
    QFETCH(bool, twoStop);
    QFETCH(bool, rtscts);
    QFETCH(bool, xon);
    Rig rig;
    const SlaveTermios before = *rig.pty.slaveTermios();
    QVERIFY(rig.ctl.setSettings(settings.toStdString()).ok());
    QVERIFY(rig.ctl.setHandshaking(handshaking).ok());
    const Status st = rig.ctl.setPortOpen(true);
    QVERIFY2(st.ok(), st.description.c_str());

    const SlaveTermios t = *rig.pty.slaveTermios();
    QCOMPARE(t.ospeed, speed);
    QCOMPARE((t.cflag & CSTOPB) != 0, twoStop);
    QCOMPARE((t.cflag & CRTSCTS) != 0, rtscts);
    QCOMPARE((t.iflag & (IXON | IXOFF)) == uint(IXON | IXOFF), xon);
    // No line, no line errors: a pty's input is not marked, so the kernel's raw path is fast.
    QCOMPARE(t.iflag & (PARMRK | INPCK), 0u);
    QCOMPARE(t.lflag & (ICANON | ECHO | ISIG), 0u);
    QCOMPARE(int(t.vmin), 1);
    // A pty has no modem lines: the line puts are accepted, the holding reads are FALSE.
    QVERIFY(rig.ctl.setDTREnable(false).ok());
    QVERIFY(!rig.ctl.ctsHolding() && !rig.ctl.dsrHolding() && !rig.ctl.cdHolding());

    QVERIFY(rig.ctl.setSettings("19200,n,8,2").ok()); // takes effect at once
    QCOMPARE(rig.pty.slaveTermios()->ospeed, 19200u);
    QVERIFY(rig.pty.slaveTermios()->cflag & CSTOPB);

    QVERIFY(rig.ctl.setPortOpen(false).ok());
    const SlaveTermios after = *rig.pty.slaveTermios();
    QCOMPARE(after.lflag, before.lflag);
    QCOMPARE(after.iflag, before.iflag);
    QCOMPARE(after.ospeed, before.ospeed);
    QCOMPARE(after.cflag, before.cflag | HUPCL);
}

void TestPtyPort::allByteValuesBothWays() {
    Rig rig;
    QVERIFY(rig.ctl.setPortOpen(true).ok());
    const std::string bytes = AllByteValues() + AllByteValues();
    QVERIFY(rig.pty.writeAll(bytes));
    QTRY_COMPARE_WITH_TIMEOUT(rig.received.size(), bytes.size(), 5000);
    QCOMPARE(rig.received, bytes);
    QVERIFY(!rig.events.isEmpty());
    QVERIFY(
        std::all_of(rig.events.begin(), rig.events.end(), [](int c) { return c == EvReceive; }));

    QVERIFY(rig.ctl.output(bytes).ok());
    QCOMPARE(rig.pty.read(bytes.size()), bytes);
}

void TestPtyPort::inputLenLimitsOneReading() {
    Rig rig;
    QVERIFY(rig.ctl.setInputLen(3).ok());
    QVERIFY(rig.ctl.setPortOpen(true).ok());
    const std::string text = "one reading of at most three";
    QVERIFY(rig.pty.writeAll(text));
    QTRY_COMPARE_WITH_TIMEOUT(rig.received, text, 5000);
    QCOMPARE(rig.longestReading, std::size_t(3));
    QVERIFY(rig.events.size() >= int(text.size() / 3));
}

void TestPtyPort::fullInputBufferLosesNothing() {
    Rig rig;
    QVERIFY(rig.ctl.setInputLen(100).ok()); // the reader takes 100 bytes per event
    QVERIFY(rig.ctl.setPortOpen(true).ok());
    const std::string data = RandomBytes(256 * 1024, 7);
    QVERIFY(rig.pty.writeAll(data, 30000));
    QTRY_COMPARE_WITH_TIMEOUT(rig.received.size(), data.size(), 30000);
    QVERIFY(rig.received == data);
    QCOMPARE(rig.maxWaiting, 64 * 1024); // the buffer was full, and never more than full
}

// Changing RThreshold while input waits: the event comes as soon as enough waits, reading goes
// on after a full buffer, and every byte arrives once, in order. Each step is a threshold put
// (a number) or bytes arriving (+N); "=N" waits until N bytes are held, unread, and "?N" until
// at least N have been read.
void TestPtyPort::thresholdChanges_data() {
    QTest::addColumn<QStringList>("steps");
    QTest::newRow("off during a burst, then on")
        << QStringList{"0", "+2000", "=2000", "1", "+10"};
    QTest::newRow("above the old buffer") << QStringList{"2000", "+3000", "?2000", "1"};
    QTest::newRow("off past a full buffer, then on")
        << QStringList{"0", "+70000", "=65536", "1"};
    QTest::newRow("raised while held") << QStringList{"0", "+500", "=500", "400"};
}

void TestPtyPort::thresholdChanges() {
    QFETCH(QStringList, steps);
    Rig rig;
    QVERIFY(rig.ctl.setPortOpen(true).ok());
    std::string sent;
    unsigned seed = 1;
    for (const QString& step : steps) {
        if (step.startsWith('+')) {
            const std::string bytes = RandomBytes(step.mid(1).toUInt(), ++seed);
            QVERIFY(rig.pty.writeAll(bytes, 10000));
            sent += bytes;
        } else if (step.startsWith('?')) {
            QTRY_VERIFY_WITH_TIMEOUT(rig.received.size() >= step.mid(1).toULongLong(), 5000);
        } else if (step.startsWith('=')) {
            QTRY_COMPARE_WITH_TIMEOUT(rig.ctl.inBufferCount(), step.mid(1).toInt(), 5000);
        } else {
            QVERIFY(rig.ctl.setRThreshold(short(step.toInt())).ok());
        }
    }
    QTRY_COMPARE_WITH_TIMEOUT(rig.received.size(), sent.size(), 10000);
    QVERIFY(rig.received == sent);
}

void TestPtyPort::outputNeverDrops() {
    Rig rig;
    QVERIFY(rig.ctl.setPortOpen(true).ok());
    QSignalSpy drained(&rig.ctl, &SerialControl::outputDrained);
    const std::string data = RandomBytes(256 * 1024, 11);
    for (std::size_t at = 0; at < data.size(); at += 8192)
        QVERIFY(rig.ctl.output(std::string_view(data).substr(at, 8192)).ok());
    QVERIFY(rig.events.isEmpty()); // never raised from inside a call
    QCOMPARE(rig.ctl.outBufferCount(), short(32767));
    QTRY_COMPARE_WITH_TIMEOUT(rig.events, QList<int>{ErTxFull}, 2000);

    std::string got;
    while (got.size() < data.size()) {
        const std::string piece = rig.pty.read(4096, 5000);
        if (piece.empty()) break;
        got += piece;
    }
    QCOMPARE(got.size(), data.size());
    QVERIFY(got == data);
    QTRY_COMPARE_WITH_TIMEOUT(drained.size(), 1, 2000);
    QCOMPARE(rig.ctl.outBufferCount(), short(0));
    QCOMPARE(rig.events, QList<int>{ErTxFull});
}

void TestPtyPort::countAndDrain() {
    Rig rig;
    QVERIFY(rig.ctl.setPortOpen(true).ok());
    QSignalSpy drained(&rig.ctl, &SerialControl::outputDrained);
    // Fill the pty until the control has to keep bytes itself, and the kernel has settled.
    const std::string chunk = RandomBytes(256, 3);
    std::size_t sent = 0;
    for (int round = 0; round < 20 && rig.ctl.outBufferCount() == 0; ++round) {
        while (rig.ctl.outBufferCount() == 0 && sent < 4 * 1024 * 1024) {
            QVERIFY(rig.ctl.output(chunk).ok());
            sent += chunk.size();
        }
        QTest::qWait(100);
    }
    const short held = rig.ctl.outBufferCount();
    QVERIFY(held > 0 && held <= 256);
    drained.clear(); // earlier rounds may have drained while the kernel settled
    QVERIFY(rig.ctl.output("0123456789").ok());
    QCOMPARE(rig.ctl.outBufferCount(), short(held + 10));
    QTest::qWait(50);
    // Nobody reads, so the count can only shrink by what the kernel still had room for.
    const short now = rig.ctl.outBufferCount();
    QVERIFY(now > 0 && now <= held + 10);
    QCOMPARE(drained.size(), 0);
    QVERIFY(rig.ctl.setSThreshold(now).ok()); // crossed once, while reading

    QCOMPARE(rig.pty.read(sent + 10, 10000).size(), sent + 10);
    QTRY_COMPARE_WITH_TIMEOUT(drained.size(), 1, 2000);
    QCOMPARE(rig.ctl.outBufferCount(), short(0));
    QTRY_COMPARE_WITH_TIMEOUT(rig.events, QList<int>{EvSend}, 2000);
}

void TestPtyPort::openFailures_data() {
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("target");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("description"); // %1: the port map folder
    QTest::newRow("missing device")
        << 5 << "/nonexistent/ttyQ" << int(ErrorCode::NoSuchDevice)
        << "COM5 (/nonexistent/ttyQ) does not exist. Check that the device is connected.";
    QTest::newRow("not a tty") << 5 << "/dev/null" << int(ErrorCode::NotASerialDevice)
                               << "COM5 (/dev/null) is not a serial device.";
    QTest::newRow("COM99 unmapped")
        << 99 << "" << int(ErrorCode::NoSuchDevice)
        << "COM99 has no device. Link one into the port map folder, for example with:\n"
           "ln -s /dev/ttyUSB0 %1/COM99";
}

void TestPtyPort::openFailures() {
    QFETCH(int, port);
    QFETCH(QString, target);
    QFETCH(int, code);
    QFETCH(QString, description);
    Rig rig;
    if (!target.isEmpty()) QVERIFY(rig.map.link(port, target.toStdString()));
    QVERIFY(rig.ctl.setCommPort(short(port)).ok());
    const Status st = rig.ctl.setPortOpen(true);
    QCOMPARE(int(st.code), code);
    QCOMPARE(QString::fromStdString(st.description),
             QString(description).replace("%1", QString::fromStdString(rig.map.folder())));
    QVERIFY(!rig.ctl.portOpen());
    QCOMPARE(rig.ctl.output("x").code, ErrorCode::PortNotOpen);
}

void TestPtyPort::portInUse() {
    Rig rig;
    QVERIFY(rig.ctl.setPortOpen(true).ok());
    SerialControl second;
    QVERIFY(second.setCommPort(5).ok());
    Status st = second.setPortOpen(true);
    QCOMPARE(st.code, ErrorCode::PortInUse);
    QCOMPARE(st.description, rig.shown() + " is in use by another program.");
    QVERIFY(!second.portOpen());
    QVERIFY(rig.ctl.output("still mine").ok()); // the holder is undisturbed
    QCOMPARE(rig.pty.read(10), std::string("still mine"));
    QVERIFY(rig.ctl.setPortOpen(false).ok());

    // Another program that only locks the device.
    const int other = ::open(rig.pty.slavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    QVERIFY(other >= 0);
    QCOMPARE(flock(other, LOCK_EX | LOCK_NB), 0);
    QCOMPARE(second.setPortOpen(true).code, ErrorCode::PortInUse);
    ::close(other);
    st = second.setPortOpen(true);
    QVERIFY2(st.ok(), st.description.c_str());
}

void TestPtyPort::permissionDenied() {
    Rig rig;
    const std::string slave = rig.pty.slavePath();
    QCOMPARE(::chmod(slave.c_str(), 0), 0);
    ::chmod(rig.map.folder().c_str(), 0755);
    const bool root = geteuid() == 0;
    if (root && seteuid(65534) != 0) QSKIP("cannot take another user's rights");
    const Status st = rig.ctl.setPortOpen(true);
    if (root) QCOMPARE(seteuid(0), 0);
    ::chmod(slave.c_str(), 0620);
    QCOMPARE(st.code, ErrorCode::PermissionDenied);
    QCOMPARE(st.description, rig.shown() + " may not be opened: permission denied. Add the user to "
                                           "the dialout group, e.g. sudo usermod -aG dialout "
                                           "$USER, then log in again.");
    QVERIFY(!rig.ctl.portOpen());
}

void TestPtyPort::refusedValues_data() {
    QTest::addColumn<QString>("property");
    QTest::addColumn<QString>("value");
    QTest::addColumn<int>("code");
    QTest::newRow("CommPort 0") << "CommPort"
                                << "0" << int(ErrorCode::InvalidPortNumber);
    QTest::newRow("CommPort 100") << "CommPort"
                                  << "100" << int(ErrorCode::InvalidPortNumber);
    QTest::newRow("CommPort while open") << "CommPort"
                                         << "6" << int(ErrorCode::PortAlreadyOpen);
    QTest::newRow("RThreshold -1") << "RThreshold"
                                   << "-1" << int(ErrorCode::InvalidValue);
    QTest::newRow("SThreshold -1") << "SThreshold"
                                   << "-1" << int(ErrorCode::InvalidValue);
    QTest::newRow("InputLen -1") << "InputLen"
                                 << "-1" << int(ErrorCode::InvalidValue);
    QTest::newRow("Handshaking 4") << "Handshaking"
                                   << "4" << int(ErrorCode::InvalidValue);
    QTest::newRow("Handshaking -1") << "Handshaking"
                                    << "-1" << int(ErrorCode::InvalidValue);
    QTest::newRow("Settings abc") << "Settings"
                                  << "abc" << int(ErrorCode::InvalidSettings);
    QTest::newRow("Settings parity") << "Settings"
                                     << "9600,x,8,1" << int(ErrorCode::InvalidSettings);
    QTest::newRow("open while open") << "PortOpen"
                                     << "1" << int(ErrorCode::PortAlreadyOpen);
}

void TestPtyPort::refusedValues() {
    QFETCH(QString, property);
    QFETCH(QString, value);
    QFETCH(int, code);
    Rig rig;
    QVERIFY(rig.ctl.setSettings("38400,n,8,1").ok());
    QVERIFY(rig.ctl.setPortOpen(true).ok());
    const QString before = Snapshot(rig.ctl);
    const short n = value.toShort();
    Status st;
    if (property == "CommPort")
        st = rig.ctl.setCommPort(n);
    else if (property == "RThreshold")
        st = rig.ctl.setRThreshold(n);
    else if (property == "SThreshold")
        st = rig.ctl.setSThreshold(n);
    else if (property == "InputLen")
        st = rig.ctl.setInputLen(n);
    else if (property == "Handshaking")
        st = rig.ctl.setHandshaking(n);
    else if (property == "Settings")
        st = rig.ctl.setSettings(value.toStdString());
    else
        st = rig.ctl.setPortOpen(true);
    QCOMPARE(int(st.code), code);
    QVERIFY(!st.description.empty());
    QCOMPARE(Snapshot(rig.ctl), before);
    QCOMPARE(rig.pty.slaveTermios()->ospeed, 38400u);
}

void TestPtyPort::deviceVanishes_data() {
    QTest::addColumn<int>("threshold");
    QTest::addColumn<int>("incoming");
    QTest::addColumn<int>("outgoing");
    QTest::addColumn<int>("kept");
    QTest::addColumn<QList<int>>("events");
    QTest::newRow("idle") << 5 << 3 << 0 << 3 << QList<int>{EvReceive};
    QTest::newRow("output waiting") << 5 << 3 << 256 * 1024 << 3 << QList<int>{ErTxFull, EvReceive};
    QTest::newRow("below the threshold") << 5000 << 3000 << 0 << 3000 << QList<int>{EvReceive};
}

void TestPtyPort::deviceVanishes() {
    QFETCH(int, threshold);
    QFETCH(int, incoming);
    QFETCH(int, outgoing);
    QFETCH(int, kept);
    QFETCH(QList<int>, events);
    Rig rig;
    int lost = 0;
    std::string lostText;
    rig.ctl.setLostHandler([&](const Status& st) {
        ++lost;
        lostText = st.description;
        QVERIFY(!rig.ctl.portOpen());
    });
    QVERIFY(rig.ctl.setRThreshold(short(threshold)).ok());
    QVERIFY(rig.ctl.setPortOpen(true).ok());
    const std::string in = RandomBytes(std::size_t(incoming), 5);
    QVERIFY(rig.pty.writeAll(in));
    QTRY_COMPARE_WITH_TIMEOUT(rig.ctl.inBufferCount(), kept, 5000);
    if (outgoing) {
        QVERIFY(rig.ctl.output(RandomBytes(std::size_t(outgoing), 6)).ok());
        QVERIFY(rig.ctl.outBufferCount() > 0);
    }
    ExpectQuietLoop(); // waiting input or output costs nothing either
    QCOMPARE(rig.events, outgoing ? QList<int>{ErTxFull} : QList<int>{});

    rig.pty.closeMaster();
    QTRY_COMPARE_WITH_TIMEOUT(lost, 1, 5000);
    QVERIFY(!rig.ctl.portOpen());
    QCOMPARE(lostText, rig.shown() + " has gone away; the port has been closed.");
    QTRY_COMPARE_WITH_TIMEOUT(rig.events, events, 2000);
    QVERIFY(rig.received == in.substr(0, std::size_t(kept)));
    QCOMPARE(rig.ctl.outBufferCount(), short(0));

    // No busy loop: the event loop sleeps, nothing more is delivered.
    ExpectQuietLoop();
    QCOMPARE(lost, 1);
    QCOMPARE(rig.events, events);
    QCOMPARE(rig.ctl.output("x").code, ErrorCode::PortNotOpen);
}

QTEST_GUILESS_MAIN(TestPtyPort)
#include "tst_ptyport.moc"
