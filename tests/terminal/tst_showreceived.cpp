// The receive road's rendering: the render helpers on their own, then the frame's
// ShowReceived on a real screen (trim, erase count, both views, every byte value).
#include "terminal/render.h"
#include "tests/support/framefixture.h"
#include "tests/support/testdata.h"
#include "tests/terminal/bytesprinter.h"

#include <QtTest>

#include <cstdio>

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

} // namespace

class TestShowReceived : public QObject {
    Q_OBJECT
private slots:
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
};

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

QTEST_MAIN(TestShowReceived)
#include "tst_showreceived.moc"
