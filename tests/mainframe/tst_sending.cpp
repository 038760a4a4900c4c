// Sending through a real frame over a pseudo-terminal: the send bar's bytes on the wire in
// text and hex with each line ending, a macro with its pause, paste with its line breaks and
// its question, pacing gaps; Break and RTS through the fake device.
#include "res/resource.h"
#include "tests/support/bytesprinter.h"
#include "tests/support/fakedevice.h"
#include "tests/support/framefixture.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

using namespace std::string_literals;

class TestSending : public QObject {
    Q_OBJECT
private slots:
    void init();
    void sendBarOnTheWire_data();
    void sendBarOnTheWire();
    void macroWithPause();
    void badMacroSendsNothing();
    void paste_data();
    void paste();
    void pacingGaps();
    void breakThroughTheDevice();
};

void TestSending::init() {
    PtyPair probe;
    if (!probe.isOpen()) QSKIP(probe.error().c_str());
}

void TestSending::sendBarOnTheWire_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("hex");
    QTest::addColumn<int>("ending");
    QTest::addColumn<QByteArray>("wire");
    const char* endings[] = {"", "\r", "\n", "\r\n"};
    for (int e = 0; e < 4; ++e) {
        QTest::addRow("text %d", e) << "AT+X" << false << e << QByteArray("AT+X") + endings[e];
        QTest::addRow("hex %d", e)
            << "41 0x00 \\x7f" << true << e << QByteArray("A\0\x7f", 3) + endings[e];
    }
}

void TestSending::sendBarOnTheWire() {
    QFETCH(QString, typed);
    QFETCH(bool, hex);
    QFETCH(int, ending);
    QFETCH(QByteArray, wire);
    FrameFixture f;
    QVERIFY(f.openPort());
    f->SendCommand(ID_VIEW_SENDBAR, CMainFrame::Source::Menu);
    f->sendBar()->setHex(hex);
    f->sendBar()->setLineEnding(static_cast<transfer::LineEnding>(ending));
    QTest::keyClicks(f->sendBar()->field(), typed);
    QTest::keyClick(f->sendBar()->field(), Qt::Key_Return);
    QCOMPARE(f.pty().read(std::size_t(wire.size()), 3000), wire.toStdString());
    QTest::qWait(20);
    QCOMPARE(f.pty().readAvailable(), std::string());
    QVERIFY(f.boxes.shown.empty());
}

void TestSending::macroWithPause() {
    FrameFixture f;
    QVERIFY(f.openPort());
    settings::Macros macros;
    macros[3] = {"Two", "one\\d150two\\r"};
    f->SetMacros(macros);
    f->SendCommand(ID_VIEW_MACROBAR, CMainFrame::Source::Menu);
    f.idle();
    QVERIFY(f->macroBar()->button(3)->isEnabled());
    QTest::mouseClick(f->macroBar()->button(3), Qt::LeftButton);
    QCOMPARE(f.pty().read(3, 3000), "one"s);
    QElapsedTimer gap;
    gap.start();
    // The pause is a timer: the window goes on and the progress shows meanwhile.
    QVERIFY(f->sendRuns().busy());
    QVERIFY(f->sendProgress()->isVisible());
    QCOMPARE(f.pty().read(4, 3000), "two\r"s);
    QVERIFY2(gap.elapsed() >= 120, qPrintable(QString::number(gap.elapsed())));
    QTRY_VERIFY_WITH_TIMEOUT(!f->sendProgress()->isVisible(), 3000);
    // Escape in the screen stops a macro in its pause: the rest never goes.
    macros[3].text = "a\\d60000b";
    f->SetMacros(macros);
    f->SendCommand(ID_COMM_MACRO_FIRST + 3, CMainFrame::Source::Menu);
    QCOMPARE(f.pty().read(1, 3000), "a"s);
    QTest::keyClick(&f->screen(), Qt::Key_Escape);
    QVERIFY(!f->sendRuns().busy());
    QTest::qWait(30);
    QCOMPARE(f.pty().readAvailable(), std::string()); // not even the Escape
    QVERIFY(f.boxes.shown.empty());
}

void TestSending::badMacroSendsNothing() {
    FrameFixture f;
    QVERIFY(f.openPort());
    settings::Macros macros;
    macros[0] = {"Bad", "AT\\q"};
    f->SetMacros(macros);
    f->SendCommand(ID_COMM_MACRO_FIRST, CMainFrame::Source::Menu);
    QCOMPARE(f.boxes.shown.size(), std::size_t(1));
    QVERIFY2(f.boxes.shown[0].text.find("Unknown escape \\q at column 3") != std::string::npos,
             f.boxes.shown[0].text.c_str());
    QTest::qWait(20);
    QCOMPARE(f.pty().readAvailable(), std::string());
}

