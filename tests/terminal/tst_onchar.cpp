// Typed characters: to the wire while the port is open, on the screen with local echo or
// while the port is closed, byte for byte.
#include "res/resource.h"
#include "terminal/keyinput.h"
#include "tests/support/framefixture.h"
#include "tests/terminal/bytesprinter.h"

#include <QKeyEvent>
#include <QtTest>

using namespace std::string_literals;

class TestOnChar : public QObject {
    Q_OBJECT
private slots:
    void sentAndShown_data();
    void sentAndShown();
    void editingKeysWithPortClosed();
    void editingKeysSentAndEchoed();
    void everyByteValueOnTheWire();
    void onlyTheLowByteAndOneCharacter();
    void keyboardHighByte();
    void typedBytes_data();
    void typedBytes();
    void menuChordsTypeNothing();
    void enterSends_data();
    void enterSends();

private:
    static bool OpenPort(FrameFixture& f) {
        f.linkPort(7);
        f->SendCommand(ID_COMM_PORT_OPEN, CMainFrame::Source::Menu);
        return f->m_wndComm.GetPortOpen() && f.boxes.shown.empty();
    }
};

void TestOnChar::sentAndShown_data() {
    QTest::addColumn<bool>("open");
    QTest::addColumn<bool>("echo");
    QTest::addColumn<bool>("sent");
    QTest::addColumn<bool>("shown");
    QTest::newRow("closed, no echo") << false << false << false << true;
    QTest::newRow("closed, echo") << false << true << false << true;
    QTest::newRow("open, no echo") << true << false << true << false;
    QTest::newRow("open, echo") << true << true << true << true;
}

void TestOnChar::sentAndShown() {
    QFETCH(bool, open);
    QFETCH(bool, echo);
    QFETCH(bool, sent);
    QFETCH(bool, shown);
    FrameFixture f;
    QVERIFY(f.created());
    PtyPair& pty = f.linkPort(7);
    if (open) QVERIFY(OpenPort(f));
    f->m_wndEdit.m_bEcho = echo;
    f->m_wndEdit.setText("> ");
    f->m_wndEdit.setSel(2, 2);

    f->m_wndEdit.OnChar('k', 1, 0);
    f->m_wndEdit.OnChar('\xE9', 1, 0);
    QCOMPARE(f.screen(), shown ? "> k\xE9"s : "> "s);
    if (sent) {
        QCOMPARE(pty.read(2, 3000), "k\xE9"s);
    } else {
        QCOMPARE(pty.read(1, 200), ""s);
    }
    QVERIFY(f.boxes.shown.empty());
}

void TestOnChar::editingKeysWithPortClosed() {
    FrameFixture f;
    QVERIFY(f.created());
    auto& screen = f->m_wndEdit;
    for (const char c : "ab\b"s)
        screen.OnChar(static_cast<unsigned char>(c), 1, 0);
    QCOMPARE(f.screen(), "a"s);
    screen.OnChar('\r', 1, 0); // Enter starts a new line
    QCOMPARE(f.screen(), "a\r\n"s);
    screen.OnChar('\b', 1, 0); // a line break goes as a whole
    QCOMPARE(f.screen(), "a"s);
    screen.OnChar('\b', 1, 0);
    screen.OnChar('\b', 1, 0); // nothing left to erase
    QCOMPARE(f.screen(), ""s);
    // Typing replaces the user's selection, wherever it is.
    screen.setText("12345");
    screen.setSel(1, 3);
    screen.OnChar('x', 1, 0);
    QCOMPARE(f.screen(), "1x45"s);
}

void TestOnChar::editingKeysSentAndEchoed() {
    FrameFixture f;
    QVERIFY(f.created());
    QVERIFY(OpenPort(f));
    f->m_wndEdit.m_bEcho = 1;
    for (const char c : "ab\b\r"s)
        f->m_wndEdit.OnChar(static_cast<unsigned char>(c), 1, 0);
    // The wire gets the keys as typed; the screen applies them.
    QCOMPARE(f.pty().read(4, 3000), "ab\b\r"s);
    QCOMPARE(f.screen(), "a\r\n"s);
}

