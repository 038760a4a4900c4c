// Which control events the program tells, and how: a status in the message pane, or a line
// error in a box. Codes the program does not know are told nowhere.
#include "res/resource.h"
#include "terminal/commevents.h"

#include <QtTest>

class TestCommEvents : public QObject {
    Q_OBJECT
private slots:
    void eventTexts_data();
    void eventTexts();
};

void TestCommEvents::eventTexts_data() {
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("stringId"); // 0: not told
    QTest::addColumn<bool>("error");
    QTest::newRow("send") << 1 << int(IDS_EVENT_SEND) << false;
    QTest::newRow("receive") << int(terminal::kReceiveEvent) << int(IDS_EVENT_RECEIVE) << false;
    QTest::newRow("ring") << 6 << int(IDS_EVENT_RING) << false;
    QTest::newRow("end of file") << 7 << int(IDS_EVENT_EOF) << false;
    QTest::newRow("break") << 1001 << int(IDS_ERROR_BREAK) << true;
    QTest::newRow("framing") << 1004 << int(IDS_ERROR_FRAME) << true;
    QTest::newRow("parity") << 1009 << int(IDS_ERROR_RXPARITY) << true;
    QTest::newRow("transmit full") << 1010 << int(IDS_ERROR_TXFULL) << true;
    for (const int code : {0, 8, 1000, 1005, 1011, -1, 32767})
        QTest::addRow("%d unknown", code) << code << 0 << false;
}

void TestCommEvents::eventTexts() {
    QFETCH(int, code);
    QFETCH(int, stringId);
    QFETCH(bool, error);
    const terminal::CommEventText* text = terminal::FindEventText(static_cast<short>(code));
    if (stringId == 0) {
        QVERIFY(text == nullptr);
        return;
    }
    QVERIFY(text != nullptr);
    QCOMPARE(int(text->stringId), stringId);
    QCOMPARE(text->error, error);
}

QTEST_GUILESS_MAIN(TestCommEvents)
#include "tst_commevents.moc"
