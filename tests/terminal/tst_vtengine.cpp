// The emulator fed real byte sequences, and the keyboard's encoding, with the engine's output
// caught at its one sink.
#include "terminal/vtengine.h"

#include <QTest>

using namespace terminal;

namespace {

struct Term {
    VtScreen screen;
    VtEngine engine{screen};
    std::string out;
    explicit Term(int rows = 4, int cols = 10) : screen(rows, cols) {
        engine.setOutputSink([this](std::string_view s) { out += s; });
    }
    QString line(std::size_t i) const { return QString::fromStdString(screen.lineText(i)); }
    const VtCell& cell(int r, int c) const {
        return screen.grid().row(r).cells[static_cast<std::size_t>(c)];
    }
};

} // namespace

class TestVtEngine : public QObject {
    Q_OBJECT
private slots:
    void cells_data();
    void cells();
    void texts_data();
    void texts();
    void alternateScreenKeepsScrollback();
    void scrollRegionKeepsOutsideRows();
    void answersThroughSink_data();
    void answersThroughSink();
    void keys_data();
    void keys();
    void pasteBrackets();
    void resetKeepsScrollback();
    void resizeToOneCell();
    void restoredCursorStaysOnGrid_data();
    void restoredCursorStaysOnGrid();
    void directPrintAsEngine_data();
    void directPrintAsEngine();
};

void TestVtEngine::cells_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<quint32>("fg");
    QTest::addColumn<quint32>("bg");
    QTest::addColumn<int>("attrs");
    QTest::newRow("16 colours") << QByteArray("\x1b[31;42mX") << VtColor::indexed(1).raw()
                                << VtColor::indexed(2).raw() << 0;
    QTest::newRow("bright") << QByteArray("\x1b[91mX") << VtColor::indexed(9).raw() << 0u << 0;
    QTest::newRow("256 colours") << QByteArray("\x1b[38;5;200;48;5;17mX")
                                 << VtColor::indexed(200).raw() << VtColor::indexed(17).raw() << 0;
    QTest::newRow("24-bit") << QByteArray("\x1b[38;2;1;2;3mX") << VtColor::rgb(1, 2, 3).raw()
                            << 0u << 0;
    QTest::newRow("attributes") << QByteArray("\x1b[1;3;4;7mX") << 0u << 0u
                                << int(kAttrBold | kAttrItalic | kAttrUnderline | kAttrReverse);
    QTest::newRow("reset after colour") << QByteArray("\x1b[1;31m\x1b[0mX") << 0u << 0u << 0;
    QTest::newRow("erase in the background colour") << QByteArray("\x1b[44m\x1b[2J\x1b[HX")
                                                    << 0u << VtColor::indexed(4).raw() << 0;
}

void TestVtEngine::cells() {
    QFETCH(QByteArray, bytes);
    QFETCH(quint32, fg);
    QFETCH(quint32, bg);
    QFETCH(int, attrs);
    Term t;
    t.engine.feed(bytes.toStdString());
    QCOMPARE(t.cell(0, 0).ch, U'X');
    QCOMPARE(t.cell(0, 0).fg.raw(), fg);
    QCOMPARE(t.cell(0, 0).bg.raw(), bg);
    QCOMPARE(int(t.cell(0, 0).attrs), attrs);
    QCOMPARE(t.line(0), QString("X"));
}

