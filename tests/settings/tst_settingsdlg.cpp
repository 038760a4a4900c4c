// "Communication Settings": start values from the control, what OK writes back and in which
// order, the port check, Cancel; the dialog's arithmetic on its own too. The "Other" rate
// from the field to the line, and the list of ports present.
#include "comm/portlist.h"
#include "comm/portmap.h"
#include "res/resource.h"
#include "settings/portsettings.h"
#include "settings/settingsdlg.h"
#include "tests/support/fakedevice.h"
#include "tests/support/framefixture.h"
#include "tests/support/modaldriver.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStandardItemModel>
#include <QtTest>

namespace {

constexpr int kRadioIds[] = {1010, 1011, 1012, 1013, 1014, 1015, 1016, 1017, 1018, 1020, 1021,
                             1022, 1023, 1030, 1031, 1040, 1041, 1042, 1060, 1061, 1062, 1063};
constexpr int kOther = 1018;

const std::string kInvalidBaud =
    "Invalid baud rate!\nThe baud rate must be a whole number between 50 and 4000000.";

QList<int> CheckedRadios(CSettingsDlg* d) {
    QList<int> checked;
    for (const int id : kRadioIds)
        if (d->radio(id)->isChecked()) checked << id;
    return checked;
}

void Press(QDialog* d, const char* button) {
    QPushButton* b = d->findChild<QPushButton*>(QString::fromLatin1(button));
    QVERIFY(b);
    QTest::mouseClick(b, Qt::LeftButton);
}

// Shows the dialog through its command and runs `action` on it.
std::shared_ptr<bool> RunDialog(FrameFixture& f, std::function<void(CSettingsDlg*)> action) {
    auto ran = ModalDriver::whenShown<CSettingsDlg>(std::move(action));
    f->SendCommand(ID_SETTINGS_PORT, CMainFrame::Source::Menu);
    return ran;
}

} // namespace

class TestSettingsDlg : public QObject {
    Q_OBJECT
private slots:
    void startValues_data();
    void startValues();
    void buildSettings_data();
    void buildSettings();
    void portNumber_data();
    void portNumber();

    void shownAndWrittenBack_data();
    void shownAndWrittenBack();
    void okAppliesChoices();
    void badPortKeepsDialogOpen_data();
    void badPortKeepsDialogOpen();
    void addressTyped_data();
    void addressTyped();
    void cancelAppliesNothing();
    void refusedWriteStopsInOrder();
    void oneAndHalfStopBitsNeedFiveDataBits();

    void otherRateTyped_data();
    void otherRateTyped();
    void otherByKeyboard();
    void otherRateReachesLine_data();
    void otherRateReachesLine();
    void refusedRateAtOpen();
    void portListPicks();
    void tabEntersGroupsAtChecked();
    void arrowsMoveAndCheck_data();
    void arrowsMoveAndCheck();
    void enterPressesFocusedButton_data();
    void enterPressesFocusedButton();
};

void TestSettingsDlg::startValues_data() {
    QTest::addColumn<QString>("settings");
    QTest::addColumn<QList<int>>("expected"); // baud, parity, data bits, stop bits, Other rate
    QTest::newRow("9600,n,8,1") << "9600,n,8,1" << QList<int>{5, 0, 1, 0, 0};
    // A rate without a button of its own is shown exactly, never rounded to a button.
    QTest::newRow("14400 is Other") << "14400,N,8,1" << QList<int>{8, 0, 1, 0, 14400};
    QTest::newRow("110 is Other") << "110,o,7,2" << QList<int>{8, 1, 0, 1, 110};
    QTest::newRow("300") << "300,o,7,2" << QList<int>{0, 1, 0, 1, 0};
    QTest::newRow("600") << "600,E,8,1" << QList<int>{1, 2, 1, 0, 0};
    QTest::newRow("601 is Other") << "601,e,8,1" << QList<int>{8, 2, 1, 0, 601};
    QTest::newRow("31250 is Other") << "31250,n,8,1" << QList<int>{8, 0, 1, 0, 31250};
    QTest::newRow("1, below the field's range") << "1,n,8,1" << QList<int>{8, 0, 1, 0, 1};
    QTest::newRow("57600 beyond the buttons") << "57600,n,8,1" << QList<int>{8, 0, 1, 0, 57600};
    QTest::newRow("115200 is Other too") << "115200,n,8,1" << QList<int>{8, 0, 1, 0, 115200};
    QTest::newRow("38400 is a button") << "38400,n,8,1" << QList<int>{7, 0, 1, 0, 0};
    QTest::newRow("1.5 stop bits") << "9600,n,5,1.5" << QList<int>{5, 0, -2, -1, 0};
    QTest::newRow("5 data bits") << "9600,n,5,1" << QList<int>{5, 0, -2, 0, 0};
    QTest::newRow("mark parity") << "9600,m,8,1" << QList<int>{5, -1, 1, 0, 0};
    QTest::newRow("leading blanks and sign") << "  +2400,n,8,1" << QList<int>{3, 0, 1, 0, 0};
    // No comma: the number counts as 0 and the fields are read at 0, 2 and 4.
    QTest::newRow("no comma") << "9600" << QList<int>{-1, -1, '0' - '7', -1, 0};
    QTest::newRow("too short") << "9600,n" << QList<int>{5, 0, -1, -1, 0};
    QTest::newRow("empty") << "" << QList<int>{-1, -1, -1, -1, 0};
}

