// UTF-8 as the log view reads the screen's bytes: each well-formed sequence one character,
// every other byte a bad byte of its own; what one backspace erases; how many cells a
// character takes.
#include "terminal/utf8.h"

#include <QtTest>

#include <string>

namespace {

// The text decoded step by step: "U+XXXX" per character, "!XX" per bad byte.
QStringList Decoded(const QByteArray& bytes) {
    const std::string_view text(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    QStringList out;
    for (std::size_t at = 0; at < text.size();) {
        const terminal::Utf8Char c = terminal::DecodeUtf8At(text, at);
        out << (c.valid ? QStringLiteral("U+%1").arg(uint(c.code), 4, 16, QLatin1Char('0'))
                        : QStringLiteral("!%1").arg(uint(c.code), 2, 16, QLatin1Char('0')))
                   .toUpper();
        at += c.length;
    }
    return out;
}

} // namespace

class TestUtf8 : public QObject {
    Q_OBJECT
private slots:
    void decode_data();
    void decode();
    void splitAtEveryByte();
    void previousStart_data();
    void previousStart();
    void cells_data();
    void cells();
    void localeDefault_data();
    void localeDefault();
};

void TestUtf8::decode_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("decoded");
    using L = QStringList;
    QTest::newRow("ASCII and controls") << QByteArray("a\r\n\x01", 4)
                                        << L{"U+0061", "U+000D", "U+000A", "U+0001"};
    QTest::newRow("two bytes") << QByteArray("caf\xC3\xA9")
                               << L{"U+0063", "U+0061", "U+0066", "U+00E9"};
    QTest::newRow("three bytes") << QByteArray("\xE2\x86\x92") << L{"U+2192"};
    QTest::newRow("four bytes") << QByteArray("\xF0\x9F\x98\x80") << L{"U+1F600"};
    QTest::newRow("last code point") << QByteArray("\xF4\x8F\xBF\xBF") << L{"U+10FFFF"};
    QTest::newRow("U+FFFF") << QByteArray("\xEF\xBF\xBF") << L{"U+FFFF"};
    QTest::newRow("overlong NUL (C0 80)") << QByteArray("\xC0\x80") << L{"!C0", "!80"};
    QTest::newRow("overlong slash (C1 AF)") << QByteArray("\xC1\xAF") << L{"!C1", "!AF"};
    QTest::newRow("overlong three (E0 80 AF)") << QByteArray("\xE0\x80\xAF")
                                               << L{"!E0", "!80", "!AF"};
    QTest::newRow("overlong four (F0 8F BF BF)") << QByteArray("\xF0\x8F\xBF\xBF")
                                                 << L{"!F0", "!8F", "!BF", "!BF"};
    QTest::newRow("surrogate D800") << QByteArray("\xED\xA0\x80") << L{"!ED", "!A0", "!80"};
    QTest::newRow("surrogate DFFF") << QByteArray("\xED\xBF\xBF") << L{"!ED", "!BF", "!BF"};
    QTest::newRow("above U+10FFFF (F4 90)") << QByteArray("\xF4\x90\x80\x80")
                                            << L{"!F4", "!90", "!80", "!80"};
    QTest::newRow("F5..FF") << QByteArray("\xF5\xF8\xFC\xFE\xFF")
                            << L{"!F5", "!F8", "!FC", "!FE", "!FF"};
    QTest::newRow("lone continuation bytes") << QByteArray("a\x80\xBFz")
                                             << L{"U+0061", "!80", "!BF", "U+007A"};
    QTest::newRow("lead without its rest") << QByteArray("\xC3z") << L{"!C3", "U+007A"};
    QTest::newRow("cut short by the end") << QByteArray("\xF0\x9F\x98")
                                          << L{"!F0", "!9F", "!98"};
    QTest::newRow("a good one after a bad lead") << QByteArray("\xE2\xC3\xA9")
                                                 << L{"!E2", "U+00E9"};
}

void TestUtf8::decode() {
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, decoded);
    QCOMPARE(Decoded(bytes), decoded);
}

void TestUtf8::splitAtEveryByte() {
    // The screen keeps the bytes as they came: whatever the reads, the joined text decodes as
    // the whole did, one character per sequence.
    const QByteArray whole = QStringLiteral(u"caf\u00E9 \u2192 \U0001F600").toUtf8();
    const QStringList expected = Decoded(whole);
    QCOMPARE(expected.size(), 8);
    for (qsizetype cut = 1; cut < whole.size(); ++cut) {
        QByteArray joined = whole.left(cut);
        joined += whole.mid(cut);
        QCOMPARE(Decoded(joined), expected);
        // Until its rest arrives, a cut sequence shows as bad bytes, never as another character.
        for (const QString& c : Decoded(whole.left(cut)))
            QVERIFY(expected.contains(c) || c.startsWith(u'!'));
    }
}

