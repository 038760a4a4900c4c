// Dialling and hanging up: the dial string with the number taken literally, in one write; the
// number offered again within the run; the DTR pulse that leaves DTREnable as it was.
#include "framework/codepage.h"
#include "framework/commands.h"
#include "res/resource.h"
#include "settings/valuedlg.h"
#include "tests/support/fakedevice.h"
#include "tests/support/framefixture.h"
#include "tests/support/modaldriver.h"
#include "tests/support/bytesprinter.h"
#include "session/hanguppulse.h"
#include "transfer/modem.h"

#include <QLabel>
#include <QLineEdit>
#include <QtTest>

using namespace std::string_literals;

namespace {

struct PromptSeen {
    QString prompt;
    QString offered;
    QString selected;
};

// Answers the next dial prompt: types `number` and confirms it, or cancels after typing.
std::shared_ptr<bool> AnswerPrompt(const std::string& number, bool ok, PromptSeen* seen = nullptr) {
    return ModalDriver::whenShown<CValueDlg>([number, ok, seen](CValueDlg* dialog) {
        if (seen) {
            seen->prompt = dialog->promptLabel()->text();
            seen->offered = dialog->valueField()->text();
            seen->selected = dialog->valueField()->selectedText();
        }
        dialog->valueField()->setText(fw::FromAnsi(number));
        QDialog* base = dialog;
        if (ok)
            base->accept();
        else
            base->reject();
    });
}

class CheckProbe final : public fw::CmdUI {
public:
    using CmdUI::CmdUI;
    void Enable(bool on) override { enabled = on; }
    void SetCheck(bool on) override { checked = on; }
    bool enabled = true;
    bool checked = false;
};

bool DtrChecked(CMainFrame& frame) {
    CheckProbe probe(ID_SETTINGS_DTRENABLE);
    frame.UpdateCommand(probe);
    return probe.checked;
}

} // namespace

class TestModem : public QObject {
    Q_OBJECT
private slots:
    void dialString_data();
    void dialString();
    void numberOfferedAgainAndCancelKeepsIt();
    void dialIsOneWrite();
    void disabledWhilePortClosed();
    void hangUp_data();
    void hangUp();
};

void TestModem::dialString_data() {
    QTest::addColumn<std::string>("number");
    QTest::newRow("empty") << ""s;
    QTest::newRow("blanks, dashes, commas") << " 0 12-345, 6 "s;
    QTest::newRow("per cent signs") << "%s%n%d%%%"s;
    std::string longNumber;
    for (int i = 0; i < 200; ++i)
        longNumber.push_back(static_cast<char>('0' + i % 10));
    QTest::newRow("200 characters") << longNumber;
}

void TestModem::dialString() {
    QFETCH(std::string, number);
    FrameFixture f;
    QVERIFY(f.openPort());
    PtyPair& pty = f.pty();

    PromptSeen seen;
    auto answered = AnswerPrompt(number, true, &seen);
    f->SendCommand(ID_COMM_DIAL, CMainFrame::Source::Menu);
    QVERIFY(*answered);
    QCOMPARE(seen.prompt, QStringLiteral("Phone Number:"));
    QCOMPARE(seen.offered, QString());

    const std::string expected = "+++ATDT" + number + "\r\n";
    QCOMPARE(pty.read(expected.size(), 3000), expected);
    QCOMPARE(pty.read(1, 200), ""s);
    QCOMPARE(f->phoneNumber(), number);
    QVERIFY(f.boxes.shown.empty());
}

void TestModem::numberOfferedAgainAndCancelKeepsIt() {
    FrameFixture f;
    QVERIFY(f.openPort());
    PtyPair& pty = f.pty();

    auto first = AnswerPrompt("555-0100", true);
    f->SendCommand(ID_COMM_DIAL, CMainFrame::Source::Menu);
    QVERIFY(*first);
    QCOMPARE(pty.read(17, 3000), "+++ATDT555-0100\r\n"s);

    PromptSeen seen;
    auto second = AnswerPrompt("999", false, &seen); // edited, then cancelled
    f->SendCommand(ID_COMM_DIAL, CMainFrame::Source::Menu);
    QVERIFY(*second);
    QCOMPARE(seen.offered, QStringLiteral("555-0100"));
    QCOMPARE(seen.selected, QStringLiteral("555-0100"));
    QCOMPARE(pty.read(1, 200), ""s);
    QCOMPARE(f->phoneNumber(), "555-0100"s);

    auto third = AnswerPrompt("", true, &seen);
    f->SendCommand(ID_COMM_DIAL, CMainFrame::Source::Menu);
    QVERIFY(*third);
    QCOMPARE(seen.offered, QStringLiteral("555-0100"));
    QCOMPARE(pty.read(9, 3000), "+++ATDT\r\n"s);
}

