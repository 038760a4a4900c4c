// What the user asks to send, turned into line bytes: hex fields, macro escapes, line endings
// and pasted text, each with the bad inputs a user can type.
#include "transfer/sendtext.h"
#include "transfer/transmitdlg.h"

#include <QtTest>

using namespace std::string_literals;
using transfer::ParseError;
using transfer::SendItem;
using transfer::SendItems;
using Kind = transfer::SendItem::Kind;

namespace {

SendItem Bytes(std::string b) {
    return {Kind::Bytes, std::move(b), 0};
}
SendItem Pause(int ms) {
    return {Kind::Pause, {}, ms};
}
SendItem Break() {
    return {Kind::Break, {}, transfer::kBreakMs};
}

// Checks a parse against the expected result: bytes/items, or an error at `errorAt` whose
// text holds `errorText`.
template <class T>
void CheckParsed(const transfer::Parsed<T>& got, const T& want, int errorAt,
                 const QString& errorText) {
    if (errorAt < 0) {
        QVERIFY2(std::holds_alternative<T>(got),
                 std::holds_alternative<ParseError>(got)
                     ? std::get<ParseError>(got).message.c_str()
                     : "");
        QVERIFY(std::get<T>(got) == want);
        return;
    }
    QVERIFY2(std::holds_alternative<ParseError>(got), "bad input was taken");
    const ParseError& error = std::get<ParseError>(got);
    QCOMPARE(error.position, std::size_t(errorAt));
    QVERIFY2(QString::fromStdString(error.message).contains(errorText), error.message.c_str());
    // The column the user reads counts from 1.
    QVERIFY2(QString::fromStdString(error.message).contains(QString::number(errorAt + 1)),
             error.message.c_str());
}

} // namespace

class TestSendText : public QObject {
    Q_OBJECT
private slots:
    void hexField_data();
    void hexField();
    void hexFieldOfTenThousandBytes();
    void macroText_data();
    void macroText();
    void macroOfOneMegabyte();
    void preview();
    void lineEndings();
    void paste_data();
    void paste();
    void progressFigures_data();
    void progressFigures();
};

void TestSendText::hexField_data() {
    QTest::addColumn<QString>("field");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("errorAt"); // -1: no error
    QTest::addColumn<QString>("errorText");
    const auto ok = [](const char* name, const char* field, QByteArray bytes) {
        QTest::newRow(name) << field << bytes << -1 << QString();
    };
    ok("spaced", "41 42 0D", "AB\r");
    ok("run together", "41420d", "AB\r");
    ok("0x each", "0x41 0x42", "AB");
    ok("0X upper, commas", "0X41,0x42", "AB");
    ok("backslash x", "\\x41", "A");
    ok("backslash x chained", "\\x41\\x42\\x00", QByteArray("AB\0", 3));
    ok("0x with a run", "0x4142", "AB");
    ok("blanks around", "  ff\t00 ", QByteArray("\xff\x00", 2));
    ok("empty", "", "");
    const auto bad = [](const char* name, const char* field, int at, const char* text) {
        QTest::newRow(name) << field << QByteArray() << at << text;
    };
    bad("odd digits", "41 4", 3, "odd number");
    bad("odd run", "414", 0, "odd number");
    bad("odd after 0x", "0x414", 0, "odd number");
    bad("0x alone", "0x", 0, "no digits");
    bad("0x alone after a byte", "41 0x", 3, "no digits");
    bad("backslash x alone", "\\x", 0, "no digits");
    bad("bad digit", "41 4G", 4, "'G'");
    bad("bad digit first", "Z1", 0, "'Z'");
    bad("lone backslash", "41\\", 2, "'\\'");
    bad("backslash not x", "\\y41", 0, "'\\'");
    bad("control character", "41\x01", 2, "0x01");
    bad("0x twice", "0x0x41", 3, "'x'");
}

