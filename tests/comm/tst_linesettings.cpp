#include "comm/linesettings.h"

#include <QtTest>

#include <asm/termbits.h>

using namespace comm;

class TestLineSettings : public QObject {
    Q_OBJECT
private slots:
    void parseValid_data();
    void parseValid();
    void parseInvalid_data();
    void parseInvalid();
    void termios_data();
    void termios();
};

void TestLineSettings::parseValid_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("normalised");
    QTest::addColumn<uint>("baud");
    QTest::addColumn<int>("stop"); // StopBits
    QTest::newRow("default") << "9600,n,8,1"
                             << "9600,n,8,1" << 9600u << 0;
    QTest::newRow("upper-case parity") << "9600,N,8,1"
                                       << "9600,n,8,1" << 9600u << 0;
    QTest::newRow("blanks") << " 115200 , E , 5 ,\t1.5 "
                            << "115200,e,5,1.5" << 115200u << 1;
    QTest::newRow("57600 odd 2") << "57600,o,8,2"
                                 << "57600,o,8,2" << 57600u << 2;
    QTest::newRow("921600 mark 5") << "921600,M,5,1.5"
                                   << "921600,m,5,1.5" << 921600u << 1;
    QTest::newRow("3000000 space 6") << "3000000,s,6,1"
                                     << "3000000,s,6,1" << 3000000u << 0;
    QTest::newRow("odd rate 31250") << "31250,n,8,1"
                                    << "31250,n,8,1" << 31250u << 0;
    QTest::newRow("lowest") << "1,n,8,1"
                            << "1,n,8,1" << 1u << 0;
    QTest::newRow("highest") << "4000000,e,8,2"
                             << "4000000,e,8,2" << 4000000u << 2;
}

void TestLineSettings::parseValid() {
    QFETCH(QString, text);
    QFETCH(QString, normalised);
    QFETCH(uint, baud);
    QFETCH(int, stop);
    LineSettings s;
    const Status st = ParseSettings(text.toStdString(), s);
    QVERIFY2(st.ok(), st.description.c_str());
    QVERIFY(st.description.empty());
    QCOMPARE(s.baud, baud);
    QCOMPARE(static_cast<int>(s.stopBits), stop);
    QCOMPARE(QString::fromStdString(FormatSettings(s)), normalised);
    LineSettings again;
    QVERIFY(ParseSettings(FormatSettings(s), again).ok());
    QCOMPARE(again, s);
}

void TestLineSettings::parseInvalid_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("why");
    const QString fields = "it must be the baud rate, parity, data bits and stop bits separated by "
                           "commas, as in 9600,n,8,1";
    const QString baud = "the baud rate must be a whole number from 1 to 4000000";
    const QString parity = "the parity must be one of n, o, e, m, s";
    const QString data = "the data bits must be 5, 6, 7 or 8";
    const QString stop = "the stop bits must be 1, 1.5 or 2";
    QTest::newRow("word") << "abc" << fields;
    QTest::newRow("empty") << "" << fields;
    QTest::newRow("three fields") << "9600,n,8" << fields;
    QTest::newRow("five fields") << "9600,n,8,1,1" << fields;
    QTest::newRow("baud 0") << "0,n,8,1" << baud;
    QTest::newRow("baud too high") << "4000001,n,8,1" << baud;
    QTest::newRow("baud overflow") << "99999999999,n,8,1" << baud;
    QTest::newRow("baud negative") << "-9600,n,8,1" << baud;
    QTest::newRow("baud plus") << "+9600,n,8,1" << baud;
    QTest::newRow("baud letter") << "96O0,n,8,1" << baud;
    QTest::newRow("baud blank inside") << "96 00,n,8,1" << baud;
    QTest::newRow("parity x") << "9600,x,8,1" << parity;
    QTest::newRow("parity empty") << "9600,,8,1" << parity;
    QTest::newRow("parity word") << "9600,no,8,1" << parity;
    QTest::newRow("data 4") << "9600,n,4,1" << data;
    QTest::newRow("data 9") << "9600,n,9,1" << data;
    QTest::newRow("data 88") << "9600,n,88,1" << data;
    QTest::newRow("stop 3") << "9600,n,8,3" << stop;
    QTest::newRow("stop 1.0") << "9600,n,8,1.0" << stop;
    QTest::newRow("stop 0") << "9600,n,8,0" << stop;
    QTest::newRow("stop empty") << "9600,n,8," << stop;
    const QString oneAndHalf = "1.5 stop bits can only be set with 5 data bits";
    QTest::newRow("1.5 with 6 data bits") << "9600,n,6,1.5" << oneAndHalf;
    QTest::newRow("1.5 with 7 data bits") << "9600,e,7,1.5" << oneAndHalf;
    QTest::newRow("1.5 with 8 data bits") << "9600,n,8,1.5" << oneAndHalf;
}

