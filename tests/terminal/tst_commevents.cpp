// Which control events the program tells, in which words, and how: a status in the message
// pane, or a line error in a box. Codes the program does not know are told nowhere.
#include "framework/stringtable.h"
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
    QTest::addColumn<QString>("text"); // empty: not told
    QTest::addColumn<bool>("error");
    const std::pair<int, const char*> statuses[] = {
        {1, "Sending"},
        {terminal::kReceiveEvent, "Receiving"},
        {3, "Change in CTS Detected"},
        {4, "Change in DSR Detected"},
        {5, "Change in CD Detected"},
        {6, "Phone is Ringing"},
        {7, "End of File Detected"},
    };
    for (const auto& [code, text] : statuses)
        QTest::addRow("%d status", code) << code << QString::fromLatin1(text) << false;
    const std::pair<int, const char*> errors[] = {
        {1001, "Break Received"},
        {1002, "CTS Timeout"},
        {1003, "DSR Timeout"},
        {1004, "Framing Error"},
        {1006, "Overrun Error"},
        {1007, "Carrier Detect Timeout"},
        {1008, "Receive Buffer Overflow"},
        {1009, "Parity Error"},
        {1010, "Transmit Buffer Full"},
    };
    for (const auto& [code, text] : errors)
        QTest::addRow("%d error", code) << code << QString::fromLatin1(text) << true;
    for (const int code : {0, 8, 42, 1000, 1005, 1011, -1, 32767})
        QTest::addRow("%d unknown", code) << code << QString() << false;
}

void TestCommEvents::eventTexts() {
    QFETCH(int, code);
    QFETCH(QString, text);
    QFETCH(bool, error);
    const terminal::CommEventText* told = terminal::FindEventText(static_cast<short>(code));
    if (text.isEmpty()) {
        QVERIFY(told == nullptr);
        return;
    }
    QVERIFY(told != nullptr);
    QCOMPARE(QString::fromStdString(fw::LoadString(told->stringId)), text);
    QCOMPARE(told->error, error);
}

QTEST_GUILESS_MAIN(TestCommEvents)
#include "tst_commevents.moc"
