// The receive road's rendering: the render helpers on their own, then the frame's
// ShowReceived on a real screen (trim, erase count, both views, every byte value, the line
// breaks the view takes from the device, each line's time stamp and the text log), and the
// view that shows it.
#include "framework/clock.h"
#include "res/resource.h"
#include "terminal/lineindex.h"
#include "terminal/render.h"
#include "terminal/screenlayout.h"
#include "tests/support/framefixture.h"
#include "tests/support/testdata.h"
#include "tests/support/bytesprinter.h"

#include <QClipboard>
#include <QFile>
#include <QInputMethodEvent>
#include <QAccessible>
#include <QLayout>
#include <QScrollBar>
#include <QtTest>

#include <cstdio>
#include <ctime>

using namespace std::string_literals;

namespace {

// `n` characters of letters, every position told apart by its neighbours.
std::string Filler(std::size_t n) {
    std::string s(n, ' ');
    for (std::size_t i = 0; i < n; ++i)
        s[i] = static_cast<char>('a' + (i * 7 + i / 26) % 26);
    return s;
}

// What the widget should show for the model's text.
QString Shown(const std::string& text) {
    return CTermEdit::Render(text);
}

std::string Contents(const std::string& path) {
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly)) return "<unreadable>";
    return file.readAll().toStdString();
}

// The stamp of every line of the screen, top to bottom: "HH:MM:SS.mmm", or "-" for none.
QStringList Stamps(const CTermEdit& screen) {
    QStringList out;
    const terminal::LineStamps& stamps = screen.stamps();
    for (auto n = stamps.firstLine(); n < stamps.endLine(); ++n) {
        const auto stamp = stamps.lineStamp(n);
        out << (stamp ? QString::fromStdString(fw::FormatTimeOfDay(*stamp)) : QStringLiteral("-"));
    }
    return out;
}

// Sets the program's millisecond clock while it lives.
struct MsClock {
    std::int64_t now = 0;
    MsClock() {
        fw::SetMsClockSource([this] { return now; });
    }
    ~MsClock() { fw::SetMsClockSource({}); }
};
// The screen's text as screen readers get it, through the accessible text interface.
QString ReaderText(CTermEdit& screen) {
    screen.flush();
    QAccessibleInterface* a = QAccessible::queryAccessibleInterface(&screen);
    QAccessibleTextInterface* t = a ? a->textInterface() : nullptr;
    return t ? t->text(0, t->characterCount()) : QStringLiteral("(no text interface)");
}

// The bytes on the glass, row after row.
std::string ShownBytes(CTermEdit& screen) {
    std::string out;
    for (const CTermEdit::Row& row : screen.visibleRows())
        out += screen.text().substr(row.start, row.end - row.start);
    return out;
}

// One change to the screen's text, as the screen's operations make them.
struct Step {
    char op;         // 'a' append, 'e' erase at the end, 't' trim the front, 'c' clear, 'k' type
    std::string arg; // the bytes appended or typed; the count erased or trimmed
};
using Steps = std::vector<Step>;

void Apply(terminal::TextModel& m, const Step& step) {
    const std::size_t n = step.op == 'e' || step.op == 't' ? std::stoul(step.arg) : 0;
    switch (step.op) {
    case 'a':
        m.setSelection(m.length(), m.length());
        m.replaceSelection(step.arg);
        break;
    case 'e':
        m.setSelection(m.length() - std::min(n, m.length()), m.length());
        m.replaceSelection({});
        break;
    case 't':
        m.trimFront(n);
        break;
    case 'c':
        m.setText({});
        break;
    case 'k':
        m.setSelection(1, 1); // typed into the first line: all that follows moves
        for (char c : step.arg)
            m.typeChar(static_cast<unsigned char>(c));
        break;
    }
}

// Line starts found the plain way: 0 and after every LF.
std::vector<std::size_t> NaiveStarts(std::string_view text) {
    std::vector<std::size_t> starts{0};
    for (std::size_t i = 0; i < text.size(); ++i)
        if (text[i] == '\n') starts.push_back(i + 1);
    return starts;
}

} // namespace

Q_DECLARE_METATYPE(Steps)

class TestShowReceived : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void backspaces_data();
    void backspaces();
    void textView_data();
    void textView();
    void hexView_data();
    void hexView();

    void readerText_data();
    void readerText();
    void lineIndex_data();
    void lineIndex();
    void wrapLine_data();
    void wrapLine();

    void showReceived_data();
    void showReceived();
    void selectionGoesToTheEnd();
    void viewSwitchAffectsLaterChunksOnly();
    void trim_data();
    void trim();
    void trimRepeatsUntilBounded();
    void largeScrollbackKeepsItsFirstLine();
    void utf8ReceivedTypedAndCopied();
    void allBytesTextView();
    void allBytesHexView_data();
    void allBytesHexView();
    void lineBreaks_data();
    void lineBreaks();
    void crRuns_data();
    void crRuns();
    void stampsAndLog_data();
    void stampsAndLog();
    void stampsLeaveWithTrimmedLines_data();
    void stampsLeaveWithTrimmedLines();
    void viewStaysWhereTheUserScrolled();
    void scrolledUpViewHoldsItsTextUntilTrimmed();
    void scrollBarOnlyWhenThereIsMore_data();
    void scrollBarOnlyWhenThereIsMore();
    void dragAnchorTrimmedAwayIsClamped();
    void controlCharactersDrawnAtAnyWidth();
    void timeStampGutter();
};

void TestShowReceived::initTestCase() {
    // Stamps show local time: make it the same on every machine.
    qputenv("TZ", "UTC");
    tzset();
}

void TestShowReceived::backspaces_data() {
    QTest::addColumn<std::string>("in");
    QTest::addColumn<std::string>("out");
    QTest::addColumn<int>("erase");
    QTest::newRow("erased within the chunk") << "AB\b\bD"s
                                             << "D"s << 0;
    QTest::newRow("leading two") << "\b\bX"s
                                 << "X"s << 2;
    QTest::newRow("only backspaces") << std::string(10, '\b') << ""s << 10;
    QTest::newRow("one beyond the chunk's text") << "AB\b\b\bD"s
                                                 << "D"s << 1;
    QTest::newRow("interleaved") << "x\by\bz"s
                                 << "z"s << 0;
    QTest::newRow("erase, count, erase") << "A\b\bB\b"s
                                         << ""s << 1;
    QTest::newRow("backspace eats a CR alone") << "A\r\bB"s
                                               << "AB"s << 0;
    QTest::newRow("empty") << ""s
                           << ""s << 0;
}