void TestVtEngine::texts_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("lines");
    QTest::newRow("colours leave no escape") << QByteArray("\x1b[1;32mok\x1b[0m done")
                                             << QStringList{"ok done", "", "", ""};
    QTest::newRow("UTF-8") << QByteArray("caf\xc3\xa9 \xe2\x86\x92 \xf0\x9f\x98\x80")
                           << QStringList{QString::fromUtf8("café → 😀"), "", "", ""};
    QTest::newRow("invalid UTF-8") << QByteArray("a\xff" "b\xc3" "c")
                                   << QStringList{QString::fromUtf8("a\uFFFDb\uFFFDc"), "", "", ""};
    QTest::newRow("stray 0x9D is no control")
        << QByteArray("a\x9d" "bc\r\nnext")
        << QStringList{QString::fromUtf8("a\uFFFDbc"), "next", "", ""};
    QTest::newRow("wrapping") << QByteArray("0123456789abc")
                              << QStringList{"0123456789", "abc", "", ""};
    QTest::newRow("Ctrl+L clears") << QByteArray("junk\r\n\x1b[H\x1b[J$ ")
                                   << QStringList{"$", "", "", ""};
    QTest::newRow("backspace erase") << QByteArray("abc\b \b") << QStringList{"ab", "", "", ""};
    QTest::newRow("repeat") << QByteArray("ab\x1b[3b") << QStringList{"abbbb", "", "", ""};
    QTest::newRow("repeat stops at the row's end") << QByteArray("ab\x1b[99bc")
                                                   << QStringList{"abbbbbbbbb", "c", "", ""};
    QTest::newRow("repeat with nothing before") << QByteArray("\x1b[5bok")
                                                << QStringList{"ok", "", "", ""};
    QTest::newRow("repeat after a reset") << QByteArray("x\x1b" "c\x1b[b!")
                                          << QStringList{"x!", "", "", ""};
    QTest::newRow("other sequences untouched") << QByteArray("\x1b[?25l\x1b[2;3Hb\x1b[1b")
                                               << QStringList{"", "  bb", "", ""};
    QTest::newRow("too many parameters") << QByteArray("\x1b[1;1;1;1;1;1;1;1;1;1;1;1;1;1;1;1;1;31mx")
                                         << QStringList{"x", "", "", ""};
    QTest::newRow("too many parameters, then abandoned")
        << QByteArray("\x1b[38;2;;2;2;2;2;2;2;2;2;2;2;2;2;2;2;2;2\x1b[mx") << QStringList{"x", "", "", ""};
    QTest::newRow("sixteen parameters") << QByteArray("\x1b[1;1;1;1;1;1;1;1;1;1;1;1;1;1;1;1mx\x1b[0m")
                                        << QStringList{"x", "", "", ""};
    QTest::newRow("endless sequence dropped") << QByteArray("a\x1b[" + QByteArray(5000, '1') + "mb")
                                              << QStringList{"ab", "", "", ""};
    QTest::newRow("abandoned escape, then a dropped string") << QByteArray("a\x1b\x1bP\x07xyz")
                                                             << QStringList{"axyz", "", "", ""};
    QTest::newRow("abandoned CSI, then a dropped string") << QByteArray("a\x1b[1\x1bP\x07xyz")
                                                          << QStringList{"axyz", "", "", ""};
    QTest::newRow("C1 control as UTF-8") << QByteArray("ab\xc2\x85" "cd")
                                         << QStringList{QString::fromUtf8("ab\uFFFDcd"), "", "", ""};
    // Split by a sequence, the two bytes are bad on their own (the engine stepped back past
    // the left edge).
    QTest::newRow("C1 control split by a sequence") << QByteArray("\xc2\x1b(B\x83\x1b(Bx")
                                                    << QStringList{QString::fromUtf8("\uFFFD\uFFFDx"), "", "", ""};
    // Bad bytes the engine took apart differently as reads split them.
    QTest::newRow("bad bytes before text") << QByteArray("\xc8\xe5\xe5" "c\xff(\x7f P\xea@m")
                                           << QStringList{QString::fromUtf8("\uFFFD\uFFFD\uFFFDc\uFFFD( P\uFFFD@"), "m", "", ""};
    QTest::newRow("wide takes two cells") << QByteArray("\xe6\xbc\xa2x")
                                          << QStringList{QString::fromUtf8("漢x"), "", "", ""};
}

void TestVtEngine::texts() {
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, lines);
    Term t, bytewise;
    t.engine.feed(bytes.toStdString());
    // Sequences split anywhere between reads come out the same.
    for (char c : bytes) bytewise.engine.feed(std::string_view(&c, 1));
    QStringList got, gotBytewise;
    for (std::size_t i = 0; i < t.screen.lineCount(); ++i) got << t.line(i);
    for (std::size_t i = 0; i < bytewise.screen.lineCount(); ++i) gotBytewise << bytewise.line(i);
    QCOMPARE(got, lines);
    QCOMPARE(gotBytewise, lines);
    if (QTest::currentDataTag() == QByteArray("wide takes two cells")) {
        QCOMPARE(t.cell(0, 0).width, 2);
        QCOMPARE(t.cell(0, 2).ch, U'x');
    }
    if (QTest::currentDataTag() == QByteArray("wrapping")) {
        QVERIFY(t.screen.grid().row(0).wrapped);
        QVERIFY(!t.screen.grid().row(1).wrapped);
    }
}

