// Typed characters: to the wire while the port is open, on the screen with local echo or
// while the port is closed, byte for byte.
#include "framework/application.h"
#include "res/resource.h"
#include "terminal/keyinput.h"
#include "tests/support/framefixture.h"
#include "tests/support/bytesprinter.h"

#include <QClipboard>
#include <QKeyEvent>
#include <QtTest>

#include <memory>

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
    void userSelection_data();
    void userSelection();
    void mouseSelection();
};

void TestOnChar::sentAndShown_data() {
    // "frame": the frame's port; "sink": a bare screen whose sink reports `open`; "none": a
    // bare screen with no sink at all, which acts as with a closed port.
    QTest::addColumn<QString>("sink");
    QTest::addColumn<bool>("open");
    QTest::addColumn<bool>("echo");
    QTest::addColumn<bool>("sent");
    QTest::addColumn<bool>("shown");
    const QString frame = QStringLiteral("frame"), sink = QStringLiteral("sink");
    QTest::newRow("closed, no echo") << frame << false << false << false << true;
    QTest::newRow("closed, echo") << frame << false << true << false << true;
    QTest::newRow("open, no echo") << frame << true << false << true << false;
    QTest::newRow("open, echo") << frame << true << true << true << true;
    QTest::newRow("bare screen, sink open, no echo") << sink << true << false << true << false;
    QTest::newRow("bare screen, sink open, echo") << sink << true << true << true << true;
    QTest::newRow("bare screen, sink closed") << sink << false << false << false << true;
    QTest::newRow("bare screen, no sink") << QStringLiteral("none") << false << false << false
                                          << true;
}

void TestOnChar::sentAndShown() {
    QFETCH(QString, sink);
    QFETCH(bool, open);
    QFETCH(bool, echo);
    QFETCH(bool, sent);
    QFETCH(bool, shown);
    std::string wire;
    std::unique_ptr<FrameFixture> f;
    std::unique_ptr<CTermEdit> bare;
    CTermEdit* screen = nullptr;
    if (sink == u"frame") {
        f = std::make_unique<FrameFixture>();
        QVERIFY(f->created());
        if (open)
            QVERIFY(f->openPort());
        else
            f->linkPort(7);
        screen = &(*f)->screen();
    } else {
        // The screen alone: no main window to find the port through.
        QVERIFY(!fw::MainWindow());
        bare = std::make_unique<CTermEdit>();
        if (sink == u"sink")
            bare->setTypedSink([&] { return open; }, [&](std::string_view bytes) { wire += bytes; });
        screen = bare.get();
    }
    screen->m_bEcho = echo;
    screen->m_enterSends = terminal::EnterSends::CRLF;
    screen->setText("> ");
    screen->setSel(2, 2);

    // Two characters and the Enter key: its bytes go out together, its echo is one break.
    screen->OnChar('k', 1, 0);
    screen->OnChar('\xE9', 1, 0);
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
    QApplication::sendEvent(screen, &enter);
    screen->flush();
    QCOMPARE(screen->text(), shown ? "> k\xE9\r\n"s : "> "s);
    if (f) {
        wire = sent ? f->pty().read(4, 3000) : f->pty().read(1, 200);
        QVERIFY(f->boxes.shown.empty());
    }
    QCOMPARE(wire, sent ? "k\xE9\r\n"s : ""s);
}

void TestOnChar::editingKeysWithPortClosed() {
    FrameFixture f;
    QVERIFY(f.created());
    auto& screen = f->screen();
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
    QVERIFY(f.openPort());
    f->screen().m_bEcho = 1;
    for (const char c : "ab\b\r"s)
        f->screen().OnChar(static_cast<unsigned char>(c), 1, 0);
    // The wire gets the keys as typed; the screen applies them.
    QCOMPARE(f.pty().read(4, 3000), "ab\b\r"s);
    QCOMPARE(f.screen(), "a\r\n"s);
}

void TestOnChar::everyByteValueOnTheWire() {
    FrameFixture f;
    QVERIFY(f.openPort());
    std::string all;
    for (int b = 0; b < 256; ++b) {
        all.push_back(static_cast<char>(b));
        f->screen().OnChar(static_cast<unsigned>(b), 1, 0);
    }
    QCOMPARE(f.pty().read(256, 5000), all);
    QCOMPARE(f.pty().read(1, 200), ""s);
    QCOMPARE(f.screen(), ""s);
    QVERIFY(f.boxes.shown.empty());
}

