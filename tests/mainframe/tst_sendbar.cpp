// The send bar and the macro bar as a user drives them with the keyboard and the mouse: what a
// send emits in text and hex with each line ending, the history and its recall, a hex field
// that cannot be read, Escape; the macro buttons.
#include "mainframe/macrobar.h"
#include "mainframe/sendbar.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

using namespace std::string_literals;

namespace {

// A shown send bar whose field has the keyboard, with what it emits recorded.
struct Bar {
    CSendBar bar;
    std::vector<std::string> sent;
    int escapes = 0;
    Bar() {
        QObject::connect(&bar, &CSendBar::sendRequested,
                         [this](const std::string& bytes) { sent.push_back(bytes); });
        bar.setEscapeHandler([this] { ++escapes; });
        bar.show();
        bar.activateWindow();
        bar.field()->setFocus();
    }
    // Key clicks; text beyond ASCII (which QTest cannot type) goes in as a paste would.
    void type(const QString& text) {
        for (const QChar c : text)
            if (c.unicode() >= 0x80) return bar.field()->insert(text);
        QTest::keyClicks(bar.field(), text);
    }
    void key(Qt::Key k) { QTest::keyClick(bar.field(), k); }
};

} // namespace

class TestSendBar : public QObject {
    Q_OBJECT
private slots:
    void enterSends_data();
    void enterSends();
    void badHexSendsNothing_data();
    void badHexSendsNothing();
    void historyRecall();
    void historyFoldsAndBounds();
    void escapeHandsTheKeyboardBack();
    void macroButtons();
};

void TestSendBar::enterSends_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("hex");
    QTest::addColumn<int>("ending");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("text, CR") << "AT" << false << 1 << QByteArray("AT\r");
    QTest::newRow("text, none") << "AT" << false << 0 << QByteArray("AT");
    QTest::newRow("text, LF") << "AT" << false << 2 << QByteArray("AT\n");
    QTest::newRow("text, CR LF") << "AT" << false << 3 << QByteArray("AT\r\n");
    QTest::newRow("code page") << QString::fromUtf8("\u00e9\u20ac") << false << 0
                               << QByteArray("\xe9\x80");
    QTest::newRow("hex, none") << "41 42 0d" << true << 0 << QByteArray("AB\r");
    QTest::newRow("hex, CR LF") << "0x00" << true << 3 << QByteArray("\0\r\n", 3);
    QTest::newRow("empty line, CR") << "" << false << 1 << QByteArray("\r");
}

void TestSendBar::enterSends() {
    QFETCH(QString, typed);
    QFETCH(bool, hex);
    QFETCH(int, ending);
    QFETCH(QByteArray, bytes);
    Bar b;
    b.bar.setHex(hex);
    b.bar.setLineEnding(static_cast<transfer::LineEnding>(ending));
    b.type(typed);
    b.key(Qt::Key_Return);
    QCOMPARE(b.sent.size(), std::size_t(1));
    QCOMPARE(QByteArray::fromStdString(b.sent[0]), bytes);
    QVERIFY(b.bar.field()->text().isEmpty());
    // The Send button does the same as Enter.
    b.type(typed);
    QTest::mouseClick(b.bar.sendButton(), Qt::LeftButton);
    QCOMPARE(b.sent.size(), std::size_t(2));
    QCOMPARE(QByteArray::fromStdString(b.sent[1]), bytes);
}

void TestSendBar::badHexSendsNothing_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("column"); // where the cursor is put: the fault
    QTest::addColumn<QString>("said");
    QTest::newRow("odd digits") << "41 4" << 3 << "odd number";
    QTest::newRow("0x alone") << "41 0x" << 3 << "no digits";
    QTest::newRow("bad digit") << "41 4G 42" << 4 << "'G' at column 5";
}