void TestVtEngine::alternateScreenKeepsScrollback() {
    Term t;
    t.engine.feed("one\r\ntwo\r\nthree\r\nfour\r\nfive\r\n$ vi");
    QCOMPARE(t.screen.scrollback().size(), 2u);
    t.engine.feed("\x1b[?1049h\x1b[H\x1b[2Jfull screen\r\n\n\n\n\n\n~\x1b[7;1H");
    QVERIFY(t.screen.altScreen());
    QCOMPARE(t.screen.scrollback().size(), 2u);
    t.engine.feed("\x1b[?1049l");
    QVERIFY(!t.screen.altScreen());
    QStringList got;
    for (std::size_t i = 0; i < t.screen.lineCount(); ++i) got << t.line(i);
    QCOMPARE(got, (QStringList{"one", "two", "three", "four", "five", "$ vi"}));
    QCOMPARE(t.screen.cursorRow(), 3);
    QCOMPARE(t.screen.cursorCol(), 4);
}

void TestVtEngine::scrollRegionKeepsOutsideRows() {
    Term t;
    t.engine.feed("head\r\n\r\n\r\nfoot\x1b[2;3r\x1b[2;1Ha\r\nb\r\nc\r\nd");
    QCOMPARE(t.line(0), QString("head"));
    QCOMPARE(t.line(1), QString("c"));
    QCOMPARE(t.line(2), QString("d"));
    QCOMPARE(t.line(3), QString("foot"));
    // A region below the top keeps nothing.
    QCOMPARE(t.screen.scrollback().size(), 0u);
}

void TestVtEngine::answersThroughSink_data() {
    QTest::addColumn<QByteArray>("query");
    QTest::addColumn<QByteArray>("answer");
    QTest::newRow("cursor position") << QByteArray("\x1b[3;7H\x1b[6n") << QByteArray("\x1b[3;7R");
    QTest::newRow("status") << QByteArray("\x1b[5n") << QByteArray("\x1b[0n");
    QTest::newRow("attributes") << QByteArray("\x1b[c") << QByteArray("\x1b[?1;2c");
    QTest::newRow("status request: SGR") << QByteArray("\x1b[1m\x1bP$qm\x1b\\") << QByteArray("\x1bP1$r1m\x1b\\");
    QTest::newRow("status request the engine mishandles") << QByteArray("\x1bP$q m\x1b\\\x1b[5n")
                                                          << QByteArray("\x1b[0n");
    QTest::newRow("a control inside the escape") << QByteArray("\x1b\x1dP$q m\x1b\\\x1b\x1d[5n")
                                                 << QByteArray("\x1b[0n");
    // The engine begins a string after intermediates or bytes it skips, runs controls inside
    // it and skips NUL and DEL there: none of these may bring it a request it mishandles.
    QTest::newRow("request after skipped bytes") << QByteArray("\x1b\xfc\x7f P$q m\x07\x1b[5n")
                                                 << QByteArray("\x1b[0n");
    QTest::newRow("request with controls and DEL inside")
        << QByteArray("\x1bP\x01$\x7fq \x7fm\x1b\x7f\x01\\\x1b[5n") << QByteArray("\x1b[0n");
    QTest::newRow("sound request, controls inside") << QByteArray("\x1bP$\x7fq\x01m\x1b\x7f\\")
                                                    << QByteArray("\x1bP1$rm\x1b\\");
    QTest::newRow("request abandoned, escape goes on") << QByteArray("\x1bP$qm\x1b\xfcP$q m\x07\x1b[5n")
                                                       << QByteArray("\x1b[0n");
    QTest::newRow("repeat after intermediates") << QByteArray("\x1b ([5b\x1b[5n") << QByteArray("\x1b[0n");
    QTest::newRow("other string over two writes") << QByteArray("\x1bPPx\xff$q m\x07\x1b[5n")
                                                  << QByteArray("\x1b[0n");
    QTest::newRow("many queries") << QByteArray("\x1b[6n\x1b[6n") << QByteArray("\x1b[1;1R\x1b[1;1R");
}