void TestOnChar::onlyTheLowByteAndOneCharacter() {
    FrameFixture f;
    QVERIFY(f.openPort());
    f->screen().OnChar(0x1E9, 1, 0);    // high bits of the code are not sent
    f->screen().OnChar('q', 5, 0x1234); // the repeat count and flags do not count
    QCOMPARE(f.pty().read(3, 1000), "\xE9q"s);
}

void TestOnChar::keyboardHighByte() {
    // A key press whose text is a character of the code page goes out as that byte.
    FrameFixture f;
    QVERIFY(f.openPort());
    for (const QChar c : QStringLiteral("\u00E9\u20AC")) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QApplication::sendEvent(&f->screen(), &press);
    }
    QCOMPARE(f.pty().read(2, 3000), "\xE9\x80"s);
    QCOMPARE(f.screen(), ""s);
    // What the code page cannot hold goes out as '?', from a key and from an input method.
    QKeyEvent omega(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QStringLiteral("\u03A9"));
    QApplication::sendEvent(&f->screen(), &omega);
    QInputMethodEvent commit;
    commit.setCommitString(QStringLiteral("\u017C\U0001F600e"));
    QApplication::sendEvent(&f->screen(), &commit);
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
    QVERIFY(f.openPort());
    f->screen().m_bEcho = 1;
    f->screen().setFocus();
    QTest::keyClick(&f->screen(), Qt::Key_Q, Qt::AltModifier);
    QTest::keyClick(&f->screen(), Qt::Key_Z, Qt::AltModifier);
    QTest::keyClick(&f->screen(), Qt::Key_1, Qt::AltModifier);
    QTest::keyClick(&f->screen(), Qt::Key_Return, Qt::AltModifier);
    QKeyEvent altGrQ(QEvent::KeyPress, Qt::Key_Q, Qt::GroupSwitchModifier, QStringLiteral("@"));
    QApplication::sendEvent(&f->screen(), &altGrQ);
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
    QVERIFY(f.openPort());
    f->screen().m_bEcho = 1;
    f->SendCommand(setting, CMainFrame::Source::Menu);
    QKeyEvent press(QEvent::KeyPress, key, Qt::KeyboardModifiers(modifiers), text);
    QApplication::sendEvent(&f->screen(), &press);
    QCOMPARE(f.pty().read(wire.size(), 3000), wire);
    QCOMPARE(f.pty().read(1, 200), ""s);
    QCOMPARE(f.screen(), echo);
}

void TestOnChar::userSelection_data() {
    // On "ab" CR LF "cd" CR LF "ef", the caret at `caret`, keys pressed: the selection.
    QTest::addColumn<int>("caret");
    QTest::addColumn<QTestEventList>("keys");
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("end");
    const auto keys = [](std::initializer_list<std::pair<Qt::Key, Qt::KeyboardModifiers>> list) {
        QTestEventList events;
        for (const auto& [key, modifiers] : list)
            events.addKeyClick(key, modifiers);
        return events;
    };
    QTest::newRow("right steps over a line break") << 2 << keys({{Qt::Key_Right, {}}}) << 4 << 4;
    QTest::newRow("left steps back over it") << 4 << keys({{Qt::Key_Left, {}}}) << 2 << 2;
    QTest::newRow("shift+right selects") << 0 << keys({{Qt::Key_Right, Qt::ShiftModifier},
                                                        {Qt::Key_Right, Qt::ShiftModifier},
                                                        {Qt::Key_Right, Qt::ShiftModifier}})
                                         << 0 << 4;
    QTest::newRow("shift+left selects backwards")
        << 5 << keys({{Qt::Key_Left, Qt::ShiftModifier}, {Qt::Key_Left, Qt::ShiftModifier}}) << 2 << 5;
    QTest::newRow("left ends a selection at its start")
        << 0 << keys({{Qt::Key_End, Qt::ShiftModifier}, {Qt::Key_Left, {}}}) << 0 << 0;
    QTest::newRow("down keeps the column") << 1 << keys({{Qt::Key_Down, {}}}) << 5 << 5;
    QTest::newRow("up from the first row goes to the start") << 1 << keys({{Qt::Key_Up, {}}}) << 0 << 0;
    QTest::newRow("shift+down selects a row") << 4 << keys({{Qt::Key_Down, Qt::ShiftModifier}}) << 4 << 8;
    QTest::newRow("end stops before the break") << 4 << keys({{Qt::Key_End, {}}}) << 6 << 6;
    QTest::newRow("home") << 5 << keys({{Qt::Key_Home, {}}}) << 4 << 4;
    QTest::newRow("ctrl+end") << 1 << keys({{Qt::Key_End, Qt::ControlModifier}}) << 10 << 10;
    QTest::newRow("ctrl+shift+home") << 5 << keys({{Qt::Key_Home, Qt::ControlModifier | Qt::ShiftModifier}})
                                     << 0 << 5;
    QTest::newRow("page down to the end") << 0 << keys({{Qt::Key_PageDown, {}}}) << 10 << 10;
    QTest::newRow("page up to the start") << 9 << keys({{Qt::Key_PageUp, Qt::ShiftModifier}}) << 0 << 9;
}