void TestShowReceived::backspaces() {
    QFETCH(std::string, in);
    QFETCH(std::string, out);
    QFETCH(int, erase);
    std::string s = in;
    QCOMPARE(terminal::ApplyBackspaces(s), static_cast<std::size_t>(erase));
    QCOMPARE(s, out);
}

void TestShowReceived::textView_data() {
    QTest::addColumn<std::string>("in");
    QTest::addColumn<std::string>("out");
    QTest::newRow("CR LF stays") << "A\r\nB"s
                                 << "A\r\nB"s;
    QTest::newRow("lone LF goes") << "A\nB"s
                                  << "AB"s;
    QTest::newRow("lone CR breaks") << "A\rB"s
                                    << "A\r\nB"s;
    QTest::newRow("LF CR is one break") << "A\n\rB"s
                                        << "A\r\nB"s;
    QTest::newRow("two CRs, two breaks") << "A\r\r"s
                                         << "A\r\n\r\n"s;
    QTest::newRow("only LFs") << "\n\n\n"s
                              << ""s;
    QTest::newRow("NUL shows as nothing") << "A\0B"s
                                          << "AB"s;
    QTest::newRow("CR LF CR LF") << "\r\n\r\n"s
                                 << "\r\n\r\n"s;
    QTest::newRow("high bytes untouched") << "\xE9\xFF\x80"s
                                          << "\xE9\xFF\x80"s;
}

void TestShowReceived::textView() {
    QFETCH(std::string, in);
    QFETCH(std::string, out);
    QCOMPARE(terminal::TextView(in), out);
}

void TestShowReceived::hexView_data() {
    QTest::addColumn<std::string>("in");
    QTest::addColumn<std::string>("out");
    QTest::newRow("A LF") << "A\n"s
                          << "41 0A \r\n"s;
    QTest::newRow("FF") << "\xFF"s
                        << "FF "s;
    QTest::newRow("NUL") << "\0"s
                         << "00 "s;
    QTest::newRow("CR LF") << "\r\n"s
                           << "0D 0A \r\n"s;
    QTest::newRow("CR alone, no break") << "\r"s
                                        << "0D "s;
    QTest::newRow("two LFs") << "\n\n"s
                             << "0A \r\n0A \r\n"s;
    QTest::newRow("upper-case digits") << "\xAB\xCD\x0E"s
                                       << "AB CD 0E "s;
    QTest::newRow("empty") << ""s
                           << ""s;
}

void TestShowReceived::hexView() {
    QFETCH(std::string, in);
    QFETCH(std::string, out);
    QCOMPARE(terminal::HexView(in), out);
}

void TestShowReceived::readerText_data() {
    QTest::addColumn<std::string>("bytes");
    QTest::addColumn<QString>("reader");
    QTest::newRow("CR LF is one break") << "a\r\nb"s << u"a\nb"_qs;
    QTest::newRow("lone CR is invisible") << "a\rb"s << u"ab"_qs;
    QTest::newRow("lone LF breaks") << "a\nb"s << u"a\nb"_qs;
    QTest::newRow("controls as their pictures") << "\x01\x1B\x7F"s << u"\u2401\u241B\u2421"_qs;
    QTest::newRow("tab stays") << "a\tb"s << u"a\tb"_qs;
    QTest::newRow("code page") << "\x80\xE9\xFF"s << u"\u20AC\u00E9\u00FF"_qs;
    QTest::newRow("no zero-width characters") << "\r\r\n\r"s << u"\n"_qs;
}

void TestShowReceived::readerText() {
    QFETCH(std::string, bytes);
    QFETCH(QString, reader);
    QCOMPARE(CTermEdit::Render(bytes), reader);
}

void TestShowReceived::lineIndex_data() {
    QTest::addColumn<std::string>("start");
    QTest::addColumn<Steps>("steps");
    QTest::newRow("appends, breaks split across chunks")
        << "ab"s << Steps{{'a', "c\r"}, {'a', "\nd\r\n"}, {'a', "\n\n"}, {'a', ""}};
    QTest::newRow("trim through lines and into one")
        << "one\r\ntwo\r\nthree\r\n"s << Steps{{'t', "2"}, {'t', "5"}, {'t', "1"}, {'a', "x\n"}};
    QTest::newRow("trim between CR and LF") << "ab\r\ncd"s << Steps{{'t', "3"}, {'a', "\n"}};
    QTest::newRow("trim right after a break") << "ab\r\ncd\r\nef"s << Steps{{'t', "4"}};
    QTest::newRow("trim everything") << "a\nb\nc\n"s << Steps{{'t', "6"}, {'a', "z\nz"}};
    QTest::newRow("erase a break at the end") << "a\r\nb\r\n"s
                                             << Steps{{'e', "1"}, {'e', "2"}, {'e', "1"}, {'a', "\n"}};
    QTest::newRow("erase more than there is") << "a\nb"s << Steps{{'e', "9"}, {'a', "q\n"}};
    QTest::newRow("typed in the first line") << "ab\r\ncd\r\n"s
                                            << Steps{{'k', "x\r"}, {'k', "\b\b"}, {'k', "\b"}};
    QTest::newRow("clear and again") << "a\nb\n"s << Steps{{'c', ""}, {'a', "x\ny"}, {'c', ""}};
}

void TestShowReceived::lineIndex() {
    QFETCH(std::string, start);
    QFETCH(Steps, steps);
    terminal::TextModel m;
    m.setText(start);
    for (const Step& step : steps) {
        Apply(m, step);
        const terminal::LineIndex& lines = m.lines();
        const std::vector<std::size_t> want = NaiveStarts(m.text());
        std::vector<std::size_t> got;
        for (std::size_t i = 0; i < lines.count(); ++i)
            got.push_back(lines.start(i));
        QCOMPARE(got, want);
        QCOMPARE(lines.end(lines.count() - 1, m.length()), m.length());
        for (std::size_t p = 0; p <= m.length(); ++p) {
            const std::size_t line = lines.lineOf(p);
            QVERIFY(lines.start(line) <= p);
            QVERIFY(line + 1 == lines.count() || p < lines.start(line + 1));
        }
    }
}

