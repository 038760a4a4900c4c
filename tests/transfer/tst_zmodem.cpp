// ZMODEM through lrzsz on both ends: our ZmodemProcess runs sz or rz behind a relay to a
// pseudo-terminal pair, lrzsz's other half sits on the slave. Files arrive byte for byte,
// also when the relay damages one byte; a missing lrzsz is said plainly.
#include "tests/support/bytesprinter.h"
#include "tests/support/linepace.h"
#include "tests/support/lrzszpeer.h"
#include "tests/support/ptypair.h"
#include "transfer/zmodemprocess.h"

#include <QSignalSpy>
#include <QSocketNotifier>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <algorithm>
#include <fstream>
#include <random>
#include <unistd.h>

using namespace std::string_literals;

namespace {

std::string Random(std::size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::string s(n, '\0');
    for (char& c : s)
        c = char(rng());
    return s;
}

std::string Read(const QString& path) {
    std::ifstream in(path.toStdString(), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The line between the child's pipes and the pty master; it can flip the byte at one offset
// of what goes to the far end, and carry it at a serial line's pace.
class Relay {
public:
    Relay(int master, transfer::ZmodemProcess*& engine, long damageAt, double pace = 0)
        : m_fd(master), m_damageAt(damageAt), m_pace(pace), m_isPaced(pace > 0),
          m_read(master, QSocketNotifier::Read),
          m_write(master, QSocketNotifier::Write) {
        m_write.setEnabled(false);
        m_paced.setSingleShot(true);
        m_paced.setInterval(2);
        QObject::connect(&m_paced, &QTimer::timeout, [this] { flush(); });
        QObject::connect(&m_read, &QSocketNotifier::activated, [this, &engine] {
            char buf[8192];
            const ssize_t n = ::read(m_fd, buf, sizeof buf);
            if (n > 0 && engine) engine->receive(QByteArray(buf, int(n)));
        });
        QObject::connect(&m_write, &QSocketNotifier::activated, [this] { flush(); });
    }
    void send(QByteArray bytes) {
        if (m_damageAt >= m_sent && m_damageAt < m_sent + bytes.size())
            bytes[int(m_damageAt - m_sent)] = char(bytes[int(m_damageAt - m_sent)] ^ 0x10);
        m_sent += bytes.size();
        m_out += bytes;
        m_mostHeld = std::max(m_mostHeld, m_out.size());
        flush();
    }
    // The most bytes that waited here for the line at one time.
    qsizetype mostHeld() const { return m_mostHeld; }

private:
    void flush() {
        const std::size_t may = m_pace.allowed(std::size_t(m_out.size()));
        const ssize_t n = may == 0 ? 0 : ::write(m_fd, m_out.constData(), may);
        if (n > 0) {
            m_out.remove(0, int(n));
            m_pace.used(std::size_t(n));
        }
        m_write.setEnabled(!m_out.isEmpty() && !m_isPaced);
        if (!m_out.isEmpty() && m_isPaced && !m_paced.isActive()) m_paced.start();
    }
    int m_fd;
    long m_damageAt;
    long m_sent = 0;
    qsizetype m_mostHeld = 0;
    LinePace m_pace;
    bool m_isPaced;
    QByteArray m_out;
    QSocketNotifier m_read, m_write;
    QTimer m_paced;
};

} // namespace

class TestZmodem : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void transfer_data();
    void transfer();
    void missing();
};

void TestZmodem::initTestCase() {
    if (!transfer::ZmodemProcess::MissingText().isEmpty())
        QSKIP("lrzsz is not installed (make test installs it)");
}

void TestZmodem::transfer_data() {
    QTest::addColumn<bool>("sending");
    QTest::addColumn<int>("size");
    QTest::addColumn<long>("damageAt");
    QTest::addColumn<double>("pace"); // bytes a second to the far end; 0: as fast as it goes
    for (bool sending : {true, false}) {
        const char* dir = sending ? "to" : "from";
        for (int size : {0, 1, 127, 128, 129, 1023, 1024, 1025})
            QTest::addRow("%s %d", dir, size) << sending << size << -1L << 0.0;
        QTest::addRow("%s 1025 damaged", dir) << sending << 1025 << 600L << 0.0;
        // lrzsz recovers from damage deep in a long file only after a timeout of its own
        // (~30 s), so the megabyte goes undamaged.
        QTest::addRow("%s 1 MB", dir) << sending << (1 << 20) << -1L << 0.0;
    }
    // sz must not run ahead of a slow line: had it handed over the whole file at once, it
    // would wait for the receiver's answer for as long as the line takes to carry it, give up
    // and say the transfer failed while the file was still arriving.
    QTest::addRow("to 48 KB at 115,200 baud") << true << (48 << 10) << -1L << 11520.0;
}

void TestZmodem::transfer() {
    QFETCH(bool, sending);
    QFETCH(int, size);
    QFETCH(long, damageAt);
    QFETCH(double, pace);
    const std::string data = Random(std::size_t(size), unsigned(size) + 7);
    QTemporaryDir peerDir, ourDir;
    const QString name = "f.bin";
    PtyPair pty;
    QVERIFY2(pty.isOpen(), pty.error().c_str());
    LrzszPeer peer;
    transfer::ZmodemProcess* engine = nullptr;
    Relay relay(pty.master(), engine, damageAt, pace);
    transfer::ZmodemProcess zmodem([&relay](const QByteArray& b) { relay.send(b); });
    engine = &zmodem;
    QSignalSpy finished(&zmodem, &transfer::ZmodemProcess::finished);
    std::vector<std::pair<QString, std::string>> placed;
    if (sending) {
        const QString path = ourDir.filePath(name);
        std::ofstream(path.toStdString(), std::ios::binary) << data;
        QVERIFY(peer.start(pty.slavePath(), peerDir.path().toStdString(), {"rz", "-b"}));
        QVERIFY2(zmodem.startSend({path}), qPrintable(zmodem.error()));
    } else {
        std::ofstream(peerDir.filePath(name).toStdString(), std::ios::binary) << data;
        QVERIFY(peer.start(pty.slavePath(), peerDir.path().toStdString(), {"sz", "-b", "f.bin"}));
        QVERIFY2(zmodem.startReceive([&placed](const QString& path, const QString& n) {
            placed.push_back({n, Read(path)});
        }), qPrintable(zmodem.error()));
    }
    // lrzsz's last write on a pty is lost when it exits at once (the pty drops what the master
    // has not read yet): sz's closing "OO" never reaches rz, which would wait 30 s for it. Once
    // sz has exited well, the relay hands rz those two bytes itself.
    QTimer over;
    QObject::connect(&over, &QTimer::timeout, [&] {
        if (!sending && !peer.running() && zmodem.running()) zmodem.receive("OO");
    });
    over.start(500);
    QVERIFY(finished.wait(50000));
    QVERIFY2(finished[0][0].toBool(), qPrintable(finished[0][1].toString()));
    QCOMPARE(peer.wait(5000), 0);
    if (pace > 0) QVERIFY2(relay.mostHeld() <= 16 * 1024, qPrintable(QString::number(relay.mostHeld())));
    if (sending) {
        QVERIFY(Read(peerDir.filePath(name)) == data);
    } else {
        QCOMPARE(placed.size(), std::size_t(1));
        QCOMPARE(placed[0].first, name);
        QCOMPARE(placed[0].second.size(), data.size());
        QVERIFY(placed[0].second == data);
    }
}

// Without lrzsz on the path the transfer does not start and says why.
void TestZmodem::missing() {
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", "/nonexistent");
    transfer::ZmodemProcess zmodem([](const QByteArray&) {});
    const bool started = zmodem.startSend({"/etc/hostname"});
    qputenv("PATH", path);
    QVERIFY(!started);
    QCOMPARE(zmodem.error(), QString("ZMODEM needs the programs sz and rz of the lrzsz package, "
                                     "which is not installed."));
}

QTEST_GUILESS_MAIN(TestZmodem)
#include "tst_zmodem.moc"
