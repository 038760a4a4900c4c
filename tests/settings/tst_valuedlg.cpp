// The one-line value prompts: the text-to-number reading, and the four prompts of the
// Settings menu through the real dialog.
#include "res/resource.h"
#include "settings/valuedlg.h"
#include "tests/support/framefixture.h"
#include "tests/support/modaldriver.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

namespace {

QString Property(CMainFrame& f, uint id) {
    switch (id) {
    case ID_SETTINGS_INPUTLEN:
        return QString::number(f.comm().GetInputLen());
    case ID_SETTINGS_RTHRESHOLD:
        return QString::number(f.comm().GetRThreshold());
    case ID_SETTINGS_STHRESHOLD:
        return QString::number(f.comm().GetSThreshold());
    default:
        return QString::fromStdString(f.comm().GetParityReplace());
    }
}

} // namespace

class TestValueDlg : public QObject {
    Q_OBJECT
private slots:
    void promptNumber_data();
    void promptNumber();
    void prompts_data();
    void prompts();
    void refusedValueReported();
};

void TestValueDlg::promptNumber_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("value");
    QTest::newRow("0") << "0" << 0;
    QTest::newRow("128") << "128" << 128;
    QTest::newRow("70000 wraps") << "70000" << 4464;
    QTest::newRow("65535 is -1") << "65535" << -1;
    QTest::newRow("32768 is -32768") << "32768" << -32768;
    QTest::newRow("-1") << "-1" << -1;
    QTest::newRow("-70000") << "-70000" << -4464;
    QTest::newRow("plus sign") << "+17" << 17;
    QTest::newRow("blanks and letters") << "   42abc" << 42;
    QTest::newRow("tab and newline") << "\t\n9" << 9;
    QTest::newRow("no digits") << "xyz" << 0;
    QTest::newRow("empty") << "" << 0;
    QTest::newRow("blanks") << "   " << 0;
    QTest::newRow("sign only") << "-" << 0;
    QTest::newRow("blank after sign") << "- 5" << 0;
    QTest::newRow("digits after letters") << "a12" << 0;
}

void TestValueDlg::promptNumber() {
    QFETCH(QString, text);
    QFETCH(int, value);
    QCOMPARE(int(PromptNumber(text.toStdString())), value);
}

// How a number is read is promptNumber's; here each prompt's words, field and buttons.
void TestValueDlg::prompts_data() {
    QTest::addColumn<uint>("id");
    QTest::addColumn<QString>("prompt");
    QTest::addColumn<QString>("shown");  // the current value in the field
    QTest::addColumn<QString>("typed");  // what replaces it
    QTest::addColumn<QString>("how");    // ok, enter, escape, cancel, or a key on a button
    QTest::addColumn<QString>("result"); // the property afterwards
    const QString il = "Enter InputLen value:", rt = "Enter RThreshold value:",
                  st = "Enter SThreshold value:", pr = "Enter ParityReplace value:";
    const uint IL = ID_SETTINGS_INPUTLEN, RT = ID_SETTINGS_RTHRESHOLD, ST = ID_SETTINGS_STHRESHOLD,
               PR = ID_SETTINGS_PARITYREPLACE;
    QTest::newRow("InputLen 128") << IL << il << "0"
                                  << "128"
                                  << "enter"
                                  << "128";
    QTest::newRow("RThreshold 70000") << RT << rt << "1"
                                      << "70000"
                                      << "ok"
                                      << "4464";
    QTest::newRow("RThreshold cancel") << RT << rt << "1"
                                       << "99"
                                       << "cancel"
                                       << "1";
    QTest::newRow("SThreshold 5") << ST << st << "0"
                                  << "5"
                                  << "ok"
                                  << "5";
    QTest::newRow("SThreshold escape") << ST << st << "0"
                                       << "5"
                                       << "escape"
                                       << "0";
    QTest::newRow("ParityReplace several") << PR << pr << "?"
                                           << "#%s"
                                           << "ok"
                                           << "#%s";
    QTest::newRow("ParityReplace empty") << PR << pr << "?"
                                         << ""
                                         << "enter"
                                         << "";
    QTest::newRow("ParityReplace cancel") << PR << pr << "?"
                                          << "x"
                                          << "cancel"
                                          << "?";
    // Enter and Space press the focused button, whichever it is.
    QTest::newRow("Enter on Cancel") << ST << st << "0"
                                     << "5"
                                     << "enter on buttonCancel"
                                     << "0";
    QTest::newRow("Enter on OK") << ST << st << "0"
                                 << "5"
                                 << "enter on buttonOk"
                                 << "5";
    QTest::newRow("Space on Cancel") << PR << pr << "?"
                                     << "x"
                                     << "space on buttonCancel"
                                     << "?";
}

