// The orderly close: output drains with a question after every ten clock seconds, then the
// port, the dump and the settings, then the window. The clock is the test's: every reading
// is one second later than the one before, so the deadline arrives after a known number of
// passes of the drain.
#include "framework/clock.h"
#include "res/resource.h"
#include "tests/support/framefixture.h"

#include <QDir>
#include <QtTest>

namespace {

constexpr std::int64_t kStart = 1000;

// A clock that advances one second on every reading.
struct SteppingClock {
    SteppingClock() {
        fw::SetClockSource([this] { return next++; });
    }
    ~SteppingClock() { fw::SetClockSource({}); }
    std::int64_t last() const { return next - 1; }
    std::int64_t next = kStart;
};

// Writes to the open port until the control itself holds bytes that nobody reads; returns
// how many were written.
std::size_t JamOutput(FrameFixture& f) {
    const std::string chunk(256, 'x');
    std::size_t sent = 0;
    for (int round = 0; round < 20 && f->comm().GetOutBufferCount() == 0; ++round) {
        while (f->comm().GetOutBufferCount() == 0 && sent < (4u << 20)) {
            f->comm().SetOutput(chunk);
            sent += chunk.size();
        }
        QTest::qWait(100);
    }
    return sent;
}

bool StoreHas(const FrameFixture& f, const std::string& line) {
    return f.storeText().find(line) != std::string::npos;
}

} // namespace

class TestClose : public QObject {
    Q_OBJECT
private slots:
    void init();
    void closedPortClosesAtOnce();
    void exitCommandCloses();
    void openPortEmptyBufferClosesPortAndDump();
    void stuckOutputAsksAfterDeadline();
    void retryThenDrainCloses();
    void ignoreDiscardsAndCloses();
    void secondCloseDuringDrainIsHarmless();
};

void TestClose::init() {
    PtyPair probe;
    if (!probe.isOpen()) QSKIP(probe.error().c_str());
}

void TestClose::closedPortClosesAtOnce() {
    FrameFixture f;
    QVERIFY(f.created());
    QVERIFY(f.storeText().empty());
    f->comm().SetRThreshold(9);
    f->close();
    QVERIFY(f.boxes.shown.empty());
    QVERIFY(f->IsClosed());
    QVERIFY(!f->isVisible());
    QVERIFY(StoreHas(f, "\"RThreshold\"=dword:00000009"));
}

void TestClose::exitCommandCloses() {
    FrameFixture f;
    QVERIFY(f.created());
    f->SendCommand(ID_APP_EXIT, CMainFrame::Source::Menu);
    QVERIFY(f->IsClosed());
    QVERIFY(StoreHas(f, "\"RThreshold\"=dword:00000001"));
}

void TestClose::openPortEmptyBufferClosesPortAndDump() {
    FrameFixture f;
    QVERIFY(f.created());
    PtyPair& pty = f.linkPort(7);
    const std::string dump = f.tempPath("close.dmp");
    f.files.choose(dump);
    f->SendCommand(ID_FILE_OPEN_DUMP, CMainFrame::Source::Menu);
    QCOMPARE(f->session().dumpPath(), dump);
    f->SendCommand(ID_COMM_PORT_OPEN, CMainFrame::Source::ToolBar);
    QVERIFY(f->comm().GetPortOpen());
    QVERIFY(pty.writeAll("abc"));
    QTRY_COMPARE_WITH_TIMEOUT(f.screen(), std::string("abc"), 3000);

    SteppingClock clock;
    f->close();
    QVERIFY(f.boxes.shown.empty());
    QVERIFY(!f->comm().GetPortOpen());
    QVERIFY(f->session().dumpPath().empty());
    QVERIFY(!f->session().dumpFile().isOpen());
    QVERIFY(f->IsClosed());
    QVERIFY(StoreHas(f, "\"CommPort\"=dword:00000007"));
    QFile recorded(QString::fromStdString(dump));
    QVERIFY(recorded.open(QIODevice::ReadOnly));
    QCOMPARE(recorded.readAll(), QByteArray("abc"));
}