void TestSettingsDlg::startValues() {
    QFETCH(QString, settings);
    QFETCH(QList<int>, expected);
    const PortDialogValues v = StartValues(settings.toStdString(), 12, 3, 1);
    QCOMPARE((QList<int>{v.baud, v.parity, v.dataBits, v.stopBits, int(v.otherRate)}), expected);
    QCOMPARE(v.flowControl, 3);
    QCOMPARE(v.echo, 1);
    QCOMPARE(v.port, 12);
    QCOMPARE(v.portText, std::string("12"));
}

void TestSettingsDlg::buildSettings_data() {
    QTest::addColumn<QList<int>>("chosen"); // baud, parity, data bits, stop bits[, Other rate]
    QTest::addColumn<QString>("current");
    QTest::addColumn<QString>("expected");
    QTest::newRow("all chosen") << QList<int>{7, 2, 0, 1} << "9600,n,8,1"
                                << "38400,E,7,2";
    QTest::newRow("300") << QList<int>{0, 0, 1, 0} << "110,n,8,1"
                         << "300,N,8,1";
    QTest::newRow("odd") << QList<int>{5, 1, 1, 0} << "9600,n,8,1"
                         << "9600,O,8,1";
    QTest::newRow("Other") << QList<int>{8, 0, 1, 0, 115200} << "9600,n,8,1"
                           << "115200,N,8,1";
    QTest::newRow("Other, all chosen") << QList<int>{8, 2, 0, 1, 3000000} << "57600,n,8,1"
                                       << "3000000,E,7,2";
    QTest::newRow("no baud button keeps the rate") << QList<int>{-1, 0, 1, 0} << "57600,n,8,1"
                                                   << "57600,N,8,1";
    QTest::newRow("no parity button keeps the letter, upper case")
        << QList<int>{5, -1, 1, 0} << "9600,m,8,1"
        << "9600,M,8,1";
    QTest::newRow("no data bits button keeps 5") << QList<int>{5, 0, -1, 0} << "9600,n,5,1"
                                                 << "9600,N,5,1";
    QTest::newRow("no stop bits button keeps 1.5") << QList<int>{5, 0, 1, -1} << "9600,n,8,1.5"
                                                   << "9600,N,8,1.5";
}

void TestSettingsDlg::buildSettings() {
    QFETCH(QList<int>, chosen);
    QFETCH(QString, current);
    QFETCH(QString, expected);
    PortDialogValues v;
    v.baud = chosen[0];
    v.parity = chosen[1];
    v.dataBits = chosen[2];
    v.stopBits = chosen[3];
    v.otherRate = chosen.value(4);
    QCOMPARE(QString::fromStdString(BuildSettings(v, current.toStdString())), expected);
}

void TestSettingsDlg::portNumber_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("port"); // 0: refused
    QTest::newRow("1") << "1" << 1;
    QTest::newRow("99") << "99" << 99;
    QTest::newRow("05") << "05" << 5;
    QTest::newRow("blanks, trailing text") << "  7x" << 7;
    QTest::newRow("0") << "0" << 0;
    QTest::newRow("100") << "100" << 0;
    QTest::newRow("empty") << "" << 0;
    QTest::newRow("blanks") << "   " << 0;
    QTest::newRow("letters") << "abc" << 0;
    QTest::newRow("negative") << "-3" << 0;
    QTest::newRow("huge") << "99999999999999999999" << 0;
}

void TestSettingsDlg::portNumber() {
    QFETCH(QString, text);
    QFETCH(int, port);
    QCOMPARE(ParsePortNumber(text.toStdString()).value_or(0), port);
}