void TestShowReceived::wrapLine_data() {
    QTest::addColumn<std::string>("line");
    QTest::addColumn<int>("columns");
    QTest::addColumn<QList<int>>("rows");
    QTest::newRow("fits") << "abcd"s << 4 << QList<int>{0};
    QTest::newRow("its break takes no cell") << "abcd\r\n"s << 4 << QList<int>{0};
    QTest::newRow("wraps anywhere") << "abcdefghij"s << 4 << QList<int>{0, 4, 8};
    QTest::newRow("a box takes two cells") << "ab\x01" "c"s << 3 << QList<int>{0, 2};
    QTest::newRow("a box wider than the row still moves on") << "\x01\x02" "a"s << 1
                                                              << QList<int>{0, 1, 2};
    QTest::newRow("one column") << "abc\r\n"s << 1 << QList<int>{0, 1, 2};
    QTest::newRow("tab to the next stop") << "a\tbcdefgh"s << 10 << QList<int>{0, 4};
    QTest::newRow("tab at a row's end") << "abcdefg\tx"s << 8 << QList<int>{0, 8};
    QTest::newRow("empty") << ""s << 5 << QList<int>{0};
}

void TestShowReceived::wrapLine() {
    QFETCH(std::string, line);
    QFETCH(int, columns);
    QFETCH(QList<int>, rows);
    std::vector<std::uint32_t> got;
    terminal::WrapLine(line, columns, got);
    QCOMPARE(QList<int>(got.begin(), got.end()), rows);
}

void TestShowReceived::showReceived_data() {
    QTest::addColumn<std::string>("screen");
    QTest::addColumn<bool>("hex");
    QTest::addColumn<std::string>("chunk");
    QTest::addColumn<std::string>("after");
    QTest::newRow("letters erased in the chunk") << ""s << false << "AB\b\bD"s
                                                 << "D"s;
    QTest::newRow("leading backspaces eat the screen") << "12345"s << false << "\b\bX"s
                                                       << "123X"s;
    QTest::newRow("erase count capped") << "abcd"s << false << std::string(10, '\b') << ""s;
    QTest::newRow("backspaces only") << "abc"s << false << "\b\b"s
                                     << "a"s;
    QTest::newRow("one beyond the chunk") << "xy"s << false << "AB\b\b\bD"s
                                          << "xD"s;
    QTest::newRow("only the LF of a break") << "A\r\n"s << false << "\b"s
                                            << "A\r"s;
    QTest::newRow("empty chunk") << "abc"s << false << ""s
                                 << "abc"s;
    QTest::newRow("only LFs") << "abc"s << false << "\n\n"s
                              << "abc"s;
    QTest::newRow("NUL kept apart") << "-"s << false << "a\0b"s
                                    << "-ab"s;
    QTest::newRow("CR after screen text") << "x"s << false << "\rB"s
                                          << "x\r\nB"s;
    QTest::newRow("hex A LF") << ""s << true << "A\n"s
                              << "41 0A \r\n"s;
    QTest::newRow("hex leading backspace erases nothing") << "41 "s << true << "\b"s
                                                          << "41 08 "s;
    QTest::newRow("hex backspace shown with the byte before it") << ""s << true << "A\bB"s
                                                                 << "41 08 42 "s;
    QTest::newRow("hex BEL, BS and CR all shown")
        << ""s << true << "\x41\x07\x42\x08\x43\x44\x08\x08\x45\x0D\x46"s
        << "41 07 42 08 43 44 08 08 45 0D 46 "s;
    QTest::newRow("hex FF") << ""s << true << "\xFF"s
                            << "FF "s;
    QTest::newRow("hex NUL inside") << ""s << true << "a\0b"s
                                    << "61 00 62 "s;
}

void TestShowReceived::showReceived() {
    QFETCH(std::string, screen);
    QFETCH(bool, hex);
    QFETCH(std::string, chunk);
    QFETCH(std::string, after);
    FrameFixture f;
    QVERIFY(f.created());
    f->screen().setText(screen);
    f->SetHexView(hex);
    f->ShowReceived(chunk);
    QCOMPARE(f.screen(), after);
    const terminal::TextModel& model = f->screen().model();
    QCOMPARE(model.selectionStart(), after.size());
    QCOMPARE(model.selectionEnd(), after.size());
    QCOMPARE(ReaderText(f->screen()), Shown(after));
    QCOMPARE(ShownBytes(f->screen()), after);
}

void TestShowReceived::selectionGoesToTheEnd() {
    FrameFixture f;
    QVERIFY(f.created());
    f->screen().setText("hello world");
    f->screen().setSel(2, 5); // as if the user had selected "llo"
    f->ShowReceived("");
    QCOMPARE(f.screen(), "hello world"s);
    QCOMPARE(f->screen().model().selectionStart(), std::size_t{11});
    f->screen().setSel(0, 0);
    f->ShowReceived("\b!");
    QCOMPARE(f.screen(), "hello worl!"s);
}

void TestShowReceived::viewSwitchAffectsLaterChunksOnly() {
    FrameFixture f;
    QVERIFY(f.created());
    f->ShowReceived("A\r");
    f->SetHexView(1);
    f->ShowReceived("A\r");
    f->SetHexView(0);
    f->ShowReceived("\n");
    QCOMPARE(f.screen(), "A\r\n41 0D "s);
}

void TestShowReceived::trim_data() {
    QTest::addColumn<int>("sizeKB");
    QTest::addColumn<int>("length");
    QTest::addColumn<int>("dropped");
    QTest::newRow("16383 stays") << 16 << 16383 << 0;
    QTest::newRow("16384 loses 4097") << 16 << 16384 << 4097;
    QTest::newRow("20480 loses 4097") << 16 << 20480 << 4097;
    QTest::newRow("20481 loses twice") << 16 << 20481 << 2 * 4097;
    QTest::newRow("30000 loses four times") << 16 << 30000 << 4 * 4097;
    QTest::newRow("64 KB keeps 65536") << 64 << 65536 << 0;
    QTest::newRow("64 KB past: a quarter") << 64 << 65537 << 16384;
    QTest::newRow("1 MB full, shrunk to 16 KB") << 16 << (1 << 20) << 252 * 4097;
}