void TestSendText::hexField() {
    QFETCH(QString, field);
    QFETCH(QByteArray, bytes);
    QFETCH(int, errorAt);
    QFETCH(QString, errorText);
    CheckParsed(transfer::ParseHex(field.toStdString()), bytes.toStdString(), errorAt, errorText);
}

void TestSendText::hexFieldOfTenThousandBytes() {
    std::string field, want;
    for (int i = 0; i < 10000; ++i) {
        field += "a5 ";
        want += '\xa5';
    }
    CheckParsed(transfer::ParseHex(field), want, -1, {});
    // One bad digit at the very end still refuses the whole field.
    field += "5";
    CheckParsed(transfer::ParseHex(field), want, 30000, "odd number");
}

void TestSendText::macroText_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<SendItems>("items");
    QTest::addColumn<int>("errorAt");
    QTest::addColumn<QString>("errorText");
    const auto ok = [](const char* name, const char* text, SendItems items) {
        QTest::newRow(name) << text << items << -1 << QString();
    };
    ok("plain", "AT", {Bytes("AT")});
    ok("C escapes", "a\\r\\n\\t\\b\\\\z", {Bytes("a\r\n\t\b\\z")});
    ok("hex escape", "\\x41\\x0d\\xFF", {Bytes("A\r\xff")});
    ok("pause splits bytes", "AT\\r\\d500ATZ\\r", {Bytes("AT\r"), Pause(500), Bytes("ATZ\r")});
    ok("pause of ten minutes", "\\d600000", {Pause(600000)});
    ok("pause then digits", "\\d5\\x31", {Pause(5), Bytes("1")});
    ok("break", "\\B\\d100x", {Break(), Pause(100), Bytes("x")});
    ok("empty", "", {});
    const auto bad = [](const char* name, const char* text, int at, const char* what) {
        QTest::newRow(name) << text << SendItems{} << at << what;
    };
    bad("unknown escape", "AT\\q", 2, "Unknown escape \\q");
    bad("unknown upper escape", "\\R", 0, "Unknown escape \\R");
    bad("backslash at the end", "AT\\", 2, "ends the text");
    bad("hex with one digit", "\\x4", 0, "two hex digits");
    bad("hex with a bad digit", "ab\\x4g", 2, "two hex digits");
    bad("pause without digits", "\\dx", 0, "milliseconds");
    bad("pause beyond a day", "x\\d99999999999999999999", 1, "longer than");
}

void TestSendText::macroText() {
    QFETCH(QString, text);
    QFETCH(SendItems, items);
    QFETCH(int, errorAt);
    QFETCH(QString, errorText);
    CheckParsed(transfer::ParseMacro(text.toLatin1().toStdString()), items, errorAt, errorText);
}

void TestSendText::macroOfOneMegabyte() {
    std::string text;
    while (text.size() < (1u << 20))
        text += "0123456789abcdef\\r\\n";
    const auto parsed = transfer::ParseMacro(text);
    QVERIFY(std::holds_alternative<SendItems>(parsed));
    const SendItems& items = std::get<SendItems>(parsed);
    QCOMPARE(items.size(), std::size_t(1));
    QCOMPARE(items[0].bytes.size(), text.size() / 20 * 18);
}

void TestSendText::preview() {
    const SendItems items{Bytes("AT\r"), Pause(500), Break(), Bytes("\x01")};
    QCOMPARE(transfer::DescribeItems(items), "41 54 0D [pause 500 ms] [Break] 01"s);
    QCOMPARE(transfer::ItemBytes(items), "AT\r\x01"s);
    // A long macro shows its start and how much it holds, not a megabyte of hex.
    const std::string shown = transfer::DescribeItems({Bytes(std::string(100000, 'A'))}, 4);
    QCOMPARE(shown, "41 41 41 41 ... (100000 bytes in all)"s);
}