void TestOnChar::everyByteValueOnTheWire() {
    FrameFixture f;
    QVERIFY(f.created());
    QVERIFY(OpenPort(f));
    std::string all;
    for (int b = 0; b < 256; ++b) {
        all.push_back(static_cast<char>(b));
        f->m_wndEdit.OnChar(static_cast<unsigned>(b), 1, 0);
    }
    QCOMPARE(f.pty().read(256, 5000), all);
    QCOMPARE(f.pty().read(1, 200), ""s);
    QCOMPARE(f.screen(), ""s);
    QVERIFY(f.boxes.shown.empty());
}

void TestOnChar::onlyTheLowByteAndOneCharacter() {
    FrameFixture f;
    QVERIFY(f.created());
    QVERIFY(OpenPort(f));
    f->m_wndEdit.OnChar(0x1E9, 1, 0);    // high bits of the code are not sent
    f->m_wndEdit.OnChar('q', 5, 0x1234); // the repeat count and flags do not count
    QCOMPARE(f.pty().read(3, 1000), "\xE9q"s);
}

void TestOnChar::keyboardHighByte() {
    // A key press whose text is a character of the code page goes out as that byte.
    FrameFixture f;
    QVERIFY(f.created());
    QVERIFY(OpenPort(f));
    for (const QChar c : QStringLiteral("\u00E9\u20AC")) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QApplication::sendEvent(&f->m_wndEdit, &press);
    }
    QCOMPARE(f.pty().read(2, 3000), "\xE9\x80"s);
    QCOMPARE(f.screen(), ""s);
    // What the code page cannot hold goes out as '?', from a key and from an input method.
    QKeyEvent omega(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QStringLiteral("\u03A9"));
    QApplication::sendEvent(&f->m_wndEdit, &omega);
    QInputMethodEvent commit;
    commit.setCommitString(QStringLiteral("\u017C\U0001F600e"));
    QApplication::sendEvent(&f->m_wndEdit, &commit);
    QCOMPARE(f.pty().read(4, 3000), "???e"s);
    QCOMPARE(f.pty().read(1, 200), ""s);
}

void TestOnChar::typedBytes_data() {
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("altGr"); // the platform reports the third-level shift
    QTest::addColumn<bool>("typing"); // false: a key the widget may use for itself
    QTest::addColumn<QByteArray>("bytes");
    const int none = Qt::NoModifier, shift = Qt::ShiftModifier, ctrl = Qt::ControlModifier,
              alt = Qt::AltModifier, group = Qt::GroupSwitchModifier,
              keypad = Qt::KeypadModifier;
    QTest::newRow("q") << none << "q" << false << true << QByteArray("q");
    QTest::newRow("Shift+Q") << shift << "Q" << false << true << QByteArray("Q");
    QTest::newRow("Ctrl+C") << ctrl << "\x03" << false << true << QByteArray("\x03");
    QTest::newRow("keypad Enter") << keypad << "\r" << false << true << QByteArray("\r");
    QTest::newRow("Alt+Q") << alt << "q" << false << true << QByteArray();
    QTest::newRow("Alt+1") << alt << "1" << false << true << QByteArray();
    QTest::newRow("Alt+Enter") << alt << "\r" << false << true << QByteArray();
    QTest::newRow("Alt+Shift+Z") << (alt | shift) << "Z" << false << true << QByteArray();
    QTest::newRow("Ctrl+Alt+Q") << (ctrl | alt) << "\x11" << false << true << QByteArray();
    QTest::newRow("AltGr+Q, de") << group << "@" << false << true << QByteArray("@");
    QTest::newRow("AltGr+E, de") << group << "\u20AC" << false << true << QByteArray("\x80");
    QTest::newRow("AltGr reported as Alt") << alt << "{" << true << true << QByteArray("{");
    QTest::newRow("AltGr+Shift, Alt too") << (alt | shift | group) << "|" << false << true
                                          << QByteArray("|");
    QTest::newRow("unmappable") << none << "\u03A9" << false << true << QByteArray("?");
    QTest::newRow("beyond 16 bits, one ?") << none << "\U0001F600" << false << true
                                           << QByteArray("?");
    QTest::newRow("composed pair") << none << "\u00E9\u20AC" << false << true
                                   << QByteArray("\xE9\x80");
    QTest::newRow("NUL typed") << ctrl << QString(QChar(0)) << false << true
                               << QByteArray(1, '\0');
    QTest::newRow("F5, no text") << none << "" << false << false << QByteArray();
    QTest::newRow("Alt alone") << alt << "" << false << false << QByteArray();
}

