// File › Send File and Receive File through a real frame: the frame's port is one pseudo-
// terminal, lrzsz's rb/sb sit on a second, and a relay in the test carries the bytes between
// the two masters (at a given byte rate when asked). The file dialogs and boxes are answered
// by the scripted seams.
#include "framework/commands.h"
#include "mainframe/transferdlg.h"
#include "res/resource.h"
#include "tests/support/framefixture.h"
#include "tests/support/lrzszpeer.h"

#include <QElapsedTimer>
#include <QFile>
#include <QPushButton>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <cerrno>
#include <unistd.h>

namespace {

// Carries bytes between two pty masters from the event loop, at most `bytesPerSecond` each
// way (0: as fast as they go). After bytes came from the far end, nothing goes to it for 3 ms:
// rb empties its input right after each answer, and on a pty (no time on a wire) our next
// block could be there before it does, then wait out rb's timeout.
class Relay {
public:
    Relay(int a, int b, double bytesPerSecond = 0)
        : m_rate(bytesPerSecond) {
        m_ends[0] = {a, {}};
        m_ends[1] = {b, {}};
        m_clock.start();
        QObject::connect(&m_timer, &QTimer::timeout, [this] { pump(); });
        m_timer.start(1);
    }
    std::uint64_t toFar() const { return m_moved[0]; }

private:
    struct End {
        int fd;
        std::string pending; // read from the other end, not yet written here
    };
    void pump() {
        for (int from = 0; from < 2; ++from) {
            End& to = m_ends[1 - from];
            char buf[4096];
            std::size_t room = sizeof buf;
            if (m_rate > 0) {
                const double allowed = m_rate * double(m_clock.elapsed()) / 1000.0 -
                                       double(m_moved[from]) - double(to.pending.size());
                room = allowed <= 0 ? 0 : std::min<std::size_t>(room, std::size_t(allowed));
            }
            const ssize_t n = room ? ::read(m_ends[from].fd, buf, room) : 0;
            if (n > 0) to.pending.append(buf, std::size_t(n));
            if (n > 0 && from == 1) m_heardFarNs = m_clock.nsecsElapsed();
            if (to.pending.empty()) continue;
            if (from == 0 && m_clock.nsecsElapsed() - m_heardFarNs < kTurnaroundNs) continue;
            const ssize_t w = ::write(to.fd, to.pending.data(), to.pending.size());
            if (w > 0) {
                to.pending.erase(0, std::size_t(w));
                m_moved[from] += std::uint64_t(w);
            }
        }
    }
    static constexpr qint64 kTurnaroundNs = 3'000'000;
    End m_ends[2];
    std::uint64_t m_moved[2] = {0, 0};
    qint64 m_heardFarNs = -kTurnaroundNs;
    double m_rate;
    QElapsedTimer m_clock;
    QTimer m_timer;
};

QByteArray RandomBytes(int n) {
    QByteArray bytes(n, '\0');
    for (char& c : bytes)
        c = char(QRandomGenerator::global()->bounded(256));
    return bytes;
}

bool WriteFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

QByteArray ReadFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(missing)");
}

bool Enabled(CMainFrame& frame, unsigned id) {
    fw::ProbeCmdUI probe(id);
    frame.UpdateCommand(probe);
    return probe.enabled;
}

// The other ways of sending that wait while a transfer holds the line.
constexpr unsigned kOtherSenders[] = {ID_FILE_TRANSMIT_TEXT, ID_COMM_DIAL, ID_COMM_SENDBREAK,
                                      ID_COMM_MACRO_FIRST, ID_FILE_SEND_YMODEM,
                                      ID_FILE_RECEIVE_XMODEM};

} // namespace

class TestFileTransfer : public QObject {
    Q_OBJECT
private slots:
    void init();
    void sendYmodemThroughTheMenu();
    void cancelStopsTheReceiver();
    void receiveYmodemAsksBeforeReplacing();
    void portGoneEndsTheTransferOnce();
    void closedPortDisablesTheItems();
    void zmodemBothWays();
    void xonXoffIsSwitchedOffForTheTransfer_data();
    void xonXoffIsSwitchedOffForTheTransfer();
};

