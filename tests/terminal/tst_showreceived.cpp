// The receive road's rendering: the render helpers on their own, then the frame's
// ShowReceived on a real screen (trim, erase count, both views, every byte value, the line
// breaks the view takes from the device, each line's time stamp and the text log).
#include "framework/clock.h"
#include "res/resource.h"
#include "terminal/render.h"
#include "tests/support/framefixture.h"
#include "tests/support/testdata.h"
#include "tests/terminal/bytesprinter.h"

#include <QFile>
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
    const LineStamps& stamps = screen.stamps();
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

} // namespace

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

    void showReceived_data();
    void showReceived();
    void selectionGoesToTheEnd();
    void viewSwitchAffectsLaterChunksOnly();
    void trim_data();
    void trim();
    void trimRepeatsUntilBounded();
    void allBytesTextView();
    void allBytesHexView_data();
    void allBytesHexView();
    void lineBreaks_data();
    void lineBreaks();
    void stampsAndLog_data();
    void stampsAndLog();
    void stampsLeaveWithTrimmedLines_data();
    void stampsLeaveWithTrimmedLines();
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
    QCOMPARE(render::ApplyBackspaces(s), static_cast<std::size_t>(erase));
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
    QCOMPARE(render::TextView(in), out);
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
    QCOMPARE(render::HexView(in), out);
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
    f->m_wndEdit.setText(screen);
    f->SetHexView(hex);
    f->ShowReceived(chunk);
    QCOMPARE(f.screen(), after);
    const TextModel& model = f->m_wndEdit.model();
    QCOMPARE(model.selectionStart(), after.size());
    QCOMPARE(model.selectionEnd(), after.size());
    QCOMPARE(f->m_wndEdit.toPlainText(), Shown(after));
}

void TestShowReceived::selectionGoesToTheEnd() {
    FrameFixture f;
    QVERIFY(f.created());
    f->m_wndEdit.setText("hello world");
    f->m_wndEdit.setSel(2, 5); // as if the user had selected "llo"
    f->ShowReceived("");
    QCOMPARE(f.screen(), "hello world"s);
    QCOMPARE(f->m_wndEdit.model().selectionStart(), std::size_t{11});
    f->m_wndEdit.setSel(0, 0);
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
    QTest::addColumn<int>("length");
    QTest::addColumn<int>("dropped");
    QTest::newRow("16383 stays") << 16383 << 0;
    QTest::newRow("16384 loses 4097") << 16384 << 4097;
    QTest::newRow("20480 loses 4097") << 20480 << 4097;
    QTest::newRow("20481 loses twice") << 20481 << 2 * 4097;
    QTest::newRow("30000 loses four times") << 30000 << 4 * 4097;
}

void TestShowReceived::trim() {
    QFETCH(int, length);
    QFETCH(int, dropped);
    FrameFixture f;
    QVERIFY(f.created());
    std::string screen = Filler(static_cast<std::size_t>(length));
    // The cut falls between the CR and the LF of a break.
    screen[4096] = '\r';
    screen[4097] = '\n';
    f->m_wndEdit.setText(screen);
    f->m_wndEdit.flush();
    // The trim comes before the chunk: a leading backspace erases the screen's last character.
    f->ShowReceived("\bXY");
    const std::string expected =
        screen.substr(static_cast<std::size_t>(dropped), screen.size() - dropped - 1) + "XY";
    QCOMPARE(f.screen().size(), expected.size());
    QCOMPARE(f.screen(), expected);
    if (dropped == 4097) QCOMPARE(f.screen().front(), '\n');
    QCOMPARE(f->m_wndEdit.toPlainText(), Shown(expected));
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
        QVERIFY2(f->m_wndEdit.textLength() <= 16383 + rendered,
                 qPrintable(QString::number(f->m_wndEdit.textLength())));
    }
    const std::string s = f.screen();
    QVERIFY(s.size() > 16383);
    // What is left is whole lines of "0A \r\n" except perhaps a cut first one.
    QVERIFY(s.ends_with("0A \r\n0A \r\n"));
    QCOMPARE(f->m_wndEdit.toPlainText(), Shown(s));
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
    f->m_wndEdit.setText(before);
    f->SetHexView(1);
    f->ShowReceived(chunk);
    QCOMPARE(f.screen(), before + HexOf(chunk));
    QCOMPARE(render::HexView(chunk), HexOf(chunk));
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
    QCOMPARE(f->m_wndEdit.toPlainText(), Shown(screen));
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
    QVERIFY(f->m_fileLog.isOpen());

    for (const QByteArray& event : events) {
        const std::string bytes = event.mid(event.indexOf(':') + 1).toStdString();
        switch (event.front()) {
        case 'r':
            clock.now = event.mid(1, event.indexOf(':') - 1).toLongLong();
            f->ShowReceived(bytes);
            break;
        case 't':
            for (const char c : bytes)
                f->m_wndEdit.OnChar(static_cast<unsigned char>(c), 1, 0);
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
    QCOMPARE(Stamps(f->m_wndEdit), stamps);

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
        char line[101];
        std::snprintf(line, sizeof line, "L%05d%-92s\r\n", i, "");
        f->ShowReceived(std::string_view(line, 100));
    }
    const LineStamps& stamps = f->m_wndEdit.stamps();
    QCOMPARE(f->m_wndEdit.textLength(), std::size_t(head + lines * 100 - 4097));
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

QTEST_MAIN(TestShowReceived)
#include "tst_showreceived.moc"