void TestSettingsDlg::shownAndWrittenBack_data() {
    QTest::addColumn<QString>("settings");
    QTest::addColumn<int>("handshaking");
    QTest::addColumn<int>("echo");
    QTest::addColumn<QList<int>>("checked");
    QTest::addColumn<QString>("after"); // Settings as the control reads back after OK
    QTest::addColumn<QString>("rate");  // the "Other" field
    QTest::newRow("9600,n,8,1") << "9600,n,8,1" << 0 << 0
                                << QList<int>{1015, 1021, 1022, 1030, 1040, 1060} << "9600,n,8,1"
                                << "";
    QTest::newRow("lower-case even, 7 bits")
        << "9600,e,7,1" << 1 << 1 << QList<int>{1015, 1020, 1022, 1031, 1042, 1061} << "9600,e,7,1"
        << "";
    // A rate without a button of its own is kept, exactly, under "Other".
    QTest::newRow("14400 selects Other")
        << "14400,o,8,2" << 2 << 0 << QList<int>{kOther, 1021, 1023, 1030, 1041, 1062}
        << "14400,o,8,2"
        << "14400";
    QTest::newRow("110 selects Other")
        << "110,n,8,1" << 3 << 0 << QList<int>{kOther, 1021, 1022, 1030, 1040, 1063} << "110,n,8,1"
        << "110";
    QTest::newRow("rate 10 from the command line")
        << "10,n,8,1" << 0 << 0 << QList<int>{kOther, 1021, 1022, 1030, 1040, 1060} << "10,n,8,1"
        << "10";
    QTest::newRow("1.5 stop bits select no stop bits button")
        << "4800,n,5,1.5" << 0 << 0 << QList<int>{1014, 1030, 1040, 1060} << "4800,n,5,1.5"
        << "";
    // A rate beyond the buttons is kept, visibly, under "Other".
    QTest::newRow("115200 selects Other")
        << "115200,n,8,1" << 0 << 0 << QList<int>{kOther, 1021, 1022, 1030, 1040, 1060}
        << "115200,n,8,1"
        << "115200";
    // Groups without a selection keep the control's current value.
    QTest::newRow("57600, 5 bits, mark")
        << "57600,m,5,1" << 0 << 0 << QList<int>{kOther, 1022, 1030, 1060} << "57600,m,5,1"
        << "57600";
}

void TestSettingsDlg::shownAndWrittenBack() {
    QFETCH(QString, settings);
    QFETCH(int, handshaking);
    QFETCH(int, echo);
    QFETCH(QList<int>, checked);
    QFETCH(QString, after);
    QFETCH(QString, rate);
    FrameFixture f;
    QVERIFY(f.created());
    f->comm().SetSettings(settings.toStdString());
    f->comm().SetHandshaking(handshaking);
    f->comm().SetCommPort(12);
    f->screen().m_bEcho = echo;

    QList<int> shown;
    QString portText, caption, rateText;
    auto ran = RunDialog(f, [&](CSettingsDlg* d) {
        shown = CheckedRadios(d);
        portText = d->portField()->text();
        rateText = d->otherBaudField()->currentText();
        caption = d->windowTitle();
        Press(d, "buttonOk");
    });
    QVERIFY(*ran);
    QCOMPARE(shown, checked);
    QCOMPARE(portText, QStringLiteral("12"));
    QCOMPARE(rateText, rate);
    QCOMPARE(caption, QStringLiteral("Communication Settings"));
    QCOMPARE(QString::fromStdString(f->comm().GetSettings()), after);
    QCOMPARE(f->comm().GetHandshaking(), handshaking);
    QCOMPARE(f->comm().GetCommPort(), short(12));
    QCOMPARE(f->screen().m_bEcho, echo);
    QVERIFY(f.boxes.shown.empty());
}

void TestSettingsDlg::okAppliesChoices() {
    FrameFixture f;
    QVERIFY(f.created());
    auto ran = RunDialog(f, [&](CSettingsDlg* d) {
        for (const int id : {1017, 1020, 1023, 1031, 1042, 1061})
            QTest::mouseClick(d->radio(id), Qt::LeftButton);
        d->portField()->setText(QStringLiteral("05"));
        Press(d, "buttonOk");
    });
    QVERIFY(*ran);
    QCOMPARE(f->comm().GetSettings(), std::string("38400,e,7,2"));
    QCOMPARE(f->comm().GetHandshaking(), 1);
    QCOMPARE(f->comm().GetCommPort(), short(5));
    QCOMPARE(f->screen().m_bEcho, 1);
}

void TestSettingsDlg::badPortKeepsDialogOpen_data() {
    QTest::addColumn<QString>("text");
    QTest::newRow("0") << "0";
    QTest::newRow("100") << "100";
    QTest::newRow("empty") << "";
    QTest::newRow("blanks") << "   ";
}