void TestModem::dialIsOneWrite() {
    FrameFixture f;
    QVERIFY(f.created());
    auto record = std::make_shared<FakeDevice>();
    f->comm().control()->setDeviceOpener(FakeOpener(record));
    f->SendCommand(ID_COMM_PORT_OPEN, CMainFrame::Source::Menu);
    QVERIFY(f->comm().GetPortOpen());
    auto answered = AnswerPrompt("42", true);
    f->SendCommand(ID_COMM_DIAL, CMainFrame::Source::Menu);
    QVERIFY(*answered);
    QCOMPARE(record->writes, std::vector<std::string>{"+++ATDT42\r\n"});
}

void TestModem::disabledWhilePortClosed() {
    FrameFixture f;
    QVERIFY(f.created());
    auto answered = AnswerPrompt("1", true);
    f->SendCommand(ID_COMM_DIAL, CMainFrame::Source::Menu);
    f->SendCommand(ID_COMM_HANGUP, CMainFrame::Source::Menu);
    QTest::qWait(50); // the driver would have found a prompt by now
    QVERIFY(!*answered);
    QVERIFY(f.boxes.shown.empty());
    QCOMPARE(f->phoneNumber(), ""s);
}

void TestModem::hangUp_data() {
    QTest::addColumn<bool>("dtr");
    QTest::addColumn<QString>("during"); // what happens while DTR is down
    QTest::newRow("DTR enabled") << true << "";
    QTest::newRow("DTR disabled") << false << "";
    QTest::newRow("a second Hang Up") << true << "hang up";
    QTest::newRow("Port Close") << true << "port close";
    QTest::newRow("the window closes") << true << "window close";
}

void TestModem::hangUp() {
    QFETCH(bool, dtr);
    QFETCH(QString, during);
    using namespace std::chrono;
    FrameFixture f;
    QVERIFY(f.created());
    auto script = std::make_shared<FakeDevice>();
    f->comm().control()->setDeviceOpener(FakeOpener(script));
    f->comm().SetDTREnable(dtr);
    f->SendCommand(ID_COMM_PORT_OPEN, CMainFrame::Source::Menu);
    QVERIFY(f->comm().GetPortOpen());
    const auto levels = [&script] {
        std::vector<bool> on;
        for (const auto& change : script->dtrChanges)
            on.push_back(change.on);
        return on;
    };
    QCOMPARE(levels(), std::vector<bool>{dtr}); // as opened
    const bool checkedBefore = DtrChecked(f.frame());
    QCOMPARE(checkedBefore, dtr);

    // Raised and dropped; the command returns with the line down and the window at work.
    f->SendCommand(ID_COMM_HANGUP, CMainFrame::Source::Menu);
    QCOMPARE(levels(), (std::vector<bool>{dtr, true, false}));
    QVERIFY(script->send("while down"));
    QTRY_COMPARE_WITH_TIMEOUT(f.screen(), "while down"s, 3000);
    QCOMPARE(levels().size(), std::size_t{3}); // received before DTR came back

    if (during == "hang up") {
        f->SendCommand(ID_COMM_HANGUP, CMainFrame::Source::Menu);
        QCOMPARE(levels().size(), std::size_t{3}); // no second pulse inside the first
    } else if (during == "port close") {
        f->SendCommand(ID_COMM_PORT_CLOSE, CMainFrame::Source::ToolBar);
        QVERIFY(!f->comm().GetPortOpen());
        QCOMPARE(f->comm().GetDTREnable(), dtr);
        QCOMPARE(DtrChecked(f.frame()), checkedBefore);
        // Opened again at once: DTR as it was, and nothing of the old pulse lands on it.
        f->SendCommand(ID_COMM_PORT_OPEN, CMainFrame::Source::ToolBar);
        QTest::qWait(session::kHangUpMs + 300);
        QCOMPARE(levels(), (std::vector<bool>{dtr, true, false, dtr}));
        QVERIFY(f.boxes.shown.empty());
        return;
    } else if (during == "window close") {
        f->close();
        QVERIFY(f->IsClosed());
        QVERIFY(f.storeText().find("\"DTREnable\"=dword:00000001") != std::string::npos);
        FrameFixture::flushDeletes();
        QTest::qWait(session::kHangUpMs + 300);
        QCOMPARE(levels(), (std::vector<bool>{dtr, true, false})); // nothing after the close
        QVERIFY(f.boxes.shown.empty());
        return;
    }

    // About a second later DTREnable is as it was, with nothing sent.
    QTRY_COMPARE_WITH_TIMEOUT(levels().size(), std::size_t{4}, 5000);
    QCOMPARE(levels(), (std::vector<bool>{dtr, true, false, dtr}));
    const auto down =
        duration_cast<milliseconds>(script->dtrChanges[3].at - script->dtrChanges[2].at);
    QVERIFY2(down >= 900ms && down <= 1500ms, qPrintable(QString::number(down.count())));
    QVERIFY(f.boxes.shown.empty());
    QCOMPARE(f->comm().GetDTREnable(), dtr);
    QCOMPARE(DtrChecked(f.frame()), checkedBefore);
    QCOMPARE(script->wire(), ""s);
}

QTEST_MAIN(TestModem)
#include "tst_modem.moc"