void TestVtEngine::answersThroughSink() {
    QFETCH(QByteArray, query);
    QFETCH(QByteArray, answer);
    Term t;
    for (const QByteArray& write : query.split('\xff')) // 0xFF marks where one write ends
        t.engine.feed(write.toStdString());
    QCOMPARE(QByteArray::fromStdString(t.out), answer);
}

void TestVtEngine::keys_data() {
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("mods");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("alt");
    QTest::addColumn<QByteArray>("modes");
    QTest::addColumn<int>("backspace");
    QTest::addColumn<QByteArray>("wire");
    const int ctrl = Qt::ControlModifier, shift = Qt::ShiftModifier, kp = Qt::KeypadModifier;
    const QByteArray none;
    QTest::newRow("text") << int(Qt::Key_A) << 0 << "a" << false << none << 0 << QByteArray("a");
    QTest::newRow("arrow as UTF-8") << 0 << 0 << QString::fromUtf8("→") << false << none << 0
                                    << QByteArray("\xe2\x86\x92");
    QTest::newRow("Ctrl+C") << int(Qt::Key_C) << ctrl << "\x03" << false << none << 0 << QByteArray("\x03");
    QTest::newRow("Ctrl+Shift+Z") << int(Qt::Key_Z) << ctrl + shift << "" << false << none << 0
                                  << QByteArray("\x1a");
    QTest::newRow("Ctrl+[") << int(Qt::Key_BracketLeft) << ctrl << "" << false << none << 0
                            << QByteArray("\x1b");
    QTest::newRow("Ctrl+]") << int(Qt::Key_BracketRight) << ctrl << "" << false << none << 0
                            << QByteArray("\x1d");
    QTest::newRow("Ctrl+Space") << int(Qt::Key_Space) << ctrl << " " << false << none << 0
                                << QByteArray(1, '\0');
    QTest::newRow("Ctrl+2") << int(Qt::Key_2) << ctrl << "2" << false << none << 0 << QByteArray(1, '\0');
    QTest::newRow("Ctrl+_") << int(Qt::Key_Underscore) << ctrl + shift << "" << false << none << 0
                            << QByteArray("\x1f");
    QTest::newRow("Alt+x") << int(Qt::Key_X) << int(Qt::AltModifier) << "x" << true << none << 0
                           << QByteArray("\x1bx");
    QTest::newRow("Up") << int(Qt::Key_Up) << 0 << "" << false << none << 0 << QByteArray("\x1b[A");
    QTest::newRow("Up, application mode") << int(Qt::Key_Up) << 0 << "" << false
                                          << QByteArray("\x1b[?1h") << 0 << QByteArray("\x1bOA");
    QTest::newRow("Shift+Right") << int(Qt::Key_Right) << shift << "" << false << none << 0
                                 << QByteArray("\x1b[1;2C");
    QTest::newRow("Delete") << int(Qt::Key_Delete) << 0 << "" << false << none << 0 << QByteArray("\x1b[3~");
    QTest::newRow("PgDn") << int(Qt::Key_PageDown) << 0 << "" << false << none << 0 << QByteArray("\x1b[6~");
    QTest::newRow("Home") << int(Qt::Key_Home) << 0 << "" << false << none << 0 << QByteArray("\x1b[H");
    QTest::newRow("F1") << int(Qt::Key_F1) << 0 << "" << false << none << 0 << QByteArray("\x1bOP");
    QTest::newRow("F5") << int(Qt::Key_F5) << 0 << "" << false << none << 0 << QByteArray("\x1b[15~");
    QTest::newRow("F10 not sent") << int(Qt::Key_F10) << 0 << "" << false << none << 0 << QByteArray();
    QTest::newRow("F12") << int(Qt::Key_F12) << 0 << "" << false << none << 0 << QByteArray("\x1b[24~");
    QTest::newRow("keypad 5") << int(Qt::Key_5) << kp << "5" << false << none << 0 << QByteArray("5");
    QTest::newRow("keypad 5, application mode") << int(Qt::Key_5) << kp << "5" << false
                                                << QByteArray("\x1b=") << 0 << QByteArray("\x1bOu");
    QTest::newRow("Backspace DEL") << int(Qt::Key_Backspace) << 0 << "\b" << false << none << 0
                                   << QByteArray("\x7f");
    QTest::newRow("Backspace BS") << int(Qt::Key_Backspace) << 0 << "\b" << false << none << 1
                                  << QByteArray("\b");
    QTest::newRow("Tab") << int(Qt::Key_Tab) << 0 << "\t" << false << none << 0 << QByteArray("\t");
    QTest::newRow("Shift+Tab") << int(Qt::Key_Backtab) << shift << "" << false << none << 0
                               << QByteArray("\x1b[Z");
    QTest::newRow("Enter") << int(Qt::Key_Return) << 0 << "\r" << false << none << 0 << QByteArray("\r");
    QTest::newRow("Escape") << int(Qt::Key_Escape) << 0 << "\x1b" << false << none << 0 << QByteArray("\x1b");
    QTest::newRow("bare Shift") << int(Qt::Key_Shift) << shift << "" << false << none << 0 << QByteArray();
}