void TestShowReceived::trim() {
    QFETCH(int, sizeKB);
    QFETCH(int, length);
    QFETCH(int, dropped);
    FrameFixture f;
    QVERIFY(f.created());
    std::string screen = Filler(static_cast<std::size_t>(length));
    // The cut falls between the CR and the LF of a break.
    if (dropped > 0) {
        screen[static_cast<std::size_t>(dropped) - 1] = '\r';
        screen[static_cast<std::size_t>(dropped)] = '\n';
    }
    f->screen().setScreenSizeKB(static_cast<std::size_t>(sizeKB));
    f->screen().setText(screen);
    f->screen().flush();
    // The trim comes before the chunk: a leading backspace erases the screen's last character.
    f->ShowReceived("\bXY");
    const std::string expected =
        screen.substr(static_cast<std::size_t>(dropped), screen.size() - dropped - 1) + "XY";
    QCOMPARE(f.screen().size(), expected.size());
    QCOMPARE(f.screen(), expected);
    if (dropped > 0) QCOMPARE(f.screen().front(), '\n');
    QCOMPARE(ReaderText(f->screen()), Shown(expected));
    // The view follows the end: its last row ends with the screen's last byte.
    const std::string shown = ShownBytes(f->screen());
    QVERIFY(!shown.empty() && expected.ends_with(shown));
}

void TestShowReceived::trimRepeatsUntilBounded() {
    // A chunk of line feeds in hexadecimal view renders to five times its size, more than one
    // trim takes away.
    FrameFixture f;
    QVERIFY(f.created());
    f->SetHexView(1);
    const std::string feeds(1024, '\n');
    const std::size_t rendered = 5 * feeds.size();
    for (int i = 0; i < 40; ++i) {
        f->ShowReceived(feeds);
        QVERIFY2(f->screen().textLength() <= 16383 + rendered,
                 qPrintable(QString::number(f->screen().textLength())));
    }
    const std::string s = f.screen();
    QVERIFY(s.size() > 16383);
    // What is left is whole lines of "0A \r\n" except perhaps a cut first one.
    QVERIFY(s.ends_with("0A \r\n0A \r\n"));
    QCOMPARE(ReaderText(f->screen()), Shown(s));
}

void TestShowReceived::allBytesTextView() {
    FrameFixture f;
    QVERIFY(f.created());
    f->ShowReceived(AllBytes());
    // 0x08 erases 0x07; NUL and LF show as nothing; CR is a break.
    std::string expected;
    for (int b = 1; b < 256; ++b) {
        if (b == 0x07 || b == 0x08 || b == '\n') continue;
        expected.push_back(static_cast<char>(b));
        if (b == '\r') expected.push_back('\n');
    }
    QCOMPARE(f.screen(), expected);
}

namespace {

// The hexadecimal rendering of `bytes`, written out independently of the renderer.
std::string HexOf(const std::string& bytes) {
    std::string out;
    for (const char c : bytes) {
        char digits[8];
        std::snprintf(digits, sizeof digits, "%02X ", static_cast<unsigned char>(c));
        out += digits;
        if (c == '\n') out += "\r\n";
    }
    return out;
}

} // namespace

void TestShowReceived::allBytesHexView_data() {
    // Every byte value shows as its two digits, whatever it would do in text view; a screen
    // that was there before stays whole.
    QTest::addColumn<std::string>("chunk");
    QTest::newRow("00-FF in one chunk") << AllBytes();
    QTest::newRow("a run of 08") << std::string(5, '\b');
    QTest::newRow("08 runs between letters") << "\b\bA\b\b\bB\b"s;
    for (int b = 0; b < 256; ++b) {
        const char c = static_cast<char>(b);
        QTest::addRow("byte %02X alone, twice, between letters", b) << "A"s + c + c + "B" + c;
    }
}

void TestShowReceived::allBytesHexView() {
    QFETCH(std::string, chunk);
    FrameFixture f;
    QVERIFY(f.created());
    const std::string before = "41 0A \r\n";
    f->screen().setText(before);
    f->SetHexView(1);
    f->ShowReceived(chunk);
    QCOMPARE(f.screen(), before + HexOf(chunk));
    QCOMPARE(terminal::HexView(chunk), HexOf(chunk));
}

void TestShowReceived::lineBreaks_data() {
    QTest::addColumn<unsigned>("setting");
    QTest::addColumn<bool>("hex");
    QTest::addColumn<QByteArrayList>("chunks"); // one receive event each
    QTest::addColumn<std::string>("screen");
    const auto row = [](const char* name, unsigned setting, QByteArrayList chunks,
                        const std::string& screen, bool hex = false) {
        QTest::newRow(name) << setting << hex << chunks << screen;
    };
    const unsigned cr = ID_SETTINGS_BREAKS_CR, lf = ID_SETTINGS_BREAKS_LF,
                   autom = ID_SETTINGS_BREAKS_AUTO;
    using B = QByteArray;
    row("CR: lone LF goes", cr, {"A\nB"}, "AB");
    row("CR: split CR LF", cr, {"A\r", "\nB"}, "A\r\nB");
    row("LF: LF breaks", lf, {"A\nB\r\nC"}, "A\r\nB\r\nC");
    row("LF: lone CR goes", lf, {"A\rB\r"}, "AB");
    row("LF: split CR LF", lf, {"A\r", "\nB"}, "A\r\nB");
    row("LF: LF LF is two breaks", lf, {"A\n\nB"}, "A\r\n\r\nB");
    row("Auto: CR, LF, CR LF each one break", autom, {"A\rB\nC\r\nD"},
        "A\r\nB\r\nC\r\nD");
    row("Auto: split CR LF is one break", autom, {"A\r", "\nB"}, "A\r\nB");
    row("Auto: LF CR is two breaks", autom, {"A\n\rB"}, "A\r\n\r\nB");
    row("Auto: CR, CR across events", autom, {"A\r", "\rB"}, "A\r\n\r\nB");
    row("Auto: a chunk between CR and LF", autom, {"A\r", "x", "\nB"}, "A\r\nx\r\nB");
    row("Auto: NUL inside CR LF", autom, {B("A\r\0\nB", 5)}, "A\r\nB");
    row("Auto: empty chunk keeps the CR waiting", autom, {"A\r", "", "\nB"}, "A\r\nB");
    // A backspace from the device erases the LF of a break the mapping made, as it does
    // for a CR's break; the LF after it is not the partner of the CR before it.
    row("CR: backspace after a break", cr, {"A\r", "\bB"}, "A\rB");
    row("LF: backspace after a mapped break", lf, {"A\n", "\bB"}, "A\rB");
    row("Auto: backspace after a mapped break", autom, {"A\n", "\b\bB"}, "AB");
    row("Auto: backspace between CR and LF", autom, {"A\r", "\b\nB"}, "A\r\r\nB");
    row("Auto: backspace erases a CR in the chunk", autom, {"A\r\b\nB"}, "A\r\nB");
    row("hex view is not mapped", autom, {"A\r", "\n"}, "41 0D 0A \r\n", true);
}