void TestSettingsDlg::badPortKeepsDialogOpen() {
    QFETCH(QString, text);
    FrameFixture f;
    QVERIFY(f.created());
    bool stillOpen = false;
    auto ran = RunDialog(f, [&](CSettingsDlg* d) {
        QTest::mouseClick(d->radio(1017), Qt::LeftButton);
        d->portField()->setText(text);
        Press(d, "buttonOk");
        stillOpen = d->isVisible();
        Press(d, "buttonCancel");
    });
    QVERIFY(*ran);
    QVERIFY(stillOpen);
    QCOMPARE(f.boxes.shown.size(), std::size_t(1));
    QCOMPARE(f.boxes.lastText(), std::string("Invalid COM port number!\nThe COM port must be an "
                                             "integer between 1 and 99."));
    QCOMPARE(f.boxes.shown.front().icon, fw::Icon::Exclamation);
    QCOMPARE(f->comm().GetSettings(), std::string("9600,n,8,1"));
    QCOMPARE(f->comm().GetCommPort(), short(1));
}

void TestSettingsDlg::addressTyped_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("port");     // the number used; 0: refused, the dialog stays
    QTest::addColumn<QString>("box");  // the box's text; empty: none
    QTest::newRow("new address") << "rfc2217://lab-pi:2001" << 99
                                 << "rfc2217://lab-pi:2001 is now COM99 (linked in %1).";
    QTest::newRow("next one skips a taken number") << "TCP://[::1]:3001" << 97
                                                   << "tcp://[::1]:3001 is now COM97 (linked in %1).";
    QTest::newRow("already in the map") << "tcp://lab-pi:4001" << 98 << "";
    QTest::newRow("no port") << "rfc2217://lab-pi" << 0
                             << "The address \"rfc2217://lab-pi\" is not valid: it has no port; "
                                "write HOST:PORT, e.g. lab-pi:2001.";
}

void TestSettingsDlg::addressTyped() {
    QFETCH(QString, text);
    QFETCH(int, port);
    QFETCH(QString, box);
    FrameFixture f;
    QVERIFY(f.created());
    QVERIFY(f.ports().link(98, "tcp://lab-pi:4001"));
    if (port == 97) QVERIFY(f.ports().link(99, "/dev/null"));
    bool stillOpen = false;
    auto ran = RunDialog(f, [&](CSettingsDlg* d) {
        d->portField()->clear();
        QTest::keyClicks(d->portField(), text); // through the field's validator
        QCOMPARE(d->portField()->text(), text);
        Press(d, "buttonOk");
        stillOpen = d->isVisible();
        if (stillOpen) Press(d, "buttonCancel");
    });
    QVERIFY(*ran);
    QCOMPARE(stillOpen, port == 0);
    const QString expected = box.arg(QString::fromStdString(f.ports().folder()));
    QCOMPARE(f.boxes.shown.size(), std::size_t(box.isEmpty() ? 0 : 1));
    if (!box.isEmpty()) QCOMPARE(QString::fromStdString(f.boxes.lastText()), expected);
    QCOMPARE(f->comm().GetCommPort(), short(port == 0 ? 1 : port));
    if (port != 0)
        QCOMPARE(QString::fromStdString(comm::ResolvePort(port).path),
                 text.startsWith("TCP") ? QStringLiteral("tcp://[::1]:3001") : text);
}

void TestSettingsDlg::cancelAppliesNothing() {
    FrameFixture f;
    QVERIFY(f.created());
    for (const char* how : {"button", "escape"}) {
        auto ran = RunDialog(f, [&](CSettingsDlg* d) {
            for (const int id : {1010, 1020, 1023, 1031, 1041, 1063})
                QTest::mouseClick(d->radio(id), Qt::LeftButton);
            d->portField()->setText(QStringLiteral("42"));
            if (QByteArray(how) == "button")
                Press(d, "buttonCancel");
            else
                QTest::keyClick(d, Qt::Key_Escape);
        });
        QVERIFY(*ran);
        QCOMPARE(f->comm().GetSettings(), std::string("9600,n,8,1"));
        QCOMPARE(f->comm().GetHandshaking(), 0);
        QCOMPARE(f->comm().GetCommPort(), short(1));
        QCOMPARE(f->screen().m_bEcho, 0);
    }
}