void TestSending::paste_data() {
    QTest::addColumn<QByteArray>("clip");
    QTest::addColumn<bool>("asks");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QByteArray>("wire");
    QTest::newRow("lines") << QByteArray("a\nb\r\nc") << false << true << QByteArray("a\rb\rc");
    QTest::newRow("long, cancelled") << QByteArray(5000, 'x') << true << false << QByteArray();
    QTest::newRow("long, confirmed")
        << QByteArray(5000, 'x') << true << true << QByteArray(5000, 'x');
    QTest::newRow("escape sequence asks")
        << QByteArray("\x1b[2J") << true << true << QByteArray("\x1b[2J");
}

void TestSending::paste() {
    QFETCH(QByteArray, clip);
    QFETCH(bool, asks);
    QFETCH(bool, ok);
    QFETCH(QByteArray, wire);
    FrameFixture f;
    QVERIFY(f.openPort());
    QApplication::clipboard()->setText(QString::fromLatin1(clip));
    f.boxes.answer(ok ? fw::Answer::Ok : fw::Answer::Cancel);
    f->screen().setFocus();
    QTest::keyClick(&f->screen(), Qt::Key_V, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(f.boxes.shown.size(), std::size_t(asks ? 1 : 0));
    if (asks)
        QVERIFY2(f.boxes.shown[0].text.find(std::to_string(
                     wire.isEmpty() ? clip.size() : wire.size())) != std::string::npos,
                 f.boxes.shown[0].text.c_str());
    if (!wire.isEmpty()) QCOMPARE(f.pty().read(std::size_t(wire.size()), 5000), wire.toStdString());
    QTest::qWait(20);
    QCOMPARE(f.pty().readAvailable(), std::string());
}

void TestSending::pacingGaps() {
    FrameFixture f;
    QVERIFY(f.openPort());
    f->SetPacing({40, 0});
    f->SendCommand(ID_VIEW_SENDBAR, CMainFrame::Source::Menu);
    f->sendBar()->setLineEnding(transfer::LineEnding::None);
    QTest::keyClicks(f->sendBar()->field(), "abc");
    QElapsedTimer clock;
    clock.start();
    QTest::keyClick(f->sendBar()->field(), Qt::Key_Return);
    QCOMPARE(f.pty().read(1, 3000), "a"s);
    QCOMPARE(f.pty().read(1, 3000), "b"s);
    QCOMPARE(f.pty().read(1, 3000), "c"s);
    // Two gaps of at least 40 ms each between three characters.
    QVERIFY2(clock.elapsed() >= 75, qPrintable(QString::number(clock.elapsed())));
}

void TestSending::breakThroughTheDevice() {
    FrameFixture f;
    QVERIFY(f.created());
    auto device = std::make_shared<FakeDevice>();
    f->comm().control()->setDeviceOpener(FakeOpener(device));
    const auto enabled = [&f](unsigned id) {
        fw::ProbeCmdUI probe(id);
        f->UpdateCommand(probe);
        return probe.enabled;
    };
    QVERIFY(!enabled(ID_COMM_SENDBREAK));
    f->SendCommand(ID_COMM_SENDBREAK, CMainFrame::Source::Menu);
    QVERIFY(device->breaks.empty());
    f->SendCommand(ID_COMM_PORT_OPEN, CMainFrame::Source::Menu);
    QVERIFY(f->comm().GetPortOpen());
    QVERIFY(enabled(ID_COMM_SENDBREAK));
    f->SendCommand(ID_COMM_SENDBREAK, CMainFrame::Source::Menu);
    QCOMPARE(device->breaks, std::vector<bool>{true});
    QTRY_COMPARE_WITH_TIMEOUT(device->breaks, (std::vector<bool>{true, false}), 3000);
    // A device that refuses a Break: its own error is shown, as for any failed command.
    device->refuseBreak = true;
    f->SendCommand(ID_COMM_SENDBREAK, CMainFrame::Source::Menu);
    QTRY_COMPARE_WITH_TIMEOUT(f.boxes.shown.size(), std::size_t(1), 3000);
    QVERIFY2(f.boxes.shown[0].text.find("does not take a Break") != std::string::npos,
             f.boxes.shown[0].text.c_str());
    QCOMPARE(f.boxes.shown[0].icon, fw::Icon::Stop);
    QVERIFY(f->comm().GetPortOpen());
    f.boxes.shown.clear();
    device->refuseBreak = false;
    // RTS Enable reaches the line too.
    const bool rts = device->rts;
    f->SendCommand(ID_SETTINGS_RTSENABLE, CMainFrame::Source::Menu);
    QCOMPARE(device->rts, !rts);
    QVERIFY(f.boxes.shown.empty());
}

QTEST_MAIN(TestSending)
#include "tst_sending.moc"
