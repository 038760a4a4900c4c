// Faults the program must survive with nothing lost and a clear message: the device going away
// while receiving, sending and draining; a store that cannot be written; a port another program
// holds; a file that shrinks while it is sent.

#include "comm/serialcontrol.h"
#include "res/resource.h"
#include "settings/registrystore.h"
#include "tests/support/framefixture.h"

#include <QFile>
#include <QPointer>
#include <QRegularExpression>
#include <QTimer>
#include <QtTest>

#include <fstream>
#include <iterator>

#include <unistd.h>

namespace {

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), std::streamsize(bytes.size()));
}

bool AnyBoxContains(const ScriptedMessageBoxes& boxes, const std::string& part,
                    fw::Icon icon = fw::Icon::Stop) {
    for (const auto& box : boxes.shown)
        if (box.text.find(part) != std::string::npos && box.icon == icon) return true;
    return false;
}

// Opens COM7 over a fresh pty and checks that it worked.
PtyPair& OpenPort(FrameFixture& f) {
    PtyPair& pty = f.linkPort(7);
    f->SendCommand(ID_COMM_PORT_OPEN, CMainFrame::Source::Menu);
    return pty;
}

// Queues output that nobody takes until the control holds some of it even after the kernel
// has settled. Returns how many bytes were queued.
std::size_t StallOutput(FrameFixture& f) {
    const std::string chunk(4096, 'P');
    std::size_t queued = 0;
    for (int round = 0; round < 20 && f->m_wndComm.GetOutBufferCount() == 0; ++round) {
        for (int i = 0; i < 256 && f->m_wndComm.GetOutBufferCount() == 0; ++i) {
            f->m_wndComm.SetOutput(chunk);
            queued += chunk.size();
        }
        QTest::qWait(100);
    }
    return queued;
}

} // namespace

class TestFaults : public QObject {
    Q_OBJECT
private slots:
    void deviceGoneWhileReceiving();
    void deviceGoneWhileSending();
    void deviceGoneWhileDraining();
    void storeFolderNotWritable();
    void twoFramesSaveOneAfterTheOther();
    void portHeldByAnotherProgram();
    void fileShrinksWhileSent();
};

void TestFaults::deviceGoneWhileReceiving() {
    FrameFixture f;
    PtyPair& pty = OpenPort(f);
    QVERIFY(f->m_wndComm.GetPortOpen());
    const std::string dump = f.tempPath("gone.dmp");
    f.files.choose(dump);
    f->SendCommand(ID_FILE_OPEN_DUMP, CMainFrame::Source::Menu);
    QCOMPARE(f->m_strDumpFile, dump);

    std::string sent;
    for (int i = 0; i < 256; ++i)
        sent += char(i);
    QVERIFY(pty.writeAll(sent));
    QTRY_VERIFY_WITH_TIMEOUT(ReadFile(dump).size() == sent.size(), 3000);
    pty.closeMaster(); // the adapter is pulled out

    QTRY_VERIFY_WITH_TIMEOUT(AnyBoxContains(f.boxes, "has gone away"), 3000);
    QVERIFY(AnyBoxContains(f.boxes, "COM7"));
    QVERIFY(!f->m_wndComm.GetPortOpen());
    QCOMPARE(ReadFile(dump), sent); // everything that arrived is kept
    f.idle();
    // The caption no longer names the port, and still names the dump that goes on.
    QCOMPARE(f->windowTitle(), QStringLiteral("Wirelog - dumping to \"%1\"")
                                   .arg(QString::fromStdString(dump)));

    // The program carries on: the port opens again on a new device.
    PtyPair again;
    QVERIFY(f.ports().link(7, again.slavePath()));
    f->SendCommand(ID_COMM_PORT_OPEN, CMainFrame::Source::Menu);
    QVERIFY(f->m_wndComm.GetPortOpen());
    QVERIFY(again.writeAll("more"));
    QTRY_VERIFY_WITH_TIMEOUT(ReadFile(dump).size() == sent.size() + 4, 3000);
}

void TestFaults::deviceGoneWhileSending() {
    FrameFixture f;
    PtyPair& pty = OpenPort(f);
    QVERIFY(f->m_wndComm.GetPortOpen());
    const std::string file = f.tempPath("big.txt");
    WriteFile(file, std::string(512 * 1024, 'x'));
    f.files.choose(file);

    // Nobody reads, so the transmission stalls; then the device goes.
    QObject scope; // the timer goes with the test, whenever it ends
    QTimer::singleShot(300, &scope, [&pty] { pty.closeMaster(); });
    QElapsedTimer clock;
    clock.start();
    f->SendCommand(ID_FILE_TRANSMIT_TEXT, CMainFrame::Source::Menu);
    QVERIFY(clock.elapsed() < 10000);

    // The device's going is told once; the transmission ends as if cancelled and says in the
    // status bar how much of the file got out.
    QCOMPARE(f.boxes.shown.size(), std::size_t{1});
    QVERIFY(AnyBoxContains(f.boxes, "has gone away"));
    const QRegularExpression told(
        QStringLiteral("^The port was closed: (\\d+) of 524288 bytes of the file went out\\.$"));
    const auto match = told.match(QString::fromStdString(f->m_wndStatusBar.GetPaneText(0)));
    QVERIFY2(match.hasMatch(), f->m_wndStatusBar.GetPaneText(0).c_str());
    QVERIFY(match.captured(1).toLongLong() < 524288);
    QVERIFY(f->isEnabled());
    QVERIFY(f->m_bCancel);
    QVERIFY(!f->m_wndComm.GetPortOpen());
    // The file is free again: another program may open it exclusively.
    fw::File check;
    check.open(file, fw::File::Read | fw::File::Exclusive);
    check.close();
}