void TestSettingsDlg::refusedWriteStopsInOrder() {
    PtyPair probe;
    if (!probe.isOpen()) QSKIP(probe.error().c_str());
    // With the port open the control refuses a new CommPort, the last of the four writes:
    // the three before it have taken effect and the dialog stays open.
    FrameFixture f;
    QVERIFY(f.openPort(CMainFrame::Source::ToolBar));
    bool stillOpen = false;
    auto ran = ModalDriver::whenShown<CSettingsDlg>([&](CSettingsDlg* d) {
        for (const int id : {1016, 1023, 1031, 1062})
            QTest::mouseClick(d->radio(id), Qt::LeftButton);
        d->portField()->setText(QStringLiteral("3"));
        Press(d, "buttonOk");
        stillOpen = d->isVisible();
        QTest::keyClick(d, Qt::Key_Escape);
    });
    CSettingsDlg dialog(&f.frame(), f->comm(), f->screen().m_bEcho);
    dialog.DoModal();
    QVERIFY(*ran);
    QVERIFY(stillOpen);
    QCOMPARE(f.boxes.shown.size(), std::size_t(1));
    QCOMPARE(f.boxes.shown.front().icon, fw::Icon::Stop);
    QVERIFY2(f.boxes.lastText().find("CommPort") != std::string::npos, f.boxes.lastText().c_str());
    QCOMPARE(f->comm().GetSettings(), std::string("19200,n,8,2"));
    QCOMPARE(f->screen().m_bEcho, 1);
    QCOMPARE(f->comm().GetHandshaking(), 2);
    QCOMPARE(f->comm().GetCommPort(), short(7));
}

// 1.5 stop bits kept while the data bits change to 8: the line cannot have that, and the
// dialog says so and stays open rather than sending 1 or 2.
void TestSettingsDlg::oneAndHalfStopBitsNeedFiveDataBits() {
    FrameFixture f;
    QVERIFY(f.created());
    f->comm().SetSettings("9600,n,5,1.5");
    bool stillOpen = false;
    auto ran = RunDialog(f, [&](CSettingsDlg* d) {
        QTest::mouseClick(d->radio(1021), Qt::LeftButton);
        Press(d, "buttonOk");
        stillOpen = d->isVisible();
        if (stillOpen) Press(d, "buttonCancel");
    });
    QVERIFY(*ran);
    QVERIFY(stillOpen);
    QCOMPARE(f.boxes.shown.size(), std::size_t(1));
    QVERIFY2(f.boxes.lastText().find("1.5 stop bits can only be set with 5 data bits") !=
                 std::string::npos,
             f.boxes.lastText().c_str());
    QCOMPARE(f->comm().GetSettings(), std::string("9600,n,5,1.5"));
}

void TestSettingsDlg::otherRateTyped_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("after"); // Settings after OK; empty: refused, dialog open
    QTest::newRow("921600") << "921600"
                            << "921600,n,8,1";
    QTest::newRow("50, the lowest") << "50"
                                    << "50,n,8,1";
    QTest::newRow("4000000, the highest") << "4000000"
                                          << "4000000,n,8,1";
    QTest::newRow("blank before") << " 9600"
                                  << "9600,n,8,1";
    QTest::newRow("0") << "0"
                       << "";
    QTest::newRow("49") << "49"
                        << "";
    QTest::newRow("4000001") << "4000001"
                             << "";
    QTest::newRow("trailing letters") << "115200abc"
                                      << "";
    QTest::newRow("empty") << ""
                           << "";
    QTest::newRow("negative") << "-300"
                              << "";
    QTest::newRow("exponent") << "1e6"
                              << "";
    QTest::newRow("beyond long") << "99999999999999999999999"
                                 << "";
}

// Typed by hand into the "Other" field; a refused rate keeps the dialog open with the caret
// back in the field and nothing applied.
void TestSettingsDlg::otherRateTyped() {
    QFETCH(QString, typed);
    QFETCH(QString, after);
    FrameFixture f;
    QVERIFY(f.created());
    bool stillOpen = false;
    QString focusedText;
    auto ran = RunDialog(f, [&](CSettingsDlg* d) {
        QTest::mouseClick(d->radio(kOther), Qt::LeftButton);
        d->otherBaudField()->lineEdit()->clear();
        QTest::keyClicks(d->otherBaudField()->lineEdit(), typed);
        QTest::mouseClick(d->radio(1020), Qt::LeftButton); // 7 data bits: nothing applied
        Press(d, "buttonOk");
        stillOpen = d->isVisible();
        if (d->focusWidget() == d->otherBaudField()->lineEdit() ||
            d->focusWidget() == d->otherBaudField())
            focusedText = d->otherBaudField()->lineEdit()->selectedText();
        if (stillOpen) Press(d, "buttonCancel");
    });
    QVERIFY(*ran);
    if (after.isEmpty()) {
        QVERIFY(stillOpen);
        QCOMPARE(f.boxes.shown.size(), std::size_t(1));
        QCOMPARE(f.boxes.lastText(), kInvalidBaud);
        QCOMPARE(f.boxes.shown.front().icon, fw::Icon::Exclamation);
        QCOMPARE(focusedText, typed);
        QCOMPARE(f->comm().GetSettings(), std::string("9600,n,8,1"));
    } else {
        QVERIFY(!stillOpen);
        QVERIFY(f.boxes.shown.empty());
        QCOMPARE(QString::fromStdString(f->comm().GetSettings()),
                 QString(after).replace(",n,8,", ",n,7,"));
    }
}