void TestFileTransfer::init() {
    PtyPair probe;
    if (!probe.isOpen()) QSKIP(probe.error().c_str());
    if (QStandardPaths::findExecutable("rb").isEmpty()) QSKIP("lrzsz is not installed");
}

void TestFileTransfer::sendYmodemThroughTheMenu() {
    FrameFixture f;
    QVERIFY(f.openPort());
    settings::Macros macros = f->macros();
    macros[0].text = "hello";
    f->SetMacros(macros);
    PtyPair far;
    QTemporaryDir peerDir;
    LrzszPeer peer;
    QVERIFY(peer.start(far.slavePath(), peerDir.path().toStdString(), {"rb"}));
    Relay relay(f.pty().master(), far.master());

    const QByteArray data = RandomBytes(20000);
    const QString path = QString::fromStdString(f.tempPath("data.bin"));
    QVERIFY(WriteFile(path, data));
    f.files.choose(path.toStdString());
    f->SendCommand(ID_FILE_SEND_YMODEM, CMainFrame::Source::Menu);
    QVERIFY(f->TransferRunning());
    QVERIFY(f->transferDialog() && f->transferDialog()->isVisible());
    for (unsigned id : kOtherSenders)
        QVERIFY2(!Enabled(f.frame(), id), qPrintable(QString::number(id)));
    QVERIFY(!f->sendBar()->isEnabled());
    QTRY_VERIFY_WITH_TIMEOUT(
        QString::fromStdString(f->statusPanes().GetPaneText(0))
            .contains(QRegularExpression(QStringLiteral(
                "^Sending data\\.bin: \\d+ % \\([\\d,]+ of 20,000 bytes\\), "))),
        10000);

    QTRY_VERIFY_WITH_TIMEOUT(!f->transfer(), 30000);
    QTRY_VERIFY_WITH_TIMEOUT(!peer.running(), 15000); // the relay needs the loop
    QCOMPARE(peer.wait(10000), 0);
    QCOMPARE(ReadFile(peerDir.filePath("data.bin")), data);
    // One line instead of the protocol's bytes.
    QCOMPARE(QString::fromStdString(f.screen()).trimmed(),
             QStringLiteral("YMODEM sent data.bin (20,000 bytes)."));
    QVERIFY(f.boxes.shown.empty());
    for (unsigned id : kOtherSenders)
        QVERIFY2(Enabled(f.frame(), id), qPrintable(QString::number(id)));
    QVERIFY(f->sendBar()->isEnabled());
}

void TestFileTransfer::cancelStopsTheReceiver() {
    FrameFixture f;
    QVERIFY(f.openPort());
    PtyPair far;
    QTemporaryDir peerDir;
    LrzszPeer peer;
    QVERIFY(peer.start(far.slavePath(), peerDir.path().toStdString(), {"rb"}));
    Relay relay(f.pty().master(), far.master(), 20000);

    const QString path = QString::fromStdString(f.tempPath("big.bin"));
    QVERIFY(WriteFile(path, RandomBytes(1 << 20)));
    f.files.choose(path.toStdString());
    f->SendCommand(ID_FILE_SEND_YMODEM, CMainFrame::Source::Menu);
    QTRY_VERIFY_WITH_TIMEOUT(f->transfer() && f->transfer()->done() > 0, 10000);
    QTRY_VERIFY_WITH_TIMEOUT(f->transferDialog()->bytesText().contains(" of 1,048,576"), 3000);
    QPushButton* cancel = f->transferDialog()->cancelButton();
    cancel->click();
    cancel->click(); // twice: still one cancel
    QTRY_VERIFY_WITH_TIMEOUT(!f->transfer(), 5000);
    QCOMPARE(f.boxes.shown.size(), std::size_t(1));
    QCOMPARE(f.boxes.lastText(), std::string("The transfer was cancelled."));
    QTRY_VERIFY_WITH_TIMEOUT(!peer.running(), 15000);
    QVERIFY(peer.wait(5000) != 0);
    QVERIFY(QString::fromStdString(f.screen())
                .contains(QStringLiteral("YMODEM sending stopped: The transfer was cancelled.")));
    QVERIFY(Enabled(f.frame(), ID_FILE_TRANSMIT_TEXT));
}

