// A port on another machine in the whole program, against the real ser2net on 127.0.0.1: the
// status bar while connecting, a server that goes and comes back (the wait, its message, the
// reopening) with the dump keeping everything.

#include "res/resource.h"
#include "tests/support/framefixture.h"
#include "tests/support/ser2net.h"

#include <QTimer>
#include <QtTest>

#include <fstream>
#include <iterator>

namespace {

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string Pane(FrameFixture& f) {
    return f->statusPanes().GetPaneText(0);
}

} // namespace

class TestNetFrame : public QObject {
    Q_OBJECT
private slots:
    void serverGoesAndComesBack();
};

void TestNetFrame::serverGoesAndComesBack() {
    if (!Ser2net::installed()) QSKIP("ser2net is not installed");
    FrameFixture f;
    QVERIFY(f.created());
    PtyPair pty;
    QVERIFY2(pty.isOpen(), pty.error().c_str());
    Ser2net server(pty.slavePath());
    QVERIFY2(server.start(), server.error().c_str());
    QVERIFY(f.ports().link(40, server.rfc2217Address()));
    f->comm().SetCommPort(40);
    const std::string dump = f.tempPath("net.dmp");
    f.files.choose(dump);
    f->SendCommand(ID_FILE_OPEN_DUMP, CMainFrame::Source::Menu);

    // The status bar while the connection is made: read from inside the open's wait.
    std::string whileConnecting;
    QTimer::singleShot(0, [&] { whileConnecting = Pane(f); });
    f->SendCommand(ID_COMM_PORT_OPEN, CMainFrame::Source::Menu);
    QVERIFY(f->comm().GetPortOpen());
    const std::string hostPort = "127.0.0.1:" + std::to_string(server.rfc2217Port());
    QCOMPARE(whileConnecting, "Connecting to " + hostPort + "...");
    QVERIFY(Pane(f) != whileConnecting);

    std::string sent;
    for (int i = 0; i < 256; ++i)
        sent += char(i);
    f->comm().SetOutput("hello"); // once it is there, ser2net holds the pty
    QCOMPARE(pty.read(5), std::string("hello"));
    QVERIFY(pty.writeAll(sent));
    QTRY_VERIFY_WITH_TIMEOUT(ReadFile(dump) == sent, 5000);

    server.stop();
    QTRY_VERIFY_WITH_TIMEOUT(f->session().portWait().isWaiting(), 5000);
    QCOMPARE(Pane(f), "Connection to " + hostPort + " lost; waiting to reconnect...");
    QTest::qWait(2500); // a look or two finds nothing listening, silently
    QVERIFY(f->session().portWait().isWaiting() && f.boxes.shown.empty());
    QCOMPARE(Pane(f), "Connection to " + hostPort + " lost; waiting to reconnect...");

    QVERIFY2(server.start(), server.error().c_str());
    QTRY_VERIFY_WITH_TIMEOUT(f->comm().GetPortOpen(), 5000);
    QCOMPARE(Pane(f), std::string("COM40 reopened"));
    f->comm().SetOutput("again");
    QCOMPARE(pty.read(5), std::string("again"));
    QVERIFY(pty.writeAll("more"));
    QTRY_VERIFY_WITH_TIMEOUT(ReadFile(dump) == sent + "more", 5000);
    QVERIFY(f.boxes.shown.empty());
}

QTEST_MAIN(TestNetFrame)
#include "tst_netframe.moc"