// Alt+O selects "Other" with the caret in its field, all selected; typing there selects it
// too; the dialog's mnemonics are all different.
void TestSettingsDlg::otherByKeyboard() {
    FrameFixture f;
    QVERIFY(f.created());
    QList<int> afterTyping, afterAltO;
    QString selected;
    QWidget* focused = nullptr;
    QString mnemonics;
    auto ran = RunDialog(f, [&](CSettingsDlg* d) {
        for (QWidget* w : d->findChildren<QWidget*>()) {
            QString text;
            if (auto* box = qobject_cast<QGroupBox*>(w)) text = box->title();
            if (auto* button = qobject_cast<QAbstractButton*>(w)) text = button->text();
            if (const int amp = text.indexOf('&'); amp >= 0)
                mnemonics += text.at(amp + 1).toLower();
        }
        QTest::keyClicks(d->otherBaudField()->lineEdit(), "460800");
        afterTyping = CheckedRadios(d);
        QTest::mouseClick(d->radio(1015), Qt::LeftButton);
        d->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(d));
        QTest::keyClick(d, Qt::Key_O, Qt::AltModifier);
        afterAltO = CheckedRadios(d);
        focused = d->focusWidget();
        selected = d->otherBaudField()->lineEdit()->selectedText();
        QTest::keyClicks(d->focusWidget(), "921600");
        Press(d, "buttonOk");
    });
    QVERIFY(*ran);
    QCOMPARE(afterTyping, (QList<int>{kOther, 1021, 1022, 1030, 1040, 1060}));
    QCOMPARE(afterAltO, afterTyping);
    QVERIFY(focused);
    QCOMPARE(selected, QStringLiteral("460800"));
    QCOMPARE(f->comm().GetSettings(), std::string("921600,n,8,1"));
    QCOMPARE(mnemonics, QStringLiteral("bodsepcf"));
}

void TestSettingsDlg::otherRateReachesLine_data() {
    QTest::addColumn<uint>("rate");
    QTest::newRow("115200") << 115200u;
    QTest::newRow("921600") << 921600u;
    QTest::newRow("3000000") << 3000000u;
}

// Picked from the list or typed, the rate is what the driver holds once the port is open,
// and what the caption shows.
void TestSettingsDlg::otherRateReachesLine() {
    QFETCH(uint, rate);
    FrameFixture f;
    QVERIFY(f.created());
    PtyPair& pty = f.linkPort(7);
    if (!pty.isOpen()) QSKIP(pty.error().c_str());
    auto ran = RunDialog(f, [&](CSettingsDlg* d) {
        QComboBox* field = d->otherBaudField();
        const int listed = field->findText(QString::number(rate));
        QVERIFY(listed >= 0);
        // Picking with the keyboard from the entry above it.
        field->setFocus();
        field->setCurrentIndex(listed - 1);
        QTest::keyClick(field, Qt::Key_Down);
        Press(d, "buttonOk");
    });
    QVERIFY(*ran);
    f->SendCommand(ID_COMM_PORT_OPEN, CMainFrame::Source::Menu);
    QVERIFY(f->comm().GetPortOpen());
    QCOMPARE(pty.slaveTermios()->ospeed, rate);
    QCOMPARE(pty.slaveTermios()->ispeed, rate);
    f.idle(); // the caption follows when the loop falls idle
    QCOMPARE(f->windowTitle(), QStringLiteral("Wirelog - COM7,%1,n,8,1").arg(rate));
    QVERIFY(f.boxes.shown.empty());
}