void TestUtf8::previousStart_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("start"); // of what one backspace at the end erases
    QTest::newRow("ASCII") << QByteArray("ab") << 1;
    QTest::newRow("two bytes") << QByteArray("a\xC3\xA9") << 1;
    QTest::newRow("three bytes") << QByteArray("a\xE2\x86\x92") << 1;
    QTest::newRow("wide emoji") << QByteArray("a\xF0\x9F\x98\x80") << 1;
    QTest::newRow("lone continuation") << QByteArray("a\x80") << 1;
    QTest::newRow("bad lead at the end") << QByteArray("a\xC3") << 1;
    QTest::newRow("continuation after ASCII") << QByteArray("ab\x80\x80") << 3;
    QTest::newRow("five continuations") << QByteArray("\x80\x80\x80\x80\x80") << 4;
    QTest::newRow("overlong") << QByteArray("\xC0\x80") << 1;
    QTest::newRow("one byte") << QByteArray("\xE9") << 0;
}

void TestUtf8::previousStart() {
    QFETCH(QByteArray, bytes);
    QFETCH(int, start);
    const std::string_view text(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    QCOMPARE(terminal::Utf8PreviousStart(text, text.size()), std::size_t(start));
}

void TestUtf8::cells_data() {
    QTest::addColumn<uint>("code");
    QTest::addColumn<int>("cells");
    QTest::newRow("a") << uint('a') << 1;
    QTest::newRow("e acute") << 0xE9u << 1;
    QTest::newRow("arrow") << 0x2192u << 1;
    QTest::newRow("CJK") << 0x4E2Du << 2;
    QTest::newRow("Hangul") << 0xAC00u << 2;
    QTest::newRow("full-width A") << 0xFF21u << 2;
    QTest::newRow("grinning face") << 0x1F600u << 2;
    QTest::newRow("combining acute") << 0x301u << 0;
    QTest::newRow("zero-width space") << 0x200Bu << 0;
    QTest::newRow("last before wide") << 0x10FFu << 1;
}

void TestUtf8::cells() {
    QFETCH(uint, code);
    QFETCH(int, cells);
    QCOMPARE(terminal::Utf8Cells(char32_t(code)), cells);
}

void TestUtf8::localeDefault_data() {
    QTest::addColumn<QByteArray>("lcAll");
    QTest::addColumn<QByteArray>("lcCtype");
    QTest::addColumn<QByteArray>("lang");
    QTest::addColumn<bool>("utf8");
    QTest::newRow("LANG UTF-8") << QByteArray() << QByteArray() << QByteArray("de_DE.UTF-8") << true;
    QTest::newRow("C.utf8") << QByteArray() << QByteArray() << QByteArray("C.utf8") << true;
    QTest::newRow("with a modifier") << QByteArray() << QByteArray() << QByteArray("sr_RS.UTF-8@latin")
                                     << true;
    QTest::newRow("nothing set") << QByteArray() << QByteArray() << QByteArray() << false;
    QTest::newRow("POSIX") << QByteArray() << QByteArray() << QByteArray("POSIX") << false;
    QTest::newRow("Latin-1") << QByteArray() << QByteArray() << QByteArray("en_US.ISO-8859-1")
                             << false;
    QTest::newRow("LC_ALL first") << QByteArray("C") << QByteArray("en_US.UTF-8")
                                  << QByteArray("en_US.UTF-8") << false;
    QTest::newRow("LC_CTYPE before LANG") << QByteArray() << QByteArray("en_US.UTF-8")
                                          << QByteArray("C") << true;
    QTest::newRow("empty LC_ALL skipped") << QByteArray("") << QByteArray()
                                          << QByteArray("fr_FR.UTF-8") << true;
}

void TestUtf8::localeDefault() {
    QFETCH(QByteArray, lcAll);
    QFETCH(QByteArray, lcCtype);
    QFETCH(QByteArray, lang);
    QFETCH(bool, utf8);
    const auto arg = [](const QByteArray& v) { return v.isNull() ? nullptr : v.constData(); };
    QCOMPARE(terminal::LocaleCharacterSet(arg(lcAll), arg(lcCtype), arg(lang)) ==
                 terminal::CharacterSet::Utf8,
             utf8);
}

QTEST_GUILESS_MAIN(TestUtf8)
#include "tst_utf8.moc"