void TestFaults::deviceGoneWhileDraining() {
    FrameFixture f;
    PtyPair& pty = OpenPort(f);
    QVERIFY(f->m_wndComm.GetPortOpen());
    StallOutput(f);
    QVERIFY(f->m_wndComm.GetOutBufferCount() > 0);

    QPointer<CMainFrame> frame(&f.frame());
    QObject scope; // the timer goes with the test, whenever it ends
    QTimer::singleShot(300, &scope, [&pty] { pty.closeMaster(); });
    QElapsedTimer clock;
    clock.start();
    f->close();
    QVERIFY(clock.elapsed() < 10000); // the drain ends with the device, not at its deadline
    FrameFixture::flushDeletes();
    QVERIFY(frame.isNull() || frame->IsClosed());
    QVERIFY(f.storeText().find("Settings") != std::string::npos); // settings still saved
}

void TestFaults::storeFolderNotWritable() {
    FrameFixture f;
    QVERIFY(f.created());
    const QByteArray old = qgetenv("WIRELOG_REGISTRY");
    // A path below a file: no user, not even root, can create a folder there.
    const std::string blocker = f.tempPath("blocker");
    WriteFile(blocker, "x");
    qputenv("WIRELOG_REGISTRY", QByteArray::fromStdString(blocker + "/wirelog/registry.reg"));
    f->SaveSettings();
    qputenv("WIRELOG_REGISTRY", old);
    QVERIFY(AnyBoxContains(f.boxes, "The settings could not be saved to " + blocker));
}

void TestFaults::twoFramesSaveOneAfterTheOther() {
    FrameFixture first;
    FrameFixture second; // its store is the one both now use
    first->m_wndComm.SetSettings("1200,n,8,1");
    second->m_wndComm.SetSettings("4800,e,7,1");
    first->SaveSettings();
    second->SaveSettings();
    QVERIFY(first.boxes.shown.empty() && second.boxes.shown.empty());

    const std::string text = second.storeText();
    const auto reread = settings::detail::Rewrite(text);
    QVERIFY(reread.has_value()); // well-formed
    QCOMPARE(*reread, text);
    FrameFixture next(text); // the next start finds the last one's values
    QCOMPARE(next->m_wndComm.GetSettings(), std::string("4800,e,7,1"));
}

void TestFaults::portHeldByAnotherProgram() {
    FrameFixture f;
    PtyPair& pty = f.linkPort(7);
    comm::SerialControl other; // another program that has the port
    other.setCommPort(7);
    QVERIFY(other.setPortOpen(true).ok());

    f->SendCommand(ID_COMM_PORT_OPEN, CMainFrame::Source::Menu);
    QVERIFY(!f->m_wndComm.GetPortOpen());
    QVERIFY(
        AnyBoxContains(f.boxes, "COM7 (" + pty.slavePath() + ") is in use by another program."));

    // Once the other one lets go, the port opens.
    QVERIFY(other.setPortOpen(false).ok());
    f->SendCommand(ID_COMM_PORT_OPEN, CMainFrame::Source::Menu);
    QVERIFY(f->m_wndComm.GetPortOpen());
}

void TestFaults::fileShrinksWhileSent() {
    FrameFixture f;
    PtyPair& pty = OpenPort(f);
    QVERIFY(f->m_wndComm.GetPortOpen());
    const std::string file = f.tempPath("shrinks.txt");
    std::string content;
    for (int i = 0; i < 5000; ++i)
        content += char('a' + i % 26);
    WriteFile(file, content);
    f.files.choose(file);

    // Output that nobody takes yet holds the sender after its first chunk; while it waits the
    // file is cut to 700 bytes, and the reader starts taking everything.
    const std::size_t queued = StallOutput(f);
    QVERIFY(f->m_wndComm.GetOutBufferCount() > 0);
    std::string got;
    QTimer reader;
    reader.setInterval(5);
    QObject::connect(&reader, &QTimer::timeout, [&] { got += pty.readAvailable(); });
    QObject scope;
    QTimer::singleShot(0, &scope, [&] {
        QVERIFY(::truncate(file.c_str(), 700) == 0);
        reader.start();
    });
    f->SendCommand(ID_FILE_TRANSMIT_TEXT, CMainFrame::Source::Menu);
    QTRY_VERIFY_WITH_TIMEOUT((got += pty.readAvailable(), got.size() >= queued + 700), 5000);
    QTest::qWait(100);
    got += pty.readAvailable();
    reader.stop();

    // Exactly what the file still held, nothing invented past its end.
    // Chunks read before the cut went whole; after it, only what was left up to byte 700.
    QVERIFY(got.size() > queued);
    const std::size_t sent = got.size() - queued;
    QVERIFY2(sent == 700 || (sent % 512 == 0 && sent < content.size()),
             qPrintable(QString::number(sent)));
    QVERIFY(got.substr(queued) == content.substr(0, sent));
    QVERIFY(f->isEnabled());
    // The only box is the buffer-full warning that the test's own prefill caused.
    for (const auto& box : f.boxes.shown)
        QVERIFY2(box.text.starts_with("Transmit Buffer Full"), box.text.c_str());
}

QTEST_MAIN(TestFaults)
#include "tst_faults.moc"