void TestShowReceived::lineBreaks() {
    QFETCH(unsigned, setting);
    QFETCH(bool, hex);
    QFETCH(QByteArrayList, chunks);
    QFETCH(std::string, screen);
    FrameFixture f;
    QVERIFY(f.created());
    f->SendCommand(setting, CMainFrame::Source::Menu);
    f->SetHexView(hex);
    for (const QByteArray& chunk : chunks)
        f->ShowReceived(std::string_view(chunk.data(), static_cast<std::size_t>(chunk.size())));
    QCOMPARE(f.screen(), screen);
    QCOMPARE(ReaderText(f->screen()), Shown(screen));
}

// Runs of CRs under each rule, read in one piece and split at every place inside the run.
void TestShowReceived::crRuns_data() {
    QTest::addColumn<int>("mode"); // terminal::LineBreaks
    QTest::addColumn<std::string>("in");
    QTest::addColumn<std::string>("out");
    QTest::addColumn<bool>("loneLF"); // the device ends lines with LF alone, and the mode is CR
    const int cr = 0, lf = 1, autom = 2;
    const auto row = [](const char* name, int mode, std::string in, std::string out, bool lone = false) {
        QTest::newRow(name) << mode << in << out << lone;
    };
    row("Auto: CR CR LF is one break", autom, "A\r\r\nB", "A\r\nB");
    row("Auto: CR CR CR LF is one break", autom, "A\r\r\r\nB", "A\r\nB");
    row("Auto: CR CR then text is two", autom, "A\r\rB", "A\r\n\r\nB");
    row("Auto: CR CR LF LF is two", autom, "A\r\r\n\nB", "A\r\n\r\nB");
    row("Auto: CR CR LF CR is two", autom, "A\r\r\n\rB", "A\r\n\r\nB");
    row("Auto: NUL inside the run", autom, std::string("A\r\0\r\nB", 6), "A\r\nB");
    row("Auto: LF CR CR LF is two", autom, "A\n\r\r\nB", "A\r\n\r\nB");
    row("CR: CR CR LF stays two", cr, "A\r\r\nB", "A\r\n\r\nB");
    row("LF: CR CR LF stays one", lf, "A\r\r\nB", "A\r\nB");
    row("CR: a lone LF is told", cr, "A\nB\n", "AB", true);
    row("CR: LF after CR and a NUL is no lone one", cr, std::string("A\r\0\nB", 6), "A\r\nB");
    row("CR: a lone LF after CR LF is told", cr, "A\r\n\nB", "A\r\nB", true);
    row("LF: lone LFs are what it expects", lf, "A\nB", "A\r\nB");
}

void TestShowReceived::crRuns() {
    QFETCH(int, mode);
    QFETCH(std::string, in);
    QFETCH(std::string, out);
    QFETCH(bool, loneLF);
    for (std::size_t cut = 0; cut <= in.size(); ++cut) {
        for (std::size_t cut2 = cut; cut2 <= in.size(); ++cut2) {
            terminal::TextBreaks breaks{static_cast<terminal::LineBreaks>(mode)};
            std::string shown = terminal::TextView(in.substr(0, cut), breaks);
            shown += terminal::TextView(in.substr(cut, cut2 - cut), breaks);
            shown += terminal::TextView(in.substr(cut2), breaks);
            QVERIFY2(shown == out,
                     qPrintable(QStringLiteral("cut at %1 and %2").arg(cut).arg(cut2)));
            QVERIFY2(breaks.loneLF == loneLF,
                     qPrintable(QStringLiteral("lone LF, cut at %1 and %2").arg(cut).arg(cut2)));
        }
    }
}