void TestSendBar::badHexSendsNothing() {
    QFETCH(QString, typed);
    QFETCH(int, column);
    QFETCH(QString, said);
    Bar b;
    b.bar.setHex(true);
    b.type(typed);
    b.key(Qt::Key_Return);
    QVERIFY(b.sent.empty());
    QVERIFY(b.bar.history().empty());
    // The field keeps the text, is marked, and the fault is named beside it.
    QCOMPARE(b.bar.field()->text(), typed);
    QVERIFY(!b.bar.field()->styleSheet().isEmpty());
    QVERIFY(b.bar.faultLabel()->isVisible());
    QVERIFY2(b.bar.faultLabel()->text().contains(said), qPrintable(b.bar.faultLabel()->text()));
    QCOMPARE(b.bar.field()->cursorPosition(), column);
    // Mending the field takes the mark away; unchecking Hex sends the text as it is.
    b.key(Qt::Key_End);
    b.key(Qt::Key_Backspace);
    QVERIFY(!b.bar.faultLabel()->isVisible());
    QVERIFY(b.bar.field()->styleSheet().isEmpty());
    b.type("x");
    b.bar.setHex(false);
    b.key(Qt::Key_Return);
    QCOMPARE(b.sent.size(), std::size_t(1));
}

void TestSendBar::historyRecall() {
    Bar b;
    for (const char* line : {"one", "two", "three"}) {
        b.type(line);
        b.key(Qt::Key_Return);
    }
    b.type("draft");
    b.key(Qt::Key_Up);
    QCOMPARE(b.bar.field()->text(), "three");
    b.key(Qt::Key_Up);
    b.key(Qt::Key_Up);
    QCOMPARE(b.bar.field()->text(), "one");
    b.key(Qt::Key_Up); // the oldest stays
    QCOMPARE(b.bar.field()->text(), "one");
    b.key(Qt::Key_Down);
    QCOMPARE(b.bar.field()->text(), "two");
    b.key(Qt::Key_Down);
    b.key(Qt::Key_Down); // past the newest: the draft comes back
    QCOMPARE(b.bar.field()->text(), "draft");
    b.key(Qt::Key_Down);
    QCOMPARE(b.bar.field()->text(), "draft");
    // A recalled line is sent again, and becomes the newest.
    b.bar.field()->clear();
    b.key(Qt::Key_Up);
    b.key(Qt::Key_Up);
    b.key(Qt::Key_Return);
    QCOMPARE(b.sent.back(), "two\r"s);
    QCOMPARE(b.bar.history(), (std::vector<std::string>{"one", "three", "two"}));
}

void TestSendBar::historyFoldsAndBounds() {
    Bar b;
    b.bar.setHistory({"a", "b", "a", "", "c", "b"});
    QCOMPARE(b.bar.history(), (std::vector<std::string>{"a", "c", "b"}));
    for (int i = 0; i < 150; ++i) {
        b.type(QString::number(i));
        b.key(Qt::Key_Return);
    }
    QCOMPARE(b.bar.history().size(), CSendBar::kHistoryLength);
    QCOMPARE(b.bar.history().front(), "50"s);
    QCOMPARE(b.bar.history().back(), "149"s);
    // A hex line is remembered as typed, not as the bytes it sent.
    b.bar.setHex(true);
    b.type("41 42");
    b.key(Qt::Key_Return);
    QCOMPARE(b.bar.history().back(), "41 42"s);
}

void TestSendBar::escapeHandsTheKeyboardBack() {
    Bar b;
    b.type("half");
    b.key(Qt::Key_Escape);
    QCOMPARE(b.escapes, 1);
    QVERIFY(b.sent.empty());
    QCOMPARE(b.bar.field()->text(), "half");
}

void TestSendBar::macroButtons() {
    CMacroBar bar;
    QSignalSpy clicked(&bar, &CMacroBar::macroClicked);
    settings::Macros macros;
    macros[2] = {"Reset", "ATZ\\r"};
    macros[4] = {"", "AT\\r"};
    bar.setMacros(macros);
    bar.show();
    QCOMPARE(bar.button(2)->text(), "Reset");
    QCOMPARE(bar.button(4)->text(), "Macro 5");
    QVERIFY(!bar.button(0)->isEnabled()); // nothing to send
    QTest::mouseClick(bar.button(0), Qt::LeftButton);
    QTest::mouseClick(bar.button(2), Qt::LeftButton);
    QTest::mouseClick(bar.button(4), Qt::LeftButton);
    QCOMPARE(clicked.size(), 2);
    QCOMPARE(clicked.at(0).at(0).toInt(), 2);
    QCOMPARE(clicked.at(1).at(0).toInt(), 4);
}

QTEST_MAIN(TestSendBar)
#include "tst_sendbar.moc"