void TestVtEngine::keys() {
    QFETCH(int, key);
    QFETCH(int, mods);
    QFETCH(QString, text);
    QFETCH(bool, alt);
    QFETCH(QByteArray, modes);
    QFETCH(int, backspace);
    QFETCH(QByteArray, wire);
    Term t;
    t.engine.feed(modes.toStdString());
    const KeyOptions options{EnterSends::CR, static_cast<BackspaceSends>(backspace)};
    const KeyAction a = EncodeKey(key, Qt::KeyboardModifiers(mods), text, alt, options);
    if (a.kind == KeyAction::Bytes) t.engine.send(a.bytes);
    if (a.kind == KeyAction::Key) t.engine.key(a.key, a.mods);
    QCOMPARE(QByteArray::fromStdString(t.out), wire);
    QCOMPARE(a.kind == KeyAction::Ignore, wire.isEmpty());
}

void TestVtEngine::pasteBrackets() {
    Term t;
    t.engine.startPaste();
    t.engine.endPaste();
    QCOMPARE(t.out, std::string());
    t.engine.feed("\x1b[?2004h");
    t.engine.startPaste();
    t.engine.send("x");
    t.engine.endPaste();
    QCOMPARE(t.out, std::string("\x1b[200~x\x1b[201~"));
}

void TestVtEngine::resetKeepsScrollback() {
    Term t;
    t.engine.feed("1\r\n2\r\n3\r\n4\r\n5\r\n\x1b[?1h\x1b[?1049h\x1b[31mred");
    t.engine.reset();
    QVERIFY(!t.screen.altScreen());
    QCOMPARE(t.screen.scrollback().size(), 2u);
    QCOMPARE(t.line(0), QString("1"));
    t.engine.feed("X");
    QCOMPARE(t.cell(0, 0).fg, VtColor{});
    t.engine.key(VtKey::Up, 0);
    QCOMPARE(t.out, std::string("\x1b[A"));
}

void TestVtEngine::resizeToOneCell() {
    Term t;
    // Margins below the new size must not outlive it (the engine would write past its tables).
    t.engine.feed("abcdefghijklmnop\r\nline\x1b[3;4r\x1b[?69h\x1b[5;8s\x1b[4;10H");
    t.engine.resize(1, 1);
    QCOMPARE(t.screen.grid().rows(), 1);
    t.engine.feed("\x1b[6n" "\xe6\xbc\xa2xyz\n\n\x1b[L\x1b[M\x1b[@\x1b[P");
    QCOMPARE(t.out, std::string("\x1b[1;1R"));
    // A double-width line has no whole cell in one column: the engine put the cursor at -1.
    t.engine.feed("\x1b#6\x1b[Hq");
    QCOMPARE(t.screen.cursorCol(), 0);
    QCOMPARE(t.screen.grid().row(0).cells[0].ch, U'q');
    t.engine.resize(5, 20);
    t.engine.feed("\x1b[5;20Hz");
    QCOMPARE(t.screen.grid().row(4).cells[19].ch, U'z');
}

void TestVtEngine::restoredCursorStaysOnGrid_data() {
    QTest::addColumn<QByteArray>("save");
    QTest::addColumn<QByteArray>("restore");
    QTest::newRow("ESC 7 / ESC 8") << QByteArray("\x1b" "7") << QByteArray("\x1b" "8");
    QTest::newRow("alternate screen") << QByteArray("\x1b[?1049h")
                                      << QByteArray("\x1b[2;3H\x1b[?1049l"); // the screen is told no move
    QTest::newRow("column only") << QByteArray("\x1b[2;10H\x1b" "7") << QByteArray("\x1b[2;1H\x1b" "8");
}