void TestShowReceived::stampsAndLog_data() {
    // Events: "r<ms>:<bytes>" received at that time, "t:<bytes>" typed with the port closed,
    // "h" hexadecimal view on, "c" Clear Screen.
    QTest::addColumn<unsigned>("breaks");
    QTest::addColumn<QByteArrayList>("events");
    QTest::addColumn<std::string>("screen");
    QTest::addColumn<QStringList>("stamps"); // per screen line
    QTest::addColumn<QStringList>("log");    // after the log is closed
    const unsigned cr = ID_SETTINGS_BREAKS_CR;
    const auto row = [](const char* name, unsigned breaks, QByteArrayList events,
                        const std::string& screen, QStringList stamps, QStringList log) {
        QTest::newRow(name) << breaks << events << screen << stamps << log;
    };
    row("lines and a split CR LF", cr, {"r1000:one\r", "r1100:\ntwo\r\n", "r1200:thr", "r1300:ee\r\n"},
        "one\r\ntwo\r\nthree\r\n", {"00:00:01.000", "00:00:01.100", "00:00:01.200", "-"},
        {"01.000  one", "01.100  two", "01.200  three"});
    row("lone CR and an open line at the close", cr, {"r1000:a\rb", "r2000:c"}, "a\r\nbc",
        {"00:00:01.000", "00:00:01.000"}, {"01.000  a", "01.000  bc"});
    row("empty lines are stamped", cr, {"r1000:\r\n", "r2000:\r"}, "\r\n\r\n",
        {"00:00:01.000", "00:00:02.000", "-"}, {"01.000  ", "02.000  "});
    row("Auto, split CR LF", ID_SETTINGS_BREAKS_AUTO, {"r1000:a\r", "r1050:\nb\n", "r1100:c"},
        "a\r\nb\r\nc", {"00:00:01.000", "00:00:01.050", "00:00:01.100"},
        {"01.000  a", "01.050  b", "01.100  c"});
    row("LF, lone CR", ID_SETTINGS_BREAKS_LF, {"r1000:a\rb\n"}, "ab\r\n",
        {"00:00:01.000", "-"}, {"01.000  ab"});
    row("echo lines get no stamp", cr, {"r1000:rx\r\n", "t:typed\r", "r3000:more\r\n"},
        "rx\r\ntyped\r\nmore\r\n", {"00:00:01.000", "-", "00:00:03.000", "-"},
        {"01.000  rx", "03.000  more"});
    row("typing then receiving: no stamp", cr, {"t:x", "r5000:y\r\n"}, "xy\r\n", {"-", "-"},
        {"05.000  y"});
    row("receiving then typing keeps the stamp", cr, {"r4000:a", "t:b"}, "ab", {"00:00:04.000"},
        {"04.000  a"});
    row("a line erased entirely loses its stamp", cr,
        {"r1000:abc\r\n", "r2000:de", "r3000:\b\b", "r4000:f\r\n"}, "abc\r\nf\r\n",
        {"00:00:01.000", "00:00:04.000", "-"}, {"01.000  abc", "04.000  f"});
    row("a shortened line keeps its stamp", cr, {"r1000:abc", "r2000:\bX\r\n"}, "abX\r\n",
        {"00:00:01.000", "-"}, {"01.000  abX"});
    row("hex view stamps its lines", cr, {"h", "r1000:A\n", "r2000:B"}, "41 0A \r\n42 ",
        {"00:00:01.000", "00:00:02.000"}, {"01.000  AB"});
    row("Clear Screen clears the stamps", cr, {"r1000:a\r\n", "c", "r2000:b"}, "b",
        {"00:00:02.000"}, {"01.000  a", "02.000  b"});
    row("the clock steps back: as it says, in arrival order", cr,
        {"r5000:late\r\n", "r1000:early\r\n"}, "late\r\nearly\r\n",
        {"00:00:05.000", "00:00:01.000", "-"}, {"05.000  late", "01.000  early"});
}

void TestShowReceived::stampsAndLog() {
    QFETCH(unsigned, breaks);
    QFETCH(QByteArrayList, events);
    QFETCH(std::string, screen);
    QFETCH(QStringList, stamps);
    QFETCH(QStringList, log);
    MsClock clock;
    FrameFixture f;
    QVERIFY(f.created());
    f->SendCommand(breaks, CMainFrame::Source::Menu);
    const std::string path = f.tempPath("stamps.log");
    f.files.choose(path);
    f->SendCommand(ID_FILE_OPEN_LOG, CMainFrame::Source::Menu);
    QVERIFY(f->session().logFile().isOpen());

    for (const QByteArray& event : events) {
        const std::string bytes = event.mid(event.indexOf(':') + 1).toStdString();
        switch (event.front()) {
        case 'r':
            clock.now = event.mid(1, event.indexOf(':') - 1).toLongLong();
            f->ShowReceived(bytes);
            break;
        case 't':
            for (const char c : bytes)
                f->screen().OnChar(static_cast<unsigned char>(c), 1, 0);
            break;
        case 'h':
            f->SetHexView(1);
            break;
        case 'c':
            f->SendCommand(ID_VIEW_CLEAR, CMainFrame::Source::Menu);
            break;
        }
    }
    QCOMPARE(f.screen(), screen);
    QCOMPARE(Stamps(f->screen()), stamps);

    f->SendCommand(ID_FILE_CLOSE_LOG, CMainFrame::Source::Menu);
    QVERIFY(f.boxes.shown.empty());
    QStringList expected;
    for (const QString& line : log)
        expected << QStringLiteral("1970-01-01 00:00:") + line;
    QCOMPARE(QString::fromStdString(Contents(path)).split('\n', Qt::SkipEmptyParts), expected);
}

void TestShowReceived::stampsLeaveWithTrimmedLines_data() {
    QTest::addColumn<int>("head");  // bytes of a first line received before the others
    QTest::addColumn<int>("lines"); // lines of 100 bytes that follow, one trim's worth
    QTest::addColumn<int>("firstLine");
    QTest::addColumn<int>("firstStamp");
    // 16400 bytes are trimmed once by 4097: 40 lines go whole, the 41st is cut into.
    QTest::newRow("the trim cuts into a line") << 0 << 200 << 40 << 40;
    // The trim takes exactly the first line, break and all.
    QTest::newRow("the trim ends at a line start") << 4097 << 130 << 1 << 0;
}

void TestShowReceived::stampsLeaveWithTrimmedLines() {
    QFETCH(int, head);
    QFETCH(int, lines);
    QFETCH(int, firstLine);
    QFETCH(int, firstStamp);
    // Lines of 100 bytes, each received at its own number of milliseconds.
    MsClock clock;
    FrameFixture f;
    QVERIFY(f.created());
    if (head > 0) {
        clock.now = 99999;
        f->ShowReceived(std::string(static_cast<std::size_t>(head - 2), 'H') + "\r\n");
    }
    for (int i = 0; i < lines; ++i) {
        clock.now = i;
        char line[112]; // room for any int; the first 100 bytes are the line
        std::snprintf(line, sizeof line, "L%05d%-92s\r\n", i, "");
        f->ShowReceived(std::string_view(line, 100));
    }
    const terminal::LineStamps& stamps = f->screen().stamps();
    QCOMPARE(f->screen().textLength(), std::size_t(head + lines * 100 - 4097));
    const std::uint64_t first = stamps.firstLine();
    QCOMPARE(first, std::uint64_t(firstLine));
    QCOMPARE(stamps.endLine(), std::uint64_t((head > 0) + lines + 1));
    QCOMPARE(stamps.lineStart(first), std::size_t{0});
    QCOMPARE(stamps.lineStamp(first), std::optional<std::int64_t>{firstStamp});
    // Every whole line carries its own time, found by line number and by position.
    const std::string screen = f.screen();
    for (std::uint64_t n = first + 1; n < stamps.endLine() - 1; ++n) {
        const std::size_t at = stamps.lineStart(n);
        const int number = std::stoi(screen.substr(at + 1, 5));
        QCOMPARE(stamps.lineStamp(n), std::optional<std::int64_t>{number});
        QCOMPARE(stamps.stampAt(at + 50), std::optional<std::int64_t>{number});
    }
    QCOMPARE(stamps.lineStamp(stamps.endLine() - 1), std::nullopt);
}