void TestFileTransfer::receiveYmodemAsksBeforeReplacing() {
    FrameFixture f;
    QVERIFY(f.openPort());
    PtyPair far;
    QTemporaryDir peerDir, into;
    const QByteArray a = RandomBytes(1025), b = RandomBytes(3000);
    QVERIFY(WriteFile(peerDir.filePath("a.bin"), a));
    QVERIFY(WriteFile(peerDir.filePath("b.bin"), b));
    QVERIFY(WriteFile(into.filePath("b.bin"), "kept"));
    LrzszPeer peer;
    QVERIFY(peer.start(far.slavePath(), peerDir.path().toStdString(), {"sb", "a.bin", "b.bin"}));
    Relay relay(f.pty().master(), far.master());

    f.files.choose(into.path().toStdString());
    f.boxes.answer(fw::Answer::Cancel); // keep the b.bin that is there
    f->SendCommand(ID_FILE_RECEIVE_YMODEM, CMainFrame::Source::Menu);
    QCOMPARE(f.files.requests.back().mode, fw::FileDialogRequest::Mode::Folder);
    QTRY_VERIFY_WITH_TIMEOUT(!f->transfer(), 30000);
    QTRY_VERIFY_WITH_TIMEOUT(!peer.running(), 15000); // the relay needs the loop
    QCOMPARE(peer.wait(10000), 0);
    QCOMPARE(ReadFile(into.filePath("a.bin")), a);
    QCOMPARE(ReadFile(into.filePath("b.bin")), QByteArray("kept"));
    QCOMPARE(f.boxes.shown.size(), std::size_t(1));
    QVERIFY(QString::fromStdString(f.boxes.lastText()).contains(QStringLiteral("b.bin exists")));
    QCOMPARE(QString::fromStdString(f.screen()).trimmed(),
             QStringLiteral("YMODEM received a.bin (1,025 bytes), b.bin (kept the file that "
                            "was there)."));
    // The folder is offered again next time.
    QCOMPARE(f->receiveFolder(), into.path().toStdString());
}

void TestFileTransfer::portGoneEndsTheTransferOnce() {
    FrameFixture f;
    QVERIFY(f.openPort());
    f.files.choose(f.tempPath("x.bin"));
    f.boxes.answer(fw::Answer::Cancel); // keep the padding
    f->SendCommand(ID_FILE_RECEIVE_XMODEM, CMainFrame::Source::Menu);
    QVERIFY(f->TransferRunning());
    QCOMPARE(f.pty().read(1, 3000), std::string("C")); // it asks for the first block
    f.pty().closeMaster(); // the adapter is pulled
    QTRY_VERIFY_WITH_TIMEOUT(!f->transfer(), 5000);
    QTest::qWait(200);
    QCOMPARE(f.boxes.shown.size(), std::size_t(2)); // the padding question, then this
    QCOMPARE(f.boxes.lastText(),
             std::string("The port went away; the transfer was cancelled after 0 bytes."));
    QVERIFY(!f->session().lineTaker());
}

void TestFileTransfer::closedPortDisablesTheItems() {
    FrameFixture f;
    QVERIFY(f.created());
    f.linkPort();
    for (unsigned id = ID_FILE_SEND_XMODEM; id <= ID_FILE_RECEIVE_ZMODEM; ++id)
        QVERIFY(!Enabled(f.frame(), id));
    QVERIFY(f.openPort());
    for (unsigned id = ID_FILE_SEND_XMODEM; id <= ID_FILE_RECEIVE_ZMODEM; ++id)
        QVERIFY(Enabled(f.frame(), id));
}