void TestClose::stuckOutputAsksAfterDeadline() {
    FrameFixture f;
    QVERIFY(f.created());
    f.linkPort(7);
    f->SendCommand(ID_COMM_PORT_OPEN, CMainFrame::Source::ToolBar);
    QVERIFY(JamOutput(f) > 0);
    const short held = f->comm().GetOutBufferCount();
    QVERIFY(held > 0);
    f.idle();
    const QString caption = f->windowTitle();

    SteppingClock clock;
    std::vector<std::int64_t> askedAt;
    std::vector<std::string> paneAtBox, paneExpected;
    f.boxes.onShow = [&](const fw::MessageBoxRequest&) {
        askedAt.push_back(clock.last());
        paneAtBox.push_back(f->statusPanes().GetPaneText(0));
        paneExpected.push_back("Sending " + std::to_string(f->comm().GetOutBufferCount()) +
                               " bytes before closing...");
    };
    f.boxes.answer(fw::Answer::Retry);
    f.boxes.answer(fw::Answer::Abort);
    f->close();
    // While it waits, the message pane tells what is still to go.
    QCOMPARE(paneAtBox, paneExpected);

    // Deadline kStart + 10, strictly exceeded at the reading kStart + 11; Retry reads the
    // clock once (kStart + 12) for the next deadline, kStart + 22.
    QCOMPARE(askedAt, (std::vector<std::int64_t>{kStart + 11, kStart + 23}));
    QCOMPARE(f.boxes.shown.size(), std::size_t(2));
    const fw::MessageBoxRequest& box = f.boxes.shown.front();
    QCOMPARE(box.text, std::string("Data could not be sent!"));
    QCOMPARE(box.buttons, fw::Buttons::AbortRetryIgnore);
    QCOMPARE(box.icon, fw::Icon::None);
    QCOMPARE(box.caption, std::string("Wirelog"));

    // Abort: everything as it was, nothing saved.
    QVERIFY(!f->IsClosed());
    QVERIFY(f->isVisible());
    QVERIFY(f->comm().GetPortOpen());
    QVERIFY(f->comm().GetOutBufferCount() > 0);
    QVERIFY(f.storeText().empty());
    f.idle();
    QCOMPARE(f->windowTitle(), caption);
    QCOMPARE(f->statusPanes().GetPaneText(0), std::string("Ready"));

    // A later close starts afresh with a new deadline.
    askedAt.clear();
    clock.next = 5000;
    f.boxes.answer(fw::Answer::Abort);
    f->close();
    QCOMPARE(askedAt, std::vector<std::int64_t>{5011});
    QVERIFY(!f->IsClosed());
}

void TestClose::retryThenDrainCloses() {
    FrameFixture f;
    QVERIFY(f.created());
    PtyPair& pty = f.linkPort(7);
    f->SendCommand(ID_COMM_PORT_OPEN, CMainFrame::Source::ToolBar);
    const std::size_t sent = JamOutput(f);
    QVERIFY(f->comm().GetOutBufferCount() > 0);
    f->comm().SetRThreshold(3);

    SteppingClock clock;
    std::size_t drained = 0;
    // At the question the far end starts reading; Retry then lets the rest go out.
    f.boxes.onShow = [&](const fw::MessageBoxRequest&) { drained = pty.read(sent, 10000).size(); };
    f.boxes.answer(fw::Answer::Retry);
    f->close();

    QCOMPARE(f.boxes.shown.size(), std::size_t(1));
    QVERIFY(f->IsClosed());
    QVERIFY(!f->comm().GetPortOpen());
    QCOMPARE(drained + pty.readAvailable().size(), sent);
    QVERIFY(StoreHas(f, "\"RThreshold\"=dword:00000003"));
}

void TestClose::ignoreDiscardsAndCloses() {
    FrameFixture f;
    QVERIFY(f.created());
    PtyPair& pty = f.linkPort(7);
    const std::string dump = f.tempPath("ignored.dmp");
    f.files.choose(dump);
    f->SendCommand(ID_FILE_OPEN_DUMP, CMainFrame::Source::Menu);
    f->SendCommand(ID_COMM_PORT_OPEN, CMainFrame::Source::ToolBar);
    const std::size_t sent = JamOutput(f);
    QVERIFY(f->comm().GetOutBufferCount() > 0);
    f->comm().SetRThreshold(4);

    SteppingClock clock;
    std::vector<std::int64_t> askedAt;
    f.boxes.onShow = [&](const fw::MessageBoxRequest&) { askedAt.push_back(clock.last()); };
    // Ignore gives up what is still unsent and closes as a drained close does: one question.
    f.boxes.answer(fw::Answer::Ignore);
    f->close();
    QCOMPARE(askedAt, std::vector<std::int64_t>{kStart + 11});
    QVERIFY(f->IsClosed());
    QVERIFY(!f->comm().GetPortOpen());
    QCOMPARE(f->comm().GetOutBufferCount(), short(0));
    QVERIFY(f->session().dumpPath().empty());
    QVERIFY(!f->session().dumpFile().isOpen());
    QVERIFY(StoreHas(f, "\"RThreshold\"=dword:00000004"));
    // What the control still held never reaches the line.
    const std::size_t arrived = pty.read(sent, 500).size();
    QVERIFY2(arrived < sent, qPrintable(QStringLiteral("%1 of %2").arg(arrived).arg(sent)));
}

void TestClose::secondCloseDuringDrainIsHarmless() {
    FrameFixture f;
    QVERIFY(f.created());
    PtyPair& pty = f.linkPort(7);
    f->SendCommand(ID_COMM_PORT_OPEN, CMainFrame::Source::ToolBar);
    const std::size_t sent = JamOutput(f);
    QVERIFY(f->comm().GetOutBufferCount() > 0);

    SteppingClock clock;
    // While the first close drains, the far end reads everything and a second close arrives:
    // that one finishes the job and the first must not touch the frame afterwards.
    CMainFrame* frame = &f.frame();
    QTimer::singleShot(0, frame, [&pty, sent, frame] {
        pty.read(sent, 10000);
        frame->close();
    });
    f->close();
    QVERIFY(f.boxes.shown.empty());
    QVERIFY(f->IsClosed());
    QVERIFY(!f->comm().GetPortOpen());
    QVERIFY(StoreHas(f, "\"CommPort\"=dword:00000007"));
    // A third request after the end changes nothing.
    const std::string saved = f.storeText();
    f->comm().SetRThreshold(8);
    f->close();
    QCOMPARE(f.storeText(), saved);
}

QTEST_MAIN(TestClose)
#include "tst_close.moc"
