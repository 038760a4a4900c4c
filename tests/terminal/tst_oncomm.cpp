// The control's event: status texts in the message pane, received text to the screen, line
// errors in an OK/Cancel box whose Cancel closes the port. The whole table is run by setting
// the code the handler reads; the codes a device can give are also raised for real, over a
// pseudo-terminal and over a scripted device (modem lines, error marks).
#include "res/resource.h"
#include "tests/support/fakedevice.h"
#include "tests/support/framefixture.h"
#include "tests/support/bytesprinter.h"

#include <QtTest>

using namespace std::string_literals;

namespace {

// The control raises only what its device reports; codes no device gives (EOF, the timeouts,
// codes outside the table) go to the session's handler as the control's event would bring them.
void Raise(CMainFrame& frame, short code) {
    fw::Guard(fw::Entry::ControlEvent, [&] { frame.session().handleEvent(code); });
}

std::string Pane0(FrameFixture& f) {
    return f->statusPanes().GetPaneText(0);
}

const std::string kTail = "\nOK to ignore, Cancel to quit";

} // namespace

class TestOnComm : public QObject {
    Q_OBJECT
private slots:
    void eventTable_data();
    void eventTable();
    void statusAfterError();
    void receiveOverPty();
    void oneInputReadPerEvent();
    void lineChanges_data();
    void lineChanges();
    void lineErrors_data();
    void lineErrors();
};

// The words of each event are the event table's (its own test); here one of each kind goes
// through the frame: a status to the pane, a line error to a box, an unknown code nowhere.
void TestOnComm::eventTable_data() {
    QTest::addColumn<int>("code");
    QTest::addColumn<std::string>("status");
    QTest::addColumn<std::string>("error");
    QTest::newRow("status") << 5 << "Change in CD Detected"s << ""s;
    QTest::newRow("error") << 1004 << ""s << "Framing Error"s;
    QTest::newRow("unknown") << 42 << ""s << ""s;
}

void TestOnComm::eventTable() {
    QFETCH(int, code);
    QFETCH(std::string, status);
    QFETCH(std::string, error);
    FrameFixture f;
    QVERIFY(f.openPort());
    f->statusPanes().SetPaneText(0, "earlier");
    f->screen().setText("screen");

    // OK leaves the port open.
    Raise(f.frame(), static_cast<short>(code));
    QCOMPARE(Pane0(f), status.empty() ? "earlier"s : status);
    QVERIFY(f->comm().GetPortOpen());
    QCOMPARE(f.screen(), "screen"s);
    if (error.empty()) {
        QVERIFY(f.boxes.shown.empty());
        QVERIFY(f.boxes.beeps.empty());
        return;
    }
    QCOMPARE(f.boxes.shown.size(), std::size_t{1});
    const fw::MessageBoxRequest& box = f.boxes.shown.front();
    QCOMPARE(box.text, error + kTail);
    QCOMPARE(box.caption, "Wirelog"s);
    QCOMPARE(box.buttons, fw::Buttons::OkCancel);
    QCOMPARE(box.icon, fw::Icon::Exclamation);
    QCOMPARE(f.boxes.beeps, std::vector<fw::Icon>{fw::Icon::Exclamation});

    // Cancel closes it; the status pane is never touched by a box.
    f.boxes.answer(fw::Answer::Cancel);
    Raise(f.frame(), static_cast<short>(code));
    QCOMPARE(f.boxes.shown.size(), std::size_t{2});
    QVERIFY(!f->comm().GetPortOpen());
    QCOMPARE(Pane0(f), "earlier"s);
}

void TestOnComm::statusAfterError() {
    FrameFixture f;
    QVERIFY(f.created());
    Raise(f.frame(), 1004);
    Raise(f.frame(), 3);
    Raise(f.frame(), 1005);
    QCOMPARE(Pane0(f), "Change in CTS Detected"s);
    QCOMPARE(f.boxes.shown.size(), std::size_t{1});
    QCOMPARE(f.boxes.beeps.size(), std::size_t{1});
}

void TestOnComm::receiveOverPty() {
    FrameFixture f;
    QVERIFY(f.openPort());
    PtyPair& pty = f.pty();
    f->statusPanes().SetPaneText(0, "earlier");
    QVERIFY(pty.writeAll("line one\r\n"));
    QTRY_COMPARE_WITH_TIMEOUT(f.screen(), "line one\r\n"s, 3000);
    QCOMPARE(Pane0(f), "Receiving"s);
    QVERIFY(f.boxes.shown.empty());
    QVERIFY(f.boxes.beeps.empty());
}