void TestOnChar::userSelection() {
    QFETCH(int, caret);
    QFETCH(QTestEventList, keys);
    QFETCH(int, start);
    QFETCH(int, end);
    FrameFixture f;
    QVERIFY(f.created());
    CTermEdit& screen = f->screen();
    screen.setText("ab\r\ncd\r\nef");
    screen.setSel(caret, caret);
    keys.simulate(&screen);
    QCOMPARE(screen.model().selectionStart(), std::size_t(start));
    QCOMPARE(screen.model().selectionEnd(), std::size_t(end));
    QCOMPARE(screen.text(), "ab\r\ncd\r\nef"s); // nothing typed, nothing sent
}

void TestOnChar::mouseSelection() {
    FrameFixture f;
    QVERIFY(f.created());
    CTermEdit& screen = f->screen();
    screen.setText("one two\r\nthree four\r\n");
    screen.flush();
    QWidget* view = screen.viewport();
    const QRect first = screen.caretRect(0);
    const int cell = screen.caretRect(1).x() - first.x();
    const QPoint onTwo(first.x() + 5 * cell + cell / 2, first.center().y());
    const QPoint onFour(first.x() + 7 * cell + cell / 2, first.center().y() + first.height());
    const auto send = [&](QEvent::Type type, QPoint at, ulong time, Qt::KeyboardModifiers mods = {}) {
        QMouseEvent e(type, at, view->mapToGlobal(at), Qt::LeftButton,
                      type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, mods);
        e.setTimestamp(time);
        QApplication::sendEvent(view, &e);
    };
    // Click and drag into the next line.
    send(QEvent::MouseButtonPress, onTwo, 1000);
    send(QEvent::MouseMove, onFour, 1010);
    send(QEvent::MouseButtonRelease, onFour, 1020);
    QCOMPARE(screen.model().selectionStart(), std::size_t{5});
    QCOMPARE(screen.model().selectionEnd(), std::size_t{16});
    // Copy gives the desktop's line breaks.
    screen.copy();
    QCOMPARE(QApplication::clipboard()->text(), u"wo\nthree f"_qs);
    // Double click: the word; a third click soon after: the line without its break.
    send(QEvent::MouseButtonPress, onFour, 5000);
    send(QEvent::MouseButtonRelease, onFour, 5010);
    send(QEvent::MouseButtonDblClick, onFour, 5020);
    send(QEvent::MouseButtonRelease, onFour, 5030);
    QCOMPARE(screen.model().selectionStart(), std::size_t{15});
    QCOMPARE(screen.model().selectionEnd(), std::size_t{19});
    send(QEvent::MouseButtonPress, onFour, 5100);
    send(QEvent::MouseButtonRelease, onFour, 5110);
    QCOMPARE(screen.model().selectionStart(), std::size_t{9});
    QCOMPARE(screen.model().selectionEnd(), std::size_t{19});
    // Shift+click extends from the anchor; Select All takes everything.
    send(QEvent::MouseButtonPress, onTwo, 9000);
    send(QEvent::MouseButtonRelease, onTwo, 9010);
    send(QEvent::MouseButtonPress, onFour, 9500, Qt::ShiftModifier);
    QCOMPARE(screen.model().selectionStart(), std::size_t{5});
    QCOMPARE(screen.model().selectionEnd(), std::size_t{16});
    screen.selectAll();
    QCOMPARE(screen.model().selectionEnd(), screen.textLength());
}

QTEST_MAIN(TestOnChar)
#include "tst_onchar.moc"