// ZMODEM through lrzsz on both sides: a send through the menu to rz, then the device starts
// a send of its own (sz), and the frame offers to receive it.
void TestFileTransfer::zmodemBothWays() {
    if (QStandardPaths::findExecutable("sz").isEmpty()) QSKIP("lrzsz is not installed");
    FrameFixture f;
    QVERIFY(f.openPort());
    PtyPair far;
    QTemporaryDir peerDir, into;
    Relay relay(f.pty().master(), far.master());
    const QByteArray out = RandomBytes(50000), back = RandomBytes(777);
    const QString path = QString::fromStdString(f.tempPath("out.bin"));
    QVERIFY(WriteFile(path, out));
    {
        LrzszPeer rz;
        QVERIFY(rz.start(far.slavePath(), peerDir.path().toStdString(), {"rz", "-b"}));
        f.files.choose(path.toStdString());
        f->SendCommand(ID_FILE_SEND_ZMODEM, CMainFrame::Source::Menu);
        QVERIFY(f->TransferRunning());
        QTRY_VERIFY_WITH_TIMEOUT(!f->transfer(), 30000);
        QTRY_VERIFY_WITH_TIMEOUT(!rz.running(), 15000); // the relay needs the loop
    QCOMPARE(rz.wait(10000), 0);
    }
    QCOMPARE(ReadFile(peerDir.filePath("out.bin")), out);
    QVERIFY(f.boxes.shown.empty());

    QVERIFY(WriteFile(peerDir.filePath("back.bin"), back));
    LrzszPeer sz;
    f.boxes.answer(fw::Answer::Ok); // receive it
    f.files.choose(into.path().toStdString());
    QVERIFY(sz.start(far.slavePath(), peerDir.path().toStdString(), {"sz", "-b", "back.bin"}));
    QTRY_VERIFY_WITH_TIMEOUT(f->transfer(), 10000);
    QVERIFY(QString::fromStdString(f.boxes.lastText()).contains(QStringLiteral("ZMODEM send")));
    // A pty drops lrzsz's last write when it exits at once: sz's closing "OO" never reaches
    // rz, which would wait 30 s for it. Once sz has left, the relay says it for sz.
    QTimer over;
    QObject::connect(&over, &QTimer::timeout, [&] {
        if (!sz.running()) f.pty().writeAll("OO");
    });
    over.start(500);
    QTRY_VERIFY_WITH_TIMEOUT(!f->transfer(), 30000);
    QTRY_VERIFY_WITH_TIMEOUT(!sz.running(), 15000); // the relay needs the loop
    QCOMPARE(sz.wait(10000), 0);
    QCOMPARE(ReadFile(into.filePath("back.bin")), back);
    QCOMPARE(f.boxes.shown.size(), std::size_t(1));
    const QString screen = QString::fromStdString(f.screen());
    QVERIFY2(screen.contains(QStringLiteral("ZMODEM sent out.bin (50,000 bytes).")), qPrintable(screen));
    QVERIFY2(screen.contains(QStringLiteral("ZMODEM received back.bin (777 bytes).")), qPrintable(screen));
}

void TestFileTransfer::xonXoffIsSwitchedOffForTheTransfer_data() {
    QTest::addColumn<int>("handshaking");
    QTest::addColumn<bool>("agree");
    QTest::addColumn<int>("during");
    QTest::addRow("Xon/Xoff, agreed") << 1 << true << 0;
    QTest::addRow("both, agreed") << 3 << true << 2;
    QTest::addRow("declined") << 1 << false << 1;
    QTest::addRow("RTS/CTS is not asked about") << 2 << true << 2;
}

void TestFileTransfer::xonXoffIsSwitchedOffForTheTransfer() {
    QFETCH(int, handshaking);
    QFETCH(bool, agree);
    QFETCH(int, during);
    FrameFixture f;
    QVERIFY(f.openPort());
    f->comm().SetHandshaking(handshaking);
    const QString path = QString::fromStdString(f.tempPath("x.bin"));
    QVERIFY(WriteFile(path, "x"));
    f.files.choose(path.toStdString());
    f.boxes.answer(agree ? fw::Answer::Ok : fw::Answer::Cancel);
    f->SendCommand(ID_FILE_SEND_XMODEM, CMainFrame::Source::Menu);
    const bool asked = handshaking != 2;
    QCOMPARE(f.boxes.shown.size(), std::size_t(asked ? 1 : 0));
    if (asked) QVERIFY(f.boxes.lastText().find("0x11 and 0x13") != std::string::npos);
    QCOMPARE(f->TransferRunning(), agree);
    QCOMPARE(f->comm().GetHandshaking(), during);
    if (!agree) return;
    f->transferDialog()->cancelButton()->click();
    QTRY_VERIFY_WITH_TIMEOUT(!f->transfer(), 5000);
    QCOMPARE(f->comm().GetHandshaking(), handshaking); // given back
}

QTEST_MAIN(TestFileTransfer)
#include "tst_filetransfer.moc"