namespace {

// `n` lines of the form "line 00012 ...", CR LF after each.
std::string Lines(int n, int from = 0) {
    std::string s;
    for (int i = from; i < from + n; ++i)
        s += "line " + std::to_string(100000 + i).substr(1) + " of the flood\r\n";
    return s;
}

void Drag(QWidget* w, QEvent::Type type, QPoint at) {
    QMouseEvent e(type, at, w->mapToGlobal(at), Qt::LeftButton,
                  type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}

} // namespace

void TestShowReceived::viewStaysWhereTheUserScrolled() {
    FrameFixture f;
    QVERIFY(f.created());
    CTermEdit& screen = f->screen();
    f->ShowReceived(Lines(200));
    screen.flush();
    QVERIFY(screen.followsEnd());
    QVERIFY(screen.text().ends_with(ShownBytes(screen)));
    // Scrolled to the top: new text leaves the view where it is.
    screen.verticalScrollBar()->setValue(0);
    QVERIFY(!screen.followsEnd());
    f->ShowReceived(Lines(5, 200));
    QCOMPARE(screen.visibleRows().front().start, std::size_t{0});
    // Back at the bottom it follows again.
    screen.verticalScrollBar()->setValue(screen.verticalScrollBar()->maximum());
    f->ShowReceived(Lines(5, 205));
    QVERIFY(screen.followsEnd());
    QVERIFY(screen.text().ends_with(ShownBytes(screen)));
}

void TestShowReceived::scrolledUpViewHoldsItsTextUntilTrimmed() {
    // A paced stream while the user reads a line in the middle: the view stays on that line
    // while it is on the screen; once trimmed away, the oldest whole line is at the top. Typing
    // (sent, not echoed) or End goes back to following the end.
    FrameFixture f;
    QVERIFY(f.openPort());
    CTermEdit& screen = f->screen();
    screen.setFocus();
    f->ShowReceived(Lines(600));
    screen.flush();
    screen.verticalScrollBar()->setValue(300);
    const std::string held = Lines(1, 300);
    const auto topText = [&] {
        const CTermEdit::Row top = screen.visibleRows().front();
        return screen.text().substr(top.start, held.size());
    };
    QCOMPARE(topText(), held);
    bool sawTrimmed = false;
    for (int i = 600; i < 1300; ++i) {
        f->ShowReceived(Lines(1, i));
        screen.flush();
        QVERIFY(!screen.followsEnd());
        const std::size_t top = screen.visibleRows().front().start;
        if (screen.text().find(held) != std::string::npos) {
            QCOMPARE(topText(), held);
            continue;
        }
        sawTrimmed = true;
        QCOMPARE(top, screen.text().find("line "));
    }
    QVERIFY(sawTrimmed);

    QTest::keyClick(&screen, Qt::Key_X);
    QCOMPARE(f.pty().read(1, 3000), "x"s);
    QVERIFY(screen.followsEnd());
    screen.verticalScrollBar()->setValue(10);
    screen.setSel(5, 5); // the user clicked: the caret is far from the end
    QVERIFY(!screen.followsEnd());
    QTest::keyClick(&screen, Qt::Key_End);
    QVERIFY(screen.followsEnd());
    QVERIFY(screen.text().ends_with(ShownBytes(screen)));
}

void TestShowReceived::largeScrollbackKeepsItsFirstLine() {
    // 10 MB received into a 16 MB screen: the first line is still there, and one more chunk
    // past the size takes the oldest quarter, no more.
    FrameFixture f;
    QVERIFY(f.created());
    CTermEdit& screen = f->screen();
    screen.setScreenSizeKB(16384);
    const std::string block = Lines(2000); // 50,000 bytes
    for (int i = 0; i < 210; ++i)
        f->ShowReceived(block);
    QCOMPARE(screen.textLength(), std::size_t{210} * block.size());
    QVERIFY(screen.text().starts_with(Lines(1)));
    for (int i = 0; i < 130; ++i)
        f->ShowReceived(block);
    QVERIFY(screen.textLength() <= std::size_t{16384} * 1024 + block.size());
    QVERIFY(screen.textLength() > std::size_t{12288} * 1024);
    QVERIFY(!screen.text().starts_with(Lines(1)));
}

void TestShowReceived::utf8ReceivedTypedAndCopied() {
    const QString cafe = QStringLiteral(u"caf\u00E9 \u2192 \U0001F600");
    const std::string bytes = cafe.toStdString();
    FrameFixture f;
    QVERIFY(f.openPort());
    CTermEdit& screen = f->screen();
    screen.setCharacterSet(terminal::CharacterSet::Utf8);
    screen.setFocus();
    // Received in two reads split at every byte: one character per sequence all the same.
    for (std::size_t cut = 1; cut < bytes.size(); ++cut) {
        screen.setText({});
        f->ShowReceived(bytes.substr(0, cut));
        f->ShowReceived(bytes.substr(cut));
        QCOMPARE(ReaderText(screen), cafe);
    }
    // Nine cells: the arrow one, the face two.
    const int cell = screen.caretRect(1).left() - screen.caretRect(0).left();
    QCOMPARE(screen.caretRect(bytes.size()).left() - screen.caretRect(0).left(), 9 * cell);
    // Copy holds the characters.
    screen.selectAll();
    screen.copy();
    QCOMPARE(QApplication::clipboard()->text(), cafe);
    // A backspace erases the whole face, and the next the blank before it.
    f->ShowReceived("\b\b!");
    QCOMPARE(ReaderText(screen), QStringLiteral(u"caf\u00E9 \u2192!"));
    // Typed: each character goes out as its UTF-8 sequence.
    QKeyEvent key(QEvent::KeyPress, 0, Qt::NoModifier, QStringLiteral(u"\u00E9"));
    QApplication::sendEvent(&screen, &key);
    QInputMethodEvent commit;
    commit.setCommitString(QStringLiteral(u"\u2192\U0001F600"));
    QApplication::sendEvent(&screen, &commit);
    QCOMPARE(f.pty().read(9, 3000), "\xC3\xA9\xE2\x86\x92\xF0\x9F\x98\x80"s);
}

void TestShowReceived::scrollBarOnlyWhenThereIsMore_data() {
    QTest::addColumn<int>("extra"); // lines beyond what the glass shows (negative: fewer)
    QTest::addColumn<bool>("thumb");
    QTest::newRow("one line") << -1000 << false;
    QTest::newRow("two lines fewer than fit") << -2 << false;
    QTest::newRow("exactly full") << 0 << false;
    QTest::newRow("one line more") << 1 << true;
    QTest::newRow("far more") << 100 << true;
}

void TestShowReceived::scrollBarOnlyWhenThereIsMore() {
    QFETCH(int, extra);
    QFETCH(bool, thumb);
    FrameFixture f;
    QVERIFY(f.created());
    CTermEdit& screen = f->screen();
    screen.resize(400, 300);
    // How many rows the glass shows: as many as a long text puts there.
    screen.setText(Lines(1000));
    screen.flush();
    const int glass = int(screen.visibleRows().size());
    QVERIFY(glass > 3);
    screen.setText("");
    // The last line holds no CR LF, so n lines fill n rows.
    const int rows = std::max(1, glass + extra);
    std::string text = Lines(rows);
    text.resize(text.size() - 2);
    f->ShowReceived(text);
    screen.flush();
    const QScrollBar* bar = screen.verticalScrollBar();
    QCOMPARE(bar->maximum() > bar->minimum(), thumb);
}

void TestShowReceived::dragAnchorTrimmedAwayIsClamped() {
    // The user starts a selection on the top line; a flood trims that line away before the
    // drag goes on. The selection may start at the screen's start, never on other bytes.
    FrameFixture f;
    QVERIFY(f.created());
    CTermEdit& screen = f->screen();
    f->ShowReceived(Lines(700)); // over 16383 bytes: the next chunk trims
    QVERIFY(screen.textLength() > 16383);
    screen.flush();
    screen.verticalScrollBar()->setValue(0);
    QWidget* view = screen.viewport();
    const QPoint onTopLine(view->fontMetrics().horizontalAdvance(QStringLiteral("line 0")), 2);
    Drag(view, QEvent::MouseButtonPress, onTopLine);
    QVERIFY(screen.model().selectionStart() > 0);
    const std::size_t anchor = screen.model().selectionStart();

    f->ShowReceived(Lines(1, 700));
    Drag(view, QEvent::MouseMove, QPoint(onTopLine.x(), view->height() / 2));
    Drag(view, QEvent::MouseButtonRelease, QPoint(onTopLine.x(), view->height() / 2));
    QCOMPARE(screen.model().selectionStart(), std::size_t{0});
    QVERIFY(screen.model().selectionEnd() > anchor);
}

void TestShowReceived::controlCharactersDrawnAtAnyWidth() {
    FrameFixture f;
    QVERIFY(f.created());
    CTermEdit& screen = f->screen();
    // Each control character is drawn as something, whatever the font has; a blank is not.
    const auto ink = [&](const std::string& text) {
        screen.setText(text);
        screen.flush();
        const QRect first = screen.caretRect(0).adjusted(0, 0, 12, 0);
        const QImage image = screen.viewport()->grab().toImage().copy(first);
        const QRgb base = screen.palette().color(QPalette::Base).rgb();
        int count = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 2; x < image.width(); ++x)
                count += image.pixel(x, y) != base;
        return count;
    };
    QCOMPARE(ink("  "), 0);
    for (const char c : "\x01\x1B\x7F\x81"s)
        QVERIFY2(ink(std::string(1, c)) > 0, qPrintable(QString::number(uchar(c), 16)));
    // One character wide: every row still holds a character and nothing is lost.
    screen.setFixedWidth(screen.verticalScrollBar()->sizeHint().width() + 2 * screen.frameWidth() +
                         screen.fontMetrics().horizontalAdvance(u'M') + 6);
    f->layout()->activate();
    screen.setText("ab\x01\tc\r\n\x02");
    const std::vector<CTermEdit::Row> rows = screen.visibleRows();
    QCOMPARE(screen.columns(), 1);
    QCOMPARE(ShownBytes(screen), screen.text().substr(rows.front().start));
    for (const CTermEdit::Row& row : rows)
        QVERIFY(row.end > row.start || row.start == screen.textLength());
}

