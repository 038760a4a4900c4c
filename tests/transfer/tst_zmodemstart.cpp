// A device that starts a ZMODEM send by itself is noticed by its request header, wherever the
// reads split it.
#include "transfer/protocol/zmodemstart.h"

#include <QtTest>

using namespace protocol;

class TestZmodemStart : public QObject {
    Q_OBJECT
private slots:
    void zmodemStart_data();
    void zmodemStart();
};

void TestZmodemStart::zmodemStart_data() {
    QTest::addColumn<QStringList>("chunks"); // Latin-1, "^X" for CAN
    QTest::addColumn<int>("foundIn");         // -1: never
    QTest::newRow("whole") << QStringList{"rz\r**^XB00000000000000\r\n"} << 0;
    QTest::newRow("split everywhere") << QStringList{"x*", "*", "^X", "B", "0", "0"} << 5;
    QTest::newRow("split after star") << QStringList{"**", "*^XB00"} << 1;
    QTest::newRow("no CAN") << QStringList{"**B00", "**XB00"} << -1;
    QTest::newRow("broken by a byte") << QStringList{"**^X", "zB00"} << -1;
    QTest::newRow("only a start") << QStringList{"**^XB0"} << -1;
}

void TestZmodemStart::zmodemStart() {
    QFETCH(QStringList, chunks);
    QFETCH(int, foundIn);
    ZmodemStartDetector detector;
    int found = -1;
    for (int i = 0; i < chunks.size() && found < 0; ++i) {
        const std::string bytes = chunks[i].replace("^X", "\x18").toStdString();
        if (detector.feed(bytes)) found = i;
    }
    QCOMPARE(found, foundIn);
}

QTEST_APPLESS_MAIN(TestZmodemStart)
#include "tst_zmodemstart.moc"