void TestOnChar::typedBytes() {
    QFETCH(int, modifiers);
    QFETCH(QString, text);
    QFETCH(bool, altGr);
    QFETCH(bool, typing);
    QFETCH(QByteArray, bytes);
    const auto typed = terminal::TypedBytes(Qt::KeyboardModifiers(modifiers), text, altGr);
    QCOMPARE(typed.has_value(), typing);
    if (typed) QCOMPARE(QByteArray::fromStdString(*typed), bytes);
}

void TestOnChar::menuChordsTypeNothing() {
    // With the port open, Alt with a key that no menu takes sends nothing and shows nothing;
    // AltGr's characters are typed.
    FrameFixture f;
    QVERIFY(f.created());
    QVERIFY(OpenPort(f));
    f->m_wndEdit.m_bEcho = 1;
    f->m_wndEdit.setFocus();
    QTest::keyClick(&f->m_wndEdit, Qt::Key_Q, Qt::AltModifier);
    QTest::keyClick(&f->m_wndEdit, Qt::Key_Z, Qt::AltModifier);
    QTest::keyClick(&f->m_wndEdit, Qt::Key_1, Qt::AltModifier);
    QTest::keyClick(&f->m_wndEdit, Qt::Key_Return, Qt::AltModifier);
    QKeyEvent altGrQ(QEvent::KeyPress, Qt::Key_Q, Qt::GroupSwitchModifier, QStringLiteral("@"));
    QApplication::sendEvent(&f->m_wndEdit, &altGrQ);
    QCOMPARE(f.pty().read(1, 3000), "@"s);
    QCOMPARE(f.pty().read(1, 200), ""s);
    QCOMPARE(f.screen(), "@"s);
}

void TestOnChar::enterSends_data() {
    QTest::addColumn<unsigned>("setting");
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<QString>("text"); // what the keyboard gives with the key
    QTest::addColumn<std::string>("wire");
    QTest::addColumn<std::string>("echo");
    const int ctrl = Qt::ControlModifier;
    const int keypad = Qt::KeypadModifier;
    QTest::newRow("Enter, CR") << unsigned{ID_SETTINGS_ENTER_CR} << int{Qt::Key_Return} << 0
                               << "\r" << "\r"s << "\r\n"s;
    QTest::newRow("Enter, LF") << unsigned{ID_SETTINGS_ENTER_LF} << int{Qt::Key_Return} << 0
                               << "\r" << "\n"s << "\r\n"s;
    QTest::newRow("Enter, CR LF: one break echoed")
        << unsigned{ID_SETTINGS_ENTER_CRLF} << int{Qt::Key_Return} << 0 << "\r" << "\r\n"s
        << "\r\n"s;
    QTest::newRow("keypad Enter, LF") << unsigned{ID_SETTINGS_ENTER_LF} << int{Qt::Key_Enter}
                                      << keypad << "\r" << "\n"s << "\r\n"s;
    QTest::newRow("Ctrl+M is CR") << unsigned{ID_SETTINGS_ENTER_LF} << int{Qt::Key_M} << ctrl
                                  << "\r" << "\r"s << "\r\n"s;
    QTest::newRow("Ctrl+J is LF") << unsigned{ID_SETTINGS_ENTER_CRLF} << int{Qt::Key_J} << ctrl
                                  << "\n" << "\n"s << "\r\n"s;
    QTest::newRow("other keys unchanged") << unsigned{ID_SETTINGS_ENTER_CRLF} << int{Qt::Key_A}
                                          << 0 << "a" << "a"s << "a"s;
}

void TestOnChar::enterSends() {
    QFETCH(unsigned, setting);
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(QString, text);
    QFETCH(std::string, wire);
    QFETCH(std::string, echo);
    FrameFixture f;
    QVERIFY(f.created());
    QVERIFY(OpenPort(f));
    f->m_wndEdit.m_bEcho = 1;
    f->SendCommand(setting, CMainFrame::Source::Menu);
    QKeyEvent press(QEvent::KeyPress, key, Qt::KeyboardModifiers(modifiers), text);
    QApplication::sendEvent(&f->m_wndEdit, &press);
    QCOMPARE(f.pty().read(wire.size(), 3000), wire);
    QCOMPARE(f.pty().read(1, 200), ""s);
    QCOMPARE(f.screen(), echo);
}

QTEST_MAIN(TestOnChar)
#include "tst_onchar.moc"