void TestValueDlg::prompts() {
    QFETCH(uint, id);
    QFETCH(QString, prompt);
    QFETCH(QString, shown);
    QFETCH(QString, typed);
    QFETCH(QString, how);
    QFETCH(QString, result);
    FrameFixture f;
    QVERIFY(f.created());
    QString label, field, selected, caption;
    bool focused = false;
    auto ran = ModalDriver::whenShown<CValueDlg>([&](CValueDlg* d) {
        label = d->promptLabel()->text();
        field = d->valueField()->text();
        selected = d->valueField()->selectedText();
        focused = d->focusWidget() == d->valueField();
        caption = d->windowTitle();
        QTest::keyClicks(d->valueField(), typed); // replaces the selected value
        if (typed.isEmpty()) QTest::keyClick(d->valueField(), Qt::Key_Delete);
        if (how.contains(" on ")) {
            auto* button = d->findChild<QPushButton*>(how.section(' ', 2));
            QVERIFY(button);
            button->setFocus();
            QTest::keyClick(button, how.startsWith("enter") ? Qt::Key_Return : Qt::Key_Space);
        } else if (how == "enter")
            QTest::keyClick(d->valueField(), Qt::Key_Return);
        else if (how == "escape")
            QTest::keyClick(d->valueField(), Qt::Key_Escape);
        else
            QTest::mouseClick(d->findChild<QPushButton*>(how == "ok" ? "buttonOk" : "buttonCancel"),
                              Qt::LeftButton);
    });
    f->SendCommand(id, CMainFrame::Source::Menu);
    QVERIFY(*ran);
    QCOMPARE(label, prompt);
    QCOMPARE(field, shown);
    QCOMPARE(selected, shown);
    QVERIFY(focused);
    QCOMPARE(caption, QStringLiteral("Wirelog"));
    QCOMPARE(Property(f.frame(), id), result);
    QVERIFY(f.boxes.shown.empty());
}

void TestValueDlg::refusedValueReported() {
    // 65535 reads as -1, which the control refuses for RThreshold: a stop box, value kept.
    FrameFixture f;
    QVERIFY(f.created());
    f->comm().SetRThreshold(6);
    auto ran = ModalDriver::whenShown<CValueDlg>([&](CValueDlg* d) {
        QTest::keyClicks(d->valueField(), QStringLiteral("65535"));
        QTest::keyClick(d->valueField(), Qt::Key_Return);
    });
    f->SendCommand(ID_SETTINGS_RTHRESHOLD, CMainFrame::Source::Menu);
    QVERIFY(*ran);
    QCOMPARE(f.boxes.shown.size(), std::size_t(1));
    QCOMPARE(f.boxes.shown.front().icon, fw::Icon::Stop);
    QVERIFY2(f.boxes.lastText().find("RThreshold") != std::string::npos,
             f.boxes.lastText().c_str());
    QCOMPARE(f->comm().GetRThreshold(), short(6));
}

QTEST_MAIN(TestValueDlg)
#include "tst_valuedlg.moc"