// Time Stamps on: a gutter left of the text holds the stamp of each received line's first
// row; a line that typing started has none; off again, the text comes back to the edge.
void TestShowReceived::timeStampGutter() {
    FrameFixture f;
    QVERIFY(f.created());
    MsClock clock;
    clock.now = 3723004; // 01:02:03.004 after midnight, UTC
    CTermEdit& screen = f->screen();
    const int edge = screen.caretRect(0).x();
    f->SendCommand(ID_VIEW_TIMESTAMPS, CMainFrame::Source::Menu);
    QVERIFY(screen.timeStampsShown());
    f->ShowReceived("received\r");
    screen.OnChar('t', 1, 0); // the port is closed: shown, and not stamped
    screen.flush();
    const int cell = screen.fontMetrics().horizontalAdvance(u'M');
    QVERIFY2(screen.caretRect(0).x() >= edge + 12 * cell, qPrintable(QString::number(screen.caretRect(0).x())));
    const auto gutterInk = [&](std::size_t position) {
        const QRect row = screen.caretRect(position);
        const QImage image = screen.viewport()->grab().toImage().copy(0, row.y(), row.x() - 1, row.height());
        const QRgb base = screen.palette().color(QPalette::Base).rgb();
        int count = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                count += image.pixel(x, y) != base;
        return count;
    };
    QVERIFY(gutterInk(0) > 0);
    QCOMPARE(gutterInk(screen.textLength() - 1), 0); // the typed line
    QCOMPARE(QString::fromStdString(fw::FormatTimeOfDay(*screen.stamps().stampAt(0))),
             QStringLiteral("01:02:03.004"));
    f->SendCommand(ID_VIEW_TIMESTAMPS, CMainFrame::Source::Menu);
    screen.flush();
    QCOMPARE(screen.caretRect(0).x(), edge);
}

QTEST_MAIN(TestShowReceived)
#include "tst_showreceived.moc"
