// The framework layer: error texts and the guard, message box icons and caption, first-match
// routing, radio-group exchange, the keys of dialogs and boxes, the clock, the idle hook and
// the code page.
#include "framework/application.h"
#include "framework/clock.h"
#include "framework/codepage.h"
#include "framework/commands.h"
#include "framework/dialog.h"
#include "framework/errors.h"
#include "framework/filedialog.h"
#include "framework/msgbox.h"
#include "tests/support/modaldriver.h"
#include "tests/support/scriptedui.h"

#include <QButtonGroup>
#include <QGroupBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <new>
#include <stdexcept>

namespace {

// A command target with overlapping ranges, in the manner of the main frame's map.
struct Target {
    std::vector<std::string> calls;
    void first(unsigned id) { calls.push_back("first " + std::to_string(id)); }
    void second(unsigned id) { calls.push_back("second " + std::to_string(id)); }
    void single() { calls.push_back("single"); }
    void rule(fw::CmdUI& ui) {
        calls.push_back("rule " + std::to_string(ui.id()));
        ui.Enable(false);
    }
};

constexpr fw::MapEntry<Target> kMap[] = {
    fw::OnCommand(5, &Target::single),
    fw::OnUpdateRange(10, 20, &Target::rule),
    fw::OnCommandRange(10, 14, &Target::first),
    fw::OnCommandRange(5, 20, &Target::second),
};

// Runs a real event loop for `ms`: it blocks between events, which is when the loop is idle.
// (QTest::qWait only polls and never falls idle.)
void RunLoop(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// A dialog of every kind of control: a radio group, a field, OK, Cancel and a third button.
class KeyDialog : public fw::Dialog {
public:
    explicit KeyDialog(bool okIsDefault)
        : fw::Dialog(nullptr, QSize(150, 90)) {
        auto* box = new QGroupBox(QStringLiteral("&Group"), this);
        box->setGeometry(5, 5, 60, 45);
        for (int i = 0; i < 3; ++i) {
            auto* radio = new QRadioButton(QString::number(i), box);
            radio->setObjectName(QStringLiteral("radio%1").arg(i));
            radio->setGeometry(5, 10 + 11 * i, 40, 10);
        }
        findChild<QRadioButton*>(QStringLiteral("radio1"))->setChecked(true);
        auto* field = new QLineEdit(this);
        field->setObjectName(QStringLiteral("field"));
        field->setGeometry(5, 60, 60, 12);
        int y = 5;
        for (const char* name : {"ok", "cancel", "other"}) {
            auto* button = new QPushButton(QString::fromLatin1(name), this);
            button->setObjectName(QString::fromLatin1(name));
            button->setGeometry(100, y, 40, 14);
            button->setAutoDefault(false);
            y += 20;
        }
        findChild<QPushButton*>(QStringLiteral("ok"))->setDefault(okIsDefault);
        connect(findChild<QPushButton*>(QStringLiteral("ok")), &QPushButton::clicked, this,
                &KeyDialog::accept);
        connect(findChild<QPushButton*>(QStringLiteral("cancel")), &QPushButton::clicked, this,
                &KeyDialog::reject);
        connect(findChild<QPushButton*>(QStringLiteral("other")), &QPushButton::clicked, this,
                [this] { ++otherPresses; });
        Layout();
    }
    int otherPresses = 0;
};

} // namespace

class TestFramework : public QObject {
    Q_OBJECT
private slots:
    void severalFilesAndFolders_data();
    void severalFilesAndFolders();
    void errorText_data();
    void errorText();
    void guardReports();
    void boxIconsAndCaption();
    void firstMatchWins();
    void radioExchange();
    void dialogKeys_data();
    void dialogKeys();
    void messageBoxKeys_data();
    void messageBoxKeys();
    void idleHook();
    void codePageRoundTrip();
};

void TestFramework::errorText_data() {
    QTest::addColumn<int>("kind");
    QTest::addColumn<bool>("menu"); // a menu or key command, else a window message
    QTest::addColumn<QString>("text");
    const QString enoent = QString::fromLatin1(std::strerror(ENOENT)) + ".";
    QTest::newRow("file not found") << 0 << true << "/tmp/x.dmp was not found.";
    QTest::newRow("file denied") << 1 << false << "Access to /tmp/x.dmp was denied.";
    QTest::newRow("control description") << 2 << true << "COM3 (/dev/ttyS2) is in use.";
    QTest::newRow("control errno only") << 3 << true << enoent;
    QTest::newRow("control bare, menu") << 4 << true << "Command failed.";
    QTest::newRow("control bare, window") << 4 << false << "Internal application error.";
    QTest::newRow("memory") << 5 << true << "Out of memory.";
    QTest::newRow("anything else, menu") << 6 << true << "Command failed.";
    QTest::newRow("anything else, window") << 6 << false << "Internal application error.";
}

void TestFramework::errorText() {
    QFETCH(int, kind);
    QFETCH(bool, menu);
    QFETCH(QString, text);
    std::exception_ptr error;
    switch (kind) {
    case 0:
        error = std::make_exception_ptr(fw::FileError::FromErrno(ENOENT, "/tmp/x.dmp"));
        break;
    case 1:
        error = std::make_exception_ptr(fw::FileError::FromErrno(EACCES, "/tmp/x.dmp"));
        break;
    case 2:
        error = std::make_exception_ptr(fw::ControlError("COM3 (/dev/ttyS2) is in use.", 8005));
        break;
    case 3:
        error = std::make_exception_ptr(fw::ControlError("", 8005, ENOENT));
        break;
    case 4:
        error = std::make_exception_ptr(fw::ControlError("", 8005));
        break;
    case 5:
        error = std::make_exception_ptr(std::bad_alloc());
        break;
    default:
        error = std::make_exception_ptr(std::runtime_error("whatever"));
        break;
    }
    const auto entry = menu ? fw::Entry::MenuOrKeyCommand : fw::Entry::WindowMessage;
    QCOMPARE(QString::fromStdString(fw::ErrorText(error, entry)), text);
}

void TestFramework::guardReports() {
    ScriptedMessageBoxes boxes;
    bool after = false;
    fw::Guard(fw::Entry::MenuOrKeyCommand, [&] {
        throw fw::ControlError("refused", 380);
        after = true;
    });
    QVERIFY(!after);
    QCOMPARE(boxes.shown.size(), std::size_t(1));
    QCOMPARE(boxes.shown[0].text, std::string("refused"));
    QCOMPARE(boxes.shown[0].icon, fw::Icon::Stop);
    QCOMPARE(boxes.shown[0].buttons, fw::Buttons::Ok);
    QCOMPARE(boxes.shown[0].caption, std::string("Wirelog"));
    // The control's event drops what it meets.
    fw::Guard(fw::Entry::ControlEvent, [] { throw fw::ControlError("refused", 380); });
    QCOMPARE(boxes.shown.size(), std::size_t(1));
    int ran = 0;
    fw::Guard(fw::Entry::WindowMessage, [&] { ++ran; });
    QCOMPARE(ran, 1);
    QCOMPARE(boxes.shown.size(), std::size_t(1));
}

void TestFramework::boxIconsAndCaption() {
    QCOMPARE(fw::ResolveIcon(fw::Buttons::Ok, fw::Icon::Default), fw::Icon::Exclamation);
    QCOMPARE(fw::ResolveIcon(fw::Buttons::OkCancel, fw::Icon::Default), fw::Icon::Exclamation);
    QCOMPARE(fw::ResolveIcon(fw::Buttons::AbortRetryIgnore, fw::Icon::Default), fw::Icon::None);
    QCOMPARE(fw::ResolveIcon(fw::Buttons::Ok, fw::Icon::Stop), fw::Icon::Stop);
    QCOMPARE(fw::ResolveIcon(fw::Buttons::AbortRetryIgnore, fw::Icon::Information),
             fw::Icon::Information);

    ScriptedMessageBoxes boxes;
    boxes.answer(fw::Answer::Retry);
    QCOMPARE(fw::MessageBox(32789, fw::Buttons::AbortRetryIgnore), fw::Answer::Retry);
    QCOMPARE(boxes.lastText(), std::string("Data could not be sent!"));
    QCOMPARE(boxes.shown.back().caption, std::string("Wirelog"));
    QCOMPARE(boxes.shown.back().icon, fw::Icon::None);
    fw::MessageBeep(fw::Icon::Exclamation);
    QCOMPARE(boxes.beeps, std::vector<fw::Icon>{fw::Icon::Exclamation});
}

void TestFramework::firstMatchWins() {
    Target t;
    const std::span<const fw::MapEntry<Target>> map(kMap);
    for (const unsigned id : {5u, 10u, 14u, 15u, 20u})
        QVERIFY(fw::RouteCommand(t, map, id));
    QVERIFY(!fw::RouteCommand(t, map, 4u));
    QVERIFY(!fw::RouteCommand(t, map, 21u));
    QCOMPARE(t.calls, (std::vector<std::string>{"single", "first 10", "first 14", "second 15",
                                                "second 20"}));

    t.calls.clear();
    fw::ProbeCmdUI inside(12), outside(5);
    QVERIFY(fw::RouteUpdate(t, map, inside));
    QVERIFY(!inside.enabled);
    QVERIFY(!fw::RouteUpdate(t, map, outside)); // commands are not rules
    QVERIFY(outside.enabled);
    QCOMPARE(t.calls, std::vector<std::string>{"rule 12"});
}

void TestFramework::radioExchange() {
    QWidget parent;
    QButtonGroup group;
    std::array<QRadioButton*, 3> buttons{};
    for (int i = 0; i < 3; ++i) {
        buttons[i] = new QRadioButton(&parent);
        group.addButton(buttons[i]);
    }
    const auto checked = [&] {
        QList<bool> states;
        for (auto* b : buttons)
            states << b->isChecked();
        return states;
    };
    fw::DataExchange toControls(false), fromControls(true);

    int value = 2;
    toControls.Radio(buttons, value);
    QCOMPARE(checked(), (QList<bool>{false, false, true}));
    value = 0;
    toControls.Radio(buttons, value);
    QCOMPARE(checked(), (QList<bool>{true, false, false}));
    fromControls.Radio(buttons, value);
    QCOMPARE(value, 0);

    // A position outside the group clears it all, and the group stays exclusive after.
    for (const int outside : {3, -1}) {
        value = outside;
        toControls.Radio(buttons, value);
        QCOMPARE(checked(), (QList<bool>{false, false, false}));
        fromControls.Radio(buttons, value);
        QCOMPARE(value, -1);
    }
    QVERIFY(group.exclusive());
    buttons[1]->click();
    buttons[2]->click();
    QCOMPARE(checked(), (QList<bool>{false, false, true}));
    fromControls.Radio(buttons, value);
    QCOMPARE(value, 2);
}

void TestFramework::dialogKeys_data() {
    QTest::addColumn<bool>("okIsDefault");
    QTest::addColumn<QString>("focus");
    QTest::addColumn<int>("key");
    QTest::addColumn<QString>("outcome"); // accepted, rejected or other (the dialog stays)
    const int enter = Qt::Key_Return;
    QTest::newRow("Enter on OK") << false << "ok" << enter << "accepted";
    QTest::newRow("Enter on Cancel, OK default") << true << "cancel" << enter << "rejected";
    QTest::newRow("Enter on Cancel, no default") << false << "cancel" << enter << "rejected";
    QTest::newRow("keypad Enter on Cancel") << true << "cancel" << int(Qt::Key_Enter)
                                            << "rejected";
    QTest::newRow("Enter on a third button") << true << "other" << enter << "other";
    QTest::newRow("Enter in a field, OK default") << true << "field" << enter << "accepted";
    QTest::newRow("Enter in a field, no default") << false << "field" << enter << "accepted";
    QTest::newRow("Enter on a radio button") << false << "radio1" << enter << "accepted";
    QTest::newRow("Space on Cancel") << true << "cancel" << int(Qt::Key_Space) << "rejected";
    QTest::newRow("Space on a third button") << true << "other" << int(Qt::Key_Space) << "other";
    QTest::newRow("Escape on OK") << true << "ok" << int(Qt::Key_Escape) << "rejected";
    QTest::newRow("Escape in a field") << false << "field" << int(Qt::Key_Escape) << "rejected";
}

void TestFramework::dialogKeys() {
    QFETCH(bool, okIsDefault);
    QFETCH(QString, focus);
    QFETCH(int, key);
    QFETCH(QString, outcome);
    KeyDialog d(okIsDefault);
    d.show();
    QWidget* target = d.findChild<QWidget*>(focus);
    QVERIFY(target);
    target->setFocus();
    QCOMPARE(d.focusWidget(), target);
    QTest::keyClick(target, Qt::Key(key));
    if (outcome == "other") {
        QVERIFY(d.isVisible());
        QCOMPARE(d.otherPresses, 1);
        return;
    }
    QVERIFY(!d.isVisible());
    QCOMPARE(d.otherPresses, 0);
    QCOMPARE(d.result(), outcome == "accepted" ? int(QDialog::Accepted) : int(QDialog::Rejected));
}

void TestFramework::messageBoxKeys_data() {
    QTest::addColumn<int>("buttons");
    QTest::addColumn<int>("focus"); // the box's button that has the focus
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("answer");
    const int ok = QMessageBox::Ok, cancel = QMessageBox::Cancel, retry = QMessageBox::Retry;
    const int okCancel = int(fw::Buttons::OkCancel), ari = int(fw::Buttons::AbortRetryIgnore);
    QTest::newRow("Enter on Cancel") << okCancel << cancel << int(Qt::Key_Return)
                                     << int(fw::Answer::Cancel);
    QTest::newRow("Enter on OK") << okCancel << ok << int(Qt::Key_Return) << int(fw::Answer::Ok);
    QTest::newRow("Space on Cancel") << okCancel << cancel << int(Qt::Key_Space)
                                     << int(fw::Answer::Cancel);
    QTest::newRow("Escape on OK") << okCancel << ok << int(Qt::Key_Escape)
                                  << int(fw::Answer::Cancel);
    QTest::newRow("Enter on Retry") << ari << retry << int(Qt::Key_Return)
                                    << int(fw::Answer::Retry);
    QTest::newRow("Enter on OK alone") << int(fw::Buttons::Ok) << ok << int(Qt::Key_Return)
                                       << int(fw::Answer::Ok);
}

void TestFramework::messageBoxKeys() {
    // The real box, answered from the keyboard.
    QFETCH(int, buttons);
    QFETCH(int, focus);
    QFETCH(int, key);
    QFETCH(int, answer);
    fw::SetMessageBoxPresenter(nullptr);
    auto ran = ModalDriver::whenShown<QMessageBox>([&](QMessageBox* box) {
        QAbstractButton* button = box->button(QMessageBox::StandardButton(focus));
        QVERIFY(button);
        button->setFocus();
        QTest::keyClick(button, Qt::Key(key));
    });
    const fw::Answer got = fw::MessageBox("Keys", fw::Buttons(buttons));
    QVERIFY(*ran);
    QCOMPARE(int(got), answer);
}

void TestFramework::idleHook() {
    int runs = 0;
    int owner = 0;
    fw::SetIdleHook(&owner, [&] { ++runs; });
    RunLoop(50);
    QVERIFY(runs > 0);

    // Dispatching what is waiting runs no idle processing.
    runs = 0;
    bool posted = false;
    QTimer::singleShot(0, [&] { posted = true; });
    for (int i = 0; i < 10 && !posted; ++i)
        fw::DispatchPending();
    QVERIFY(posted);
    QCOMPARE(runs, 0);

    {
        fw::IdleSuspender quiet;
        RunLoop(50);
        QCOMPARE(runs, 0);
    }
    fw::SetIdleHook(&owner, {});
    RunLoop(50);
    QCOMPARE(runs, 0);
}

void TestFramework::codePageRoundTrip() {
    std::string all;
    for (int b = 0; b < 256; ++b)
        all += char(b);
    const QString unicode = fw::FromAnsi(all);
    QCOMPARE(unicode.size(), 256);
    QCOMPARE(fw::ToAnsi(unicode), all);
    QCOMPARE(unicode.at(0x80), QChar(0x20AC));
    QCOMPARE(unicode.at(0x81), QChar(0x0081));
    QCOMPARE(unicode.at(0x9D), QChar(0x009D));
    QCOMPARE(unicode.at(0x9F), QChar(0x0178));
    QCOMPARE(unicode.at(0xE9), QChar(0x00E9));
    QCOMPARE(fw::ToAnsi(QStringLiteral("a\u4e2dz")), std::string("a?z"));
    QCOMPARE(fw::ToAnsi(QStringLiteral("\u4e2d"), '#'), std::string("#"));
}

// The answer for several files gives one path a line; empty lines are no files.
void TestFramework::severalFilesAndFolders_data() {
    QTest::addColumn<QString>("answer");
    QTest::addColumn<QStringList>("paths");
    QTest::addRow("one") << "/a/b c.bin" << QStringList{"/a/b c.bin"};
    QTest::addRow("three") << "/a/1\n/a/2\n/b/3" << QStringList{"/a/1", "/a/2", "/b/3"};
    QTest::addRow("blank lines") << "\n/a/1\n\n" << QStringList{"/a/1"};
    QTest::addRow("nothing") << "" << QStringList{};
}

void TestFramework::severalFilesAndFolders() {
    QFETCH(QString, answer);
    QFETCH(QStringList, paths);
    ScriptedFileDialogs dialogs;
    dialogs.choose(answer.toStdString());
    QStringList got;
    for (const std::string& path : fw::GetOpenFileNames(nullptr, "Send Files"))
        got << QString::fromStdString(path);
    QCOMPARE(got, paths);
    QCOMPARE(dialogs.requests.back().mode, fw::FileDialogRequest::Mode::ExistingFiles);
    QCOMPARE(dialogs.requests.back().title, std::string("Send Files"));
    dialogs.choose("/srv/in");
    QCOMPARE(fw::GetFolderName(nullptr, "Into", "/srv"), std::optional<std::string>("/srv/in"));
    QCOMPARE(dialogs.requests.back().mode, fw::FileDialogRequest::Mode::Folder);
    QCOMPARE(dialogs.requests.back().start, std::string("/srv"));
    QVERIFY(!fw::GetFolderName(nullptr, "Into", "/srv")); // cancelled
}

QTEST_MAIN(TestFramework)
#include "tst_framework.moc"