void TestSendText::lineEndings() {
    using transfer::LineEnding;
    QCOMPARE(transfer::LineEndingBytes(LineEnding::None), ""s);
    QCOMPARE(transfer::LineEndingBytes(LineEnding::CR), "\r"s);
    QCOMPARE(transfer::LineEndingBytes(LineEnding::LF), "\n"s);
    QCOMPARE(transfer::LineEndingBytes(LineEnding::CRLF), "\r\n"s);
    QCOMPARE(transfer::LineEndingBytes(static_cast<LineEnding>(7)), ""s);
}

void TestSendText::paste_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("enter");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("mustAsk");
    QTest::newRow("LF to CR") << QByteArray("a\nb\n") << QByteArray("\r") << QByteArray("a\rb\r")
                              << false;
    QTest::newRow("CR LF to LF") << QByteArray("a\r\nb") << QByteArray("\n") << QByteArray("a\nb")
                                 << false;
    QTest::newRow("CR to CR LF") << QByteArray("a\rb") << QByteArray("\r\n")
                                 << QByteArray("a\r\nb") << false;
    QTest::newRow("LF CR is two breaks")
        << QByteArray("a\n\rb") << QByteArray("\r") << QByteArray("a\r\rb") << false;
    QTest::newRow("tab is fine") << QByteArray("a\tb") << QByteArray("\r") << QByteArray("a\tb")
                                 << false;
    QTest::newRow("escape asks") << QByteArray("a\x1b[2J") << QByteArray("\r")
                                 << QByteArray("a\x1b[2J") << true;
    QTest::newRow("NUL asks") << QByteArray("a\0b", 3) << QByteArray("\r")
                              << QByteArray("a\0b", 3) << true;
    QTest::newRow("DEL asks") << QByteArray("\x7f") << QByteArray("\r") << QByteArray("\x7f")
                              << true;
    QTest::newRow("4096 bytes go") << QByteArray(4096, 'x') << QByteArray("\r")
                                   << QByteArray(4096, 'x') << false;
    QTest::newRow("4097 bytes ask") << QByteArray(4097, 'x') << QByteArray("\r")
                                    << QByteArray(4097, 'x') << true;
    // The count is of what goes out: 4095 + LF made CR LF is 4097.
    QTest::newRow("grown by CR LF asks") << QByteArray(4095, 'x') + "\n" << QByteArray("\r\n")
                                         << QByteArray(4095, 'x') + "\r\n" << true;
}

void TestSendText::paste() {
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, enter);
    QFETCH(QByteArray, bytes);
    QFETCH(bool, mustAsk);
    const auto plan = transfer::PlanPaste(text.toStdString(), enter.toStdString());
    QCOMPARE(QByteArray::fromStdString(plan.bytes), bytes);
    QCOMPARE(plan.mustAsk, mustAsk);
    QCOMPARE(plan.controls, mustAsk && plan.bytes.size() <= transfer::kPasteAskAbove);
}

void TestSendText::progressFigures_data() {
    QTest::addColumn<qint64>("sent");
    QTest::addColumn<qint64>("total");
    QTest::addColumn<qint64>("elapsedMs");
    QTest::addColumn<QString>("shown");
    QTest::newRow("at the start") << 0ll << 5000ll << 0ll << "0 of 5000 bytes";
    QTest::newRow("paced") << 1200ll << 5000ll << 1250ll << "1200 of 5000 bytes, 960 bytes/s";
    QTest::newRow("past 2 GB") << 3000000000ll << 4000000000ll << 1000000ll
                               << "3000000000 of 4000000000 bytes, 3000000 bytes/s";
    QTest::newRow("file grew") << 700ll << 500ll << 1000ll << "700 of 700 bytes, 700 bytes/s";
}

void TestSendText::progressFigures() {
    QFETCH(qint64, sent);
    QFETCH(qint64, total);
    QFETCH(qint64, elapsedMs);
    QFETCH(QString, shown);
    QCOMPARE(QString::fromStdString(transfer::ProgressFigures(sent, total, elapsedMs)), shown);
}

QTEST_GUILESS_MAIN(TestSendText)
#include "tst_sendtext.moc"
