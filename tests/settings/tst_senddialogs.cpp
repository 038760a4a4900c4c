// The macro editor and the pacing dialog, opened from the Settings menu of a real frame and
// driven as a user would: the live preview, a bad escape or an overlong text that OK refuses,
// what OK and Cancel leave behind.
#include "res/resource.h"
#include "settings/macrosdlg.h"
#include "settings/pacingdlg.h"
#include "tests/support/framefixture.h"
#include "tests/support/modaldriver.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QtTest>

namespace {

struct EditorSeen {
    QString preview1, preview2;
    QString message;
    bool stayedOpen = false;
    bool text2Focused = false;
    int cursor2 = -1;
};

} // namespace

class TestSendDialogs : public QObject {
    Q_OBJECT
private slots:
    void macroEditor_data();
    void macroEditor();
    void macroEditorCancelKeepsMacros();
    void pacing_data();
    void pacing();
};

void TestSendDialogs::macroEditor_data() {
    QTest::addColumn<QString>("text2");    // what the second macro is given first
    QTest::addColumn<QString>("preview2"); // what its preview must hold
    QTest::addColumn<int>("faultAt");      // -1: OK takes it at once
    QTest::newRow("good") << "AT\\d500\\B"
                          << "41 54 [pause 500 ms] [Break]" << -1;
    QTest::newRow("unknown escape") << "AT\\q"
                                    << "Unknown escape \\q at column 3" << 2;
    QTest::newRow("bad hex escape") << "\\x4"
                                    << "\\x needs two hex digits at column 1" << 0;
    QTest::newRow("a megabyte") << QString(1 << 20, QLatin1Char('x')) << "Too long: 1048576 bytes"
                                << int(settings::kMaxMacroText);
}

void TestSendDialogs::macroEditor() {
    QFETCH(QString, text2);
    QFETCH(QString, preview2);
    QFETCH(int, faultAt);
    FrameFixture f;
    QVERIFY(f.created());
    EditorSeen seen;
    auto ran = ModalDriver::whenShown<CMacrosDlg>([&](CMacrosDlg* d) {
        d->nameField(0)->setText("Reset");
        QTest::keyClicks(d->textField(0), "ATZ\\r");
        d->textField(1)->setText(text2);
        seen.preview1 = d->previewLabel(0)->text();
        seen.preview2 = d->previewLabel(1)->toolTip();
        QDialog* dialog = d;
        dialog->accept();
        seen.stayedOpen = d->isVisible();
        seen.message = d->messageLabel()->text();
        seen.text2Focused = d->focusWidget() == d->textField(1);
        seen.cursor2 = d->textField(1)->cursorPosition();
        // Mended, it is taken.
        if (!seen.stayedOpen) return;
        d->textField(1)->setText("ok");
        dialog->accept();
    });
    f->SendCommand(ID_SETTINGS_MACROS, CMainFrame::Source::Menu);
    QVERIFY(*ran);
    QCOMPARE(seen.preview1, QStringLiteral("41 54 5A 0D"));
    QVERIFY2(seen.preview2.startsWith(preview2), qPrintable(seen.preview2));
    QCOMPARE(seen.stayedOpen, faultAt >= 0);
    if (faultAt >= 0) {
        QVERIFY2(seen.message.startsWith("Macro 2 cannot be sent"), qPrintable(seen.message));
        QVERIFY(seen.text2Focused);
        QCOMPARE(seen.cursor2, faultAt);
    }
    QCOMPARE(f->macros()[0], (settings::Macro{"Reset", "ATZ\\r"}));
    QCOMPARE(f->macros()[1].text, faultAt >= 0 ? std::string("ok") : text2.toStdString());
    QCOMPARE(f->macroBar()->button(0)->text(), QStringLiteral("Reset"));
    QVERIFY(f.boxes.shown.empty());
}

void TestSendDialogs::macroEditorCancelKeepsMacros() {
    FrameFixture f;
    QVERIFY(f.created());
    settings::Macros before;
    before[5] = {"Six", "6"};
    f->SetMacros(before);
    QString shownName;
    auto ran = ModalDriver::whenShown<CMacrosDlg>([&](CMacrosDlg* d) {
        shownName = d->nameField(5)->text();
        d->nameField(5)->setText("Changed");
        QDialog* dialog = d;
        dialog->reject();
    });
    f->SendCommand(ID_SETTINGS_MACROS, CMainFrame::Source::Menu);
    QVERIFY(*ran);
    QCOMPARE(shownName, QStringLiteral("Six"));
    QVERIFY(f->macros() == before);
}

void TestSendDialogs::pacing_data() {
    QTest::addColumn<QString>("charTyped");
    QTest::addColumn<QString>("lineTyped");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("charMs");
    QTest::addColumn<int>("lineMs");
    QTest::newRow("both") << "250"
                          << "1000" << true << 250 << 1000;
    QTest::newRow("the most") << "10000"
                              << "0" << true << 10000 << 0;
    QTest::newRow("beyond the most") << "20000"
                                     << "5" << true << 2000 << 5;
    QTest::newRow("cancel") << "250"
                            << "1000" << false << 3 << 4;
}

void TestSendDialogs::pacing() {
    QFETCH(QString, charTyped);
    QFETCH(QString, lineTyped);
    QFETCH(bool, ok);
    QFETCH(int, charMs);
    QFETCH(int, lineMs);
    FrameFixture f;
    QVERIFY(f.created());
    f->SetPacing({3, 4});
    QString shown;
    auto ran = ModalDriver::whenShown<CPacingDlg>([&](CPacingDlg* d) {
        shown = d->charField()->text() + "/" + d->lineField()->text();
        // Typing replaces what is selected; a digit past the most is not taken.
        d->charField()->selectAll();
        QTest::keyClicks(d->charField(), charTyped);
        d->lineField()->selectAll();
        QTest::keyClicks(d->lineField(), lineTyped);
        QDialog* dialog = d;
        if (ok)
            dialog->accept();
        else
            dialog->reject();
    });
    f->SendCommand(ID_SETTINGS_PACING, CMainFrame::Source::Menu);
    QVERIFY(*ran);
    QCOMPARE(shown, QStringLiteral("3 ms/4 ms"));
    QCOMPARE(f->pacing(), (settings::Pacing{charMs, lineMs}));
}

QTEST_MAIN(TestSendDialogs)
#include "tst_senddialogs.moc"