void TestOnComm::oneInputReadPerEvent() {
    FrameFixture f;
    QVERIFY(f.openPort());
    PtyPair& pty = f.pty();
    // No receive events of the control's own: the bytes wait in its buffer.
    f->comm().SetRThreshold(0);
    f->comm().SetInputLen(3);
    QVERIFY(pty.writeAll("abcdefg"));
    comm::SerialControl* control = f->comm().control();
    QTRY_COMPARE_WITH_TIMEOUT(control->inBufferCount(), 7, 3000);

    Raise(f.frame(), 2);
    QCOMPARE(f.screen(), "abc"s);
    QCOMPARE(control->inBufferCount(), 4);
    Raise(f.frame(), 2);
    QCOMPARE(f.screen(), "abcdef"s);
    Raise(f.frame(), 2);
    Raise(f.frame(), 2); // nothing left: an empty reading shows nothing
    QCOMPARE(f.screen(), "abcdefg"s);
    QCOMPARE(Pane0(f), "Receiving"s);
}

void TestOnComm::lineChanges_data() {
    QTest::addColumn<int>("line"); // 0 CTS, 1 DSR, 2 CD, 3 RI
    QTest::addColumn<std::string>("status");
    QTest::newRow("CTS") << 0 << "Change in CTS Detected"s;
    QTest::newRow("DSR") << 1 << "Change in DSR Detected"s;
    QTest::newRow("CD") << 2 << "Change in CD Detected"s;
    QTest::newRow("RI") << 3 << "Phone is Ringing"s;
}

void TestOnComm::lineChanges() {
    QFETCH(int, line);
    QFETCH(std::string, status);
    FrameFixture f;
    QVERIFY(f.created());
    auto script = std::make_shared<FakeDevice>();
    script->lines = comm::ModemLines{};
    f->comm().control()->setDeviceOpener(FakeOpener(script));
    f->SendCommand(ID_COMM_PORT_OPEN, CMainFrame::Source::Menu);
    QVERIFY(f->comm().GetPortOpen());
    f->statusPanes().SetPaneText(0, "earlier");

    bool comm::ModemLines::*const lines[] = {&comm::ModemLines::cts, &comm::ModemLines::dsr,
                                             &comm::ModemLines::cd, &comm::ModemLines::ri};
    (*script->lines).*lines[line] = true;
    QTRY_COMPARE_WITH_TIMEOUT(Pane0(f), status, 2000);
    QVERIFY(f.boxes.shown.empty());
    QVERIFY(f.boxes.beeps.empty());
}

void TestOnComm::lineErrors_data() {
    QTest::addColumn<QString>("settings");
    QTest::addColumn<std::string>("marked");
    QTest::addColumn<std::string>("error");
    QTest::addColumn<bool>("cancel");
    QTest::newRow("framing, OK") << "9600,n,8,1"
                                 << "\xFF\x00"
                                    "A"s
                                 << "Framing Error"s << false;
    QTest::newRow("framing, Cancel") << "9600,n,8,1"
                                     << "\xFF\x00"
                                        "A"s
                                     << "Framing Error"s << true;
    QTest::newRow("parity, Cancel") << "9600,e,8,1"
                                    << "\xFF\x00"
                                       "A"s
                                    << "Parity Error"s << true;
    QTest::newRow("break, OK") << "9600,n,8,1"
                               << "\xFF\x00\x00"s
                               << "Break Received"s << false;
}

void TestOnComm::lineErrors() {
    QFETCH(QString, settings);
    QFETCH(std::string, marked);
    QFETCH(std::string, error);
    QFETCH(bool, cancel);
    FrameFixture f;
    QVERIFY(f.created());
    auto script = std::make_shared<FakeDevice>();
    f->comm().control()->setDeviceOpener(FakeOpener(script));
    f->comm().SetSettings(settings.toStdString());
    f->SendCommand(ID_COMM_PORT_OPEN, CMainFrame::Source::Menu);
    QVERIFY(f->comm().GetPortOpen());
    if (cancel) f.boxes.answer(fw::Answer::Cancel);

    QVERIFY(script->send(marked));
    QTRY_COMPARE_WITH_TIMEOUT(f.boxes.shown.size(), std::size_t{1}, 2000);
    QCOMPARE(f.boxes.shown.front().text, error + kTail);
    QCOMPARE(f.boxes.beeps, std::vector<fw::Icon>{fw::Icon::Exclamation});
    QTRY_COMPARE_WITH_TIMEOUT(f->comm().GetPortOpen(), !cancel, 2000);
    if (cancel) return;
    // Ignored: the port goes on receiving.
    QVERIFY(script->send("ok"));
    QTRY_VERIFY_WITH_TIMEOUT(f.screen().ends_with("ok"), 2000);
    QCOMPARE(f.boxes.shown.size(), std::size_t{1});
}

QTEST_MAIN(TestOnComm)
#include "tst_oncomm.moc"