// A rate the device refuses at open is the control's error, as for any failed open.
void TestSettingsDlg::refusedRateAtOpen() {
    FrameFixture f;
    QVERIFY(f.created());
    auto script = std::make_shared<FakeDevice>();
    script->refuseSettings = true;
    f->comm().control()->setDeviceOpener(FakeOpener(script));
    auto ran = RunDialog(f, [&](CSettingsDlg* d) {
        QTest::keyClicks(d->otherBaudField()->lineEdit(), "3000000");
        Press(d, "buttonOk");
    });
    QVERIFY(*ran);
    QCOMPARE(f->comm().GetSettings(), std::string("3000000,n,8,1"));
    f->SendCommand(ID_COMM_PORT_OPEN, CMainFrame::Source::Menu);
    QVERIFY(!f->comm().GetPortOpen());
    QCOMPARE(f.boxes.shown.size(), std::size_t(1));
    QCOMPARE(f.boxes.shown.front().icon, fw::Icon::Stop);
    QVERIFY2(f.boxes.lastText().find("does not accept the settings 3000000,n,8,1") !=
                 std::string::npos,
             f.boxes.lastText().c_str());
    f.idle();
    QCOMPARE(f->windowTitle(), QStringLiteral("Wirelog"));
}

// The list shows the ports present when the dialog opens; picking one puts its number in
// the field, a device without a COM number is greyed and cannot be picked.
void TestSettingsDlg::portListPicks() {
    QTemporaryDir root;
    QVERIFY(QDir(root.path()).mkpath("dev/serial/by-id"));
    for (const char* dev : {"dev/ttyUSB0", "dev/ttyAMA0"})
        QVERIFY(QFile(root.path() + "/" + dev).open(QIODevice::WriteOnly));
    QVERIFY(QFile::link("../../ttyUSB0",
                        root.path() + "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A5-if00-port0"));
    QVERIFY(QDir(root.path()).mkpath("sys/class/tty/ttyAMA0/device"));
    qputenv("WIRELOG_DEVICE_ROOT", root.path().toLocal8Bit());
    const auto unset = qScopeGuard([] { qunsetenv("WIRELOG_DEVICE_ROOT"); });
    FrameFixture f;
    QVERIFY(f.created());
    PtyPair& pty = f.linkPort(7);
    if (!pty.isOpen()) QSKIP(pty.error().c_str());
    QStringList items;
    QList<bool> enabled;
    QString afterPick, afterGrey;
    auto ran = RunDialog(f, [&](CSettingsDlg* d) {
        QComboBox* list = d->portList();
        auto* model = qobject_cast<QStandardItemModel*>(list->model());
        for (int i = 0; i < list->count(); ++i) {
            items << list->itemText(i);
            enabled << model->item(i)->isEnabled();
        }
        list->setFocus();
        QTest::keyClick(list, Qt::Key_Down); // from COM7 to COM33
        afterPick = d->portField()->text();
        QTest::keyClick(list, Qt::Key_Down); // the greyed entry is passed over
        afterGrey = d->portField()->text();
        Press(d, "buttonOk");
    });
    QVERIFY(*ran);
    const QString dash = QString::fromUtf8(" \u2014 ");
    QCOMPARE(items, (QStringList{"COM7" + dash + QString::fromStdString(pty.slavePath()),
                                 "COM33" + dash + "/dev/ttyUSB0" + dash + "FTDI FT232R USB UART A5",
                                 "/dev/ttyAMA0" + dash + "ln -s /dev/ttyAMA0 " +
                                     QString::fromStdString(f.ports().folder()) + "/COM97"}));
    QCOMPARE(enabled, (QList<bool>{true, true, false}));
    QCOMPARE(afterPick, QStringLiteral("33"));
    QCOMPARE(afterGrey, QStringLiteral("33"));
    QCOMPARE(f->comm().GetCommPort(), short(33));
}

