// The frame end to end over a pseudo-terminal: open the port, bytes both ways, close.
#include "res/resource.h"
#include "tests/support/framefixture.h"

#include <QtTest>

class TestFrameRoad : public QObject {
    Q_OBJECT
private slots:
    void typedWithPortClosedShowsOnScreen();
    void openReceiveTypeClose();
};

void TestFrameRoad::typedWithPortClosedShowsOnScreen() {
    FrameFixture f;
    QVERIFY(f.created());
    f->screen().OnChar('h', 1, 0);
    f->screen().OnChar('i', 1, 0);
    QCOMPARE(f.screen(), std::string("hi"));
}

void TestFrameRoad::openReceiveTypeClose() {
    FrameFixture f;
    QVERIFY(f.openPort());
    PtyPair& pty = f.pty();

    QVERIFY(pty.writeAll("hello\r\n"));
    QTRY_COMPARE_WITH_TIMEOUT(f.screen(), std::string("hello\r\n"), 3000);

    f->screen().OnChar('x', 1, 0); // port open, no echo: to the wire only
    QCOMPARE(pty.read(1, 3000), std::string("x"));
    QCOMPARE(f.screen(), std::string("hello\r\n"));

    f->SendCommand(ID_COMM_PORT_CLOSE, CMainFrame::Source::Menu);
    QVERIFY(!f->comm().GetPortOpen());
}

QTEST_MAIN(TestFrameRoad)
#include "tst_frameroad.moc"