void TestLineSettings::parseInvalid() {
    QFETCH(QString, text);
    QFETCH(QString, why);
    LineSettings s{19200, 'e', 7, StopBits::Two};
    const LineSettings before = s;
    const Status st = ParseSettings(text.toStdString(), s);
    QCOMPARE(st.code, ErrorCode::InvalidSettings);
    QCOMPARE(QString::fromStdString(st.description),
             "Settings \"" + text + "\" is not valid: " + why + ".");
    QCOMPARE(s, before);
}

// The frame's bits are checked here and not on a pseudo-terminal: the pty driver sets CS8
// and clears PARENB whatever it is given, so only the termios made can show them.
void TestLineSettings::termios_data() {
    QTest::addColumn<QString>("settings");
    QTest::addColumn<int>("handshaking");
    QTest::addColumn<uint>("cflagOn");
    QTest::addColumn<uint>("cflagOff");
    QTest::addColumn<uint>("iflagOn");
    QTest::addColumn<uint>("iflagOff");
    const uint parity = PARENB | PARODD | CMSPAR;
    QTest::newRow("8n1 none") << "9600,n,8,1" << 0 << uint(CS8) << (parity | CSTOPB | CRTSCTS) << 0u
                              << uint(IXON | IXOFF);
    QTest::newRow("7o2 xon") << "57600,o,7,2" << 1 << uint(CS7 | PARENB | PARODD | CSTOPB)
                             << uint(CMSPAR | CRTSCTS) << uint(IXON | IXOFF) << 0u;
    QTest::newRow("6e1 rts") << "115200,e,6,1" << 2 << uint(CS6 | PARENB | CRTSCTS)
                             << uint(PARODD | CMSPAR | CSTOPB) << 0u << uint(IXON | IXOFF);
    QTest::newRow("5m1.5 both") << "921600,m,5,1.5" << 3
                                << uint(CS5 | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS) << 0u
                                << uint(IXON | IXOFF) << 0u;
    QTest::newRow("8s1 odd rate") << "31250,s,8,1" << 0 << uint(CS8 | PARENB | CMSPAR)
                                  << uint(PARODD | CSTOPB) << 0u << 0u;
}

void TestLineSettings::termios() {
    QFETCH(QString, settings);
    QFETCH(int, handshaking);
    QFETCH(uint, cflagOn);
    QFETCH(uint, cflagOff);
    QFETCH(uint, iflagOn);
    QFETCH(uint, iflagOff);
    LineSettings s;
    QVERIFY(ParseSettings(settings.toStdString(), s).ok());
    const TermiosFields t = MakeTermios(s, handshaking);

    QCOMPARE(t.cflag & CSIZE, cflagOn & CSIZE);
    QCOMPARE(t.cflag & cflagOn, cflagOn);
    QCOMPARE(t.cflag & cflagOff, 0u);
    QCOMPARE(t.cflag & CBAUD, uint(BOTHER));
    QCOMPARE(t.cflag & CIBAUD, 0u); // input speed follows the output speed
    QCOMPARE(t.cflag & (CREAD | CLOCAL | HUPCL), uint(CREAD | CLOCAL | HUPCL));
    QCOMPARE(t.ispeed, s.baud);
    QCOMPARE(t.ospeed, s.baud);

    QCOMPARE(t.iflag & iflagOn, iflagOn);
    QCOMPARE(t.iflag & iflagOff, 0u);
    QCOMPARE(t.iflag & (INPCK | PARMRK), uint(INPCK | PARMRK));
    QCOMPARE(t.iflag & (IGNPAR | IGNBRK | BRKINT | ISTRIP | ICRNL | INLCR | IGNCR | IUCLC), 0u);
    QCOMPARE(t.oflag, 0u);
    QCOMPARE(t.lflag, 0u);
    QCOMPARE(int(t.vmin), 1);
    QCOMPARE(int(t.vtime), 0);
    QCOMPARE(int(t.vstart), 0x11);
    QCOMPARE(int(t.vstop), 0x13);
}

QTEST_GUILESS_MAIN(TestLineSettings)
#include "tst_linesettings.moc"