void TestSettingsDlg::tabEntersGroupsAtChecked() {
    // The dialog opens on the checked baud rate; Tab and Shift+Tab go from group to group,
    // each entered at its checked button; a group's mnemonic does the same. Nothing changes.
    FrameFixture f;
    QVERIFY(f.created());
    QStringList forward, backward;
    QString opened, mnemonic;
    QList<int> checkedBefore, checkedAfter;
    auto ran = RunDialog(f, [&](CSettingsDlg* d) {
        QVERIFY(QTest::qWaitForWindowActive(d));
        checkedBefore = CheckedRadios(d);
        opened = d->focusWidget()->objectName();
        for (int i = 0; i < 10; ++i) {
            QTest::keyClick(d->focusWidget(), Qt::Key_Tab);
            forward << d->focusWidget()->objectName();
        }
        for (int i = 0; i < 3; ++i) {
            QTest::keyClick(d->focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
            backward << d->focusWidget()->objectName();
        }
        QTest::keyClick(d->focusWidget(), Qt::Key_B, Qt::AltModifier);
        mnemonic = d->focusWidget()->objectName();
        checkedAfter = CheckedRadios(d);
        Press(d, "buttonCancel");
    });
    QVERIFY(*ran);
    QCOMPARE(opened, QStringLiteral("baud9600"));
    QCOMPARE(forward,
             QStringList({"otherBaudRate", "dataBits8", "stopBits1", "echoOff", "parityNone",
                          "port", "flowNone", "buttonOk", "buttonCancel", "baud9600"}));
    QCOMPARE(backward, QStringList({"buttonCancel", "buttonOk", "flowNone"}));
    QCOMPARE(mnemonic, QStringLiteral("baud9600"));
    QCOMPARE(checkedAfter, checkedBefore);
}

void TestSettingsDlg::arrowsMoveAndCheck_data() {
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("to"); // focused and checked afterwards
    QTest::newRow("9600 Down") << 1015 << int(Qt::Key_Down) << 1016;
    QTest::newRow("9600 Right") << 1015 << int(Qt::Key_Right) << 1016;
    QTest::newRow("9600 Up") << 1015 << int(Qt::Key_Up) << 1014;
    QTest::newRow("9600 Left") << 1015 << int(Qt::Key_Left) << 1014;
    QTest::newRow("38400 Down to Other") << 1017 << int(Qt::Key_Down) << 1018;
    QTest::newRow("Other Down, round") << 1018 << int(Qt::Key_Down) << 1010;
    QTest::newRow("300 Up, round") << 1010 << int(Qt::Key_Up) << 1018;
    QTest::newRow("8 bits Left") << 1021 << int(Qt::Key_Left) << 1020;
    QTest::newRow("Xon/RTS Down, round") << 1063 << int(Qt::Key_Down) << 1060;
}

void TestSettingsDlg::arrowsMoveAndCheck() {
    QFETCH(int, from);
    QFETCH(int, key);
    QFETCH(int, to);
    FrameFixture f;
    QVERIFY(f.created());
    QString focused, expected;
    QList<int> checked;
    auto ran = RunDialog(f, [&](CSettingsDlg* d) {
        d->radio(from)->setFocus();
        QTest::keyClick(d->radio(from), Qt::Key(key));
        focused = d->focusWidget()->objectName();
        expected = d->radio(to)->objectName();
        checked = CheckedRadios(d);
        Press(d, "buttonOk");
    });
    QVERIFY(*ran);
    QCOMPARE(focused, expected);
    QVERIFY2(checked.contains(to), qPrintable(QStringLiteral("%1 not checked").arg(to)));
    // One button per group: what was checked in the group before is not any more.
    QCOMPARE(checked.size(), 6);
}

void TestSettingsDlg::enterPressesFocusedButton_data() {
    QTest::addColumn<QString>("focus");
    QTest::addColumn<int>("key");
    QTest::addColumn<bool>("applied");
    QTest::newRow("Enter on OK") << "buttonOk" << int(Qt::Key_Return) << true;
    QTest::newRow("Enter on Cancel") << "buttonCancel" << int(Qt::Key_Return) << false;
    QTest::newRow("Space on OK") << "buttonOk" << int(Qt::Key_Space) << true;
    QTest::newRow("Space on Cancel") << "buttonCancel" << int(Qt::Key_Space) << false;
    QTest::newRow("Enter on a radio button") << "parityNone" << int(Qt::Key_Return) << true;
    QTest::newRow("Enter in the port field") << "port" << int(Qt::Key_Return) << true;
    QTest::newRow("Enter in the rate field") << "otherBaudRate" << int(Qt::Key_Return) << true;
    QTest::newRow("Escape on OK") << "buttonOk" << int(Qt::Key_Escape) << false;
}

void TestSettingsDlg::enterPressesFocusedButton() {
    QFETCH(QString, focus);
    QFETCH(int, key);
    QFETCH(bool, applied);
    FrameFixture f;
    QVERIFY(f.created());
    bool closed = false;
    auto ran = RunDialog(f, [&](CSettingsDlg* d) {
        QTest::mouseClick(d->radio(1017), Qt::LeftButton);
        QWidget* target = d->findChild<QWidget*>(focus);
        QVERIFY(target);
        target->setFocus();
        QTest::keyClick(d->focusWidget(), Qt::Key(key));
        closed = !d->isVisible();
    });
    QVERIFY(*ran);
    QVERIFY(closed);
    QCOMPARE(f->comm().GetSettings(), std::string(applied ? "38400,n,8,1" : "9600,n,8,1"));
    QVERIFY(f.boxes.shown.empty());
}

QTEST_MAIN(TestSettingsDlg)
#include "tst_settingsdlg.moc"