void TestVtEngine::restoredCursorStaysOnGrid() {
    QFETCH(QByteArray, save);
    QFETCH(QByteArray, restore);
    Term t;
    // The cursor is saved in the last cell, and the grid shrinks before it comes back.
    t.engine.feed("\x1b[4;10H" + save.toStdString());
    t.engine.resize(2, 3);
    t.engine.feed("\x1b[1;1H" + restore.toStdString());
    QCOMPARE(t.screen.cursorRow(), 1);
    QCOMPARE(t.screen.cursorCol(), 2);
    t.engine.feed("x");
    QCOMPARE(t.cell(1, 2).ch, U'x');
}

void TestVtEngine::directPrintAsEngine_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("plain runs") << QByteArray("\x1b[32mINFO\x1b[0m rx 1500 bytes\r\nnext line\r\n");
    QTest::newRow("line drawing set") << QByteArray("\x1b(0lqqqqqqk\x1b(B plain again");
    QTest::newRow("shifted out") << QByteArray("\x1b)0\x0elqqqqqqk\x0f plain again");
    QTest::newRow("shift out inside a sequence") << QByteArray("\x1b)0\x1b[1\x0emqqqqqqqk");
    QTest::newRow("single shift") << QByteArray("\x1b*0\x1bNqqqqqq");
    QTest::newRow("G2 shifted in") << QByteArray("\x1b*0\x1bnqqqqqq\x0fqqqqqq");
    QTest::newRow("national set") << QByteArray("\x1b(A###### \x1b(B######");
    QTest::newRow("insert mode") << QByteArray("0123456789abcdefghij\r\x1b[4hXXXXXXX\x1b[4lYYYYYYY");
    QTest::newRow("double-width line") << QByteArray("\x1b#6abcdefghijklmnopqrstu");
    QTest::newRow("window title") << QByteArray("\x1b]0;user@board: ~/src\x07$ ls\r\nREADME.md");
    QTest::newRow("window title after intermediates") << QByteArray("\x1b)]0;a window title\x07" "after");
    QTest::newRow("UTF-8 lead before a run") << QByteArray("\xea@mmr`e and more");
    QTest::newRow("combining mark after a run") << QByteArray("abcdefg\xcc\x81h");
    QTest::newRow("repeat after a run") << QByteArray("abcdefg\x1b[3b");
    QTest::newRow("runs that wrap") << QByteArray(50, 'w') + "\r\n" + QByteArray(17, 'x') + "yyyyyyy";
    QTest::newRow("no autowrap") << QByteArray("\x1b[?7l") + QByteArray(30, 'n') + "end";
    QTest::newRow("over wide characters") << QByteArray("\xe6\xbc\xa2\xe6\xbc\xa2\xe6\xbc\xa2x\rabcdefg");
    QTest::newRow("over a combining mark") << QByteArray("xe\xcc\x81yz\rabcdefg");
}

void TestVtEngine::directPrintAsEngine() {
    QFETCH(QByteArray, bytes);
    // Split anywhere between reads too: a run may end a read, a sequence begin the next.
    for (const qsizetype step : {bytes.size(), qsizetype(1), qsizetype(3)}) {
        Term direct(4, 20), engine(4, 20);
        engine.engine.setDirectPrint(false);
        for (qsizetype at = 0; at < bytes.size(); at += step) {
            const std::string part = bytes.mid(at, step).toStdString();
            direct.engine.feed(part);
            engine.engine.feed(part);
        }
        QCOMPARE(direct.screen.cursorRow(), engine.screen.cursorRow());
        QCOMPARE(direct.screen.cursorCol(), engine.screen.cursorCol());
        QCOMPARE(direct.screen.lineCount(), engine.screen.lineCount());
        for (std::size_t i = 0; i < direct.screen.lineCount(); ++i) {
            const VtRow a = direct.screen.line(i), b = engine.screen.line(i);
            QCOMPARE(direct.line(i), engine.line(i));
            QVERIFY(a.cells == b.cells && a.marks == b.marks && a.wrapped == b.wrapped);
        }
    }
}

QTEST_APPLESS_MAIN(TestVtEngine)
#include "tst_vtengine.moc"
