// The About box and the splash screen: the run-time labels, the About command from menu and
// tool bar, and the splash ending by itself after three seconds or at once on a key.
#include "app/aboutdlg.h"
#include "app/identity.h"
#include "app/splashdlg.h"
#include "res/resource.h"
#include "tests/support/framefixture.h"
#include "tests/support/modaldriver.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QtTest>

namespace {

struct Picture {
    QString version, description, credits, notice, origin;
    bool hasIcon = false;
};

Picture PictureOf(QDialog* d) {
    const auto text = [d](const char* name) {
        const QLabel* label = d->findChild<QLabel*>(QString::fromLatin1(name));
        return label ? label->text() : QStringLiteral("<missing>");
    };
    const QLabel* icon = d->findChild<QLabel*>(QStringLiteral("labelIcon"));
    return {text("labelVersion"), text("labelDescription"), text("credits"),
            text("notice"),    text("labelOrigin"),      icon && !icon->pixmap().isNull()};
}

const QString kNotice = QStringLiteral("(c) 2026 Wirelog team");
const QString kCredits = QStringLiteral("Written by K-W Labs");

void CheckPicture(const Picture& p) {
    QCOMPARE(p.version, QStringLiteral("Wirelog Version 2.0"));
    QCOMPARE(p.description, QStringLiteral("Serial Communication and Spy Software"));
    QCOMPARE(p.notice, kNotice);
    QCOMPARE(p.credits, kCredits);
    QVERIFY(!p.origin.isEmpty() && p.origin != QStringLiteral("<missing>"));
    QVERIFY(p.hasIcon);
}

} // namespace

class TestAboutSplash : public QObject {
    Q_OBJECT
private slots:
    void textsAreKeptScrambled();
    void aboutBox_data();
    void aboutBox();
    void splashEndsByItself();
    void splashKeys_data();
    void splashKeys();
};

void TestAboutSplash::textsAreKeptScrambled() {
    QCOMPARE(QString::fromStdString(app::Notice()), kNotice);
    QCOMPARE(QString::fromStdString(app::Credits()), kCredits);
    QCOMPARE(kNotice.size(), 21);
    QCOMPARE(kCredits.size(), 19);
    // The program's constants never hold the plain texts, nor any three letters of them in a
    // row (that they unscramble to the texts is checked above).
    const std::pair<std::string, std::string> kept[] = {
        {app::StoredNotice(), kNotice.toStdString()},
        {app::StoredCredits(), kCredits.toStdString()},
    };
    for (const auto& [stored, plain] : kept) {
        QCOMPARE(stored.size(), plain.size());
        for (std::size_t i = 0; i + 3 <= plain.size(); ++i)
            QVERIFY2(stored.find(plain.substr(i, 3)) == std::string::npos, plain.c_str());
    }
}

void TestAboutSplash::aboutBox_data() {
    QTest::addColumn<int>("source");
    QTest::addColumn<bool>("portOpen");
    QTest::newRow("Help menu") << int(CMainFrame::Source::Menu) << false;
    QTest::newRow("tool bar, port open") << int(CMainFrame::Source::ToolBar) << true;
}

void TestAboutSplash::aboutBox() {
    QFETCH(int, source);
    QFETCH(bool, portOpen);
    FrameFixture f;
    QVERIFY(f.created());
    if (portOpen) {
        PtyPair probe;
        if (!probe.isOpen()) QSKIP(probe.error().c_str());
        f.linkPort(7);
        f->SendCommand(ID_COMM_PORT_OPEN, CMainFrame::Source::ToolBar);
        QVERIFY(f->comm().GetPortOpen());
    }
    Picture picture;
    QString caption;
    auto ran = ModalDriver::whenShown<CAboutDlg>([&](CAboutDlg* d) {
        picture = PictureOf(d);
        caption = d->windowTitle();
        QTest::mouseClick(d->findChild<QPushButton*>(QStringLiteral("buttonOk")), Qt::LeftButton);
    });
    f->SendCommand(ID_APP_ABOUT, CMainFrame::Source(source));
    QVERIFY(*ran);
    QCOMPARE(caption, QStringLiteral("About Wirelog"));
    CheckPicture(picture);
    QVERIFY(f.boxes.shown.empty());
    QCOMPARE(f->comm().GetPortOpen(), portOpen);
}

void TestAboutSplash::splashEndsByItself() {
    CSplashDlg splash(nullptr);
    Picture picture;
    QTimer::singleShot(100, &splash, [&] { picture = PictureOf(&splash); });
    // A bound in case the timer never fires (or fires far too late).
    QTimer::singleShot(10000, &splash, [&] { splash.done(-1); });
    QElapsedTimer clock;
    clock.start();
    const int result = splash.DoModal();
    const qint64 ms = clock.elapsed();
    QCOMPARE(result, int(QDialog::Accepted));
    // The dialog's timer is a coarse one: it may fire up to 5 % early. A late one means a
    // loaded machine, not a fault, unless it is late by seconds.
    QVERIFY2(ms >= 2800 && ms < 8000, qPrintable(QString::number(ms)));
    CheckPicture(picture);
}

void TestAboutSplash::splashKeys_data() {
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<int>("result");
    QTest::newRow("Enter") << int(Qt::Key_Return) << 0 << int(QDialog::Accepted);
    QTest::newRow("Escape") << int(Qt::Key_Escape) << 0 << int(QDialog::Rejected);
    QTest::newRow("Alt+F4") << int(Qt::Key_F4) << int(Qt::AltModifier) << int(QDialog::Rejected);
}

void TestAboutSplash::splashKeys() {
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(int, result);
    CSplashDlg splash(nullptr);
    bool closedAtOnce = false;
    auto ran = ModalDriver::whenShown<CSplashDlg>([&](CSplashDlg* d) {
        QTest::keyClick(d, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        closedAtOnce = !d->isVisible();
    });
    const int got = splash.DoModal();
    QVERIFY(*ran);
    // Gone within the key's own handling, so not by the three-second timer.
    QVERIFY(closedAtOnce);
    QCOMPARE(got, result);
}

QTEST_MAIN(TestAboutSplash)
#include "tst_aboutsplash.moc"
