// The screen's model without a widget: edits as the edit control makes them, the change
// record the view catches up from, each line's time stamp, the user's selection and the caret
// moves that need no layout, and the text as the clipboard and readers get it.
#include "terminal/screenmodel.h"
#include "terminal/textbuffer.h"

#include <QtTest>

#include <string>

using namespace std::string_literals;
using namespace Qt::StringLiterals;
using terminal::ScreenModel;
using terminal::TextModel;

namespace {

// Runs `ops` on `m`: 'D' is the Delete key, 'T<n>' trims n bytes off the front,
// 'A<text>' appends received text as the receive road does, anything else is typed.
void Run(TextModel& m, const QStringList& ops) {
    for (const QString& op : ops) {
        const std::string arg = op.mid(1).toStdString();
        if (op == u"D") {
            m.deleteForward();
        } else if (op.startsWith(u'T')) {
            m.trimFront(std::stoul(arg));
        } else if (op.startsWith(u'A')) {
            m.setSelection(m.length(), m.length());
            m.replaceSelection(arg);
        } else {
            for (const char c : op.toStdString())
                m.typeChar(static_cast<unsigned char>(c));
        }
    }
}

// Each line's stamp, top to bottom: the milliseconds, or "-" for none.
QStringList Stamps(const terminal::LineStamps& stamps) {
    QStringList out;
    for (auto n = stamps.firstLine(); n < stamps.endLine(); ++n) {
        const auto stamp = stamps.lineStamp(n);
        out << (stamp ? QString::number(*stamp) : QStringLiteral("-"));
    }
    return out;
}

} // namespace

class TestScreenModel : public QObject {
    Q_OBJECT
private slots:
    void edits_data();
    void edits();
    void changeRecord_data();
    void changeRecord();
    void stamps_data();
    void stamps();
    void caretMoves_data();
    void caretMoves();
    void selectionOutlivesTrims();
    void copyAndReaderText_data();
    void copyAndReaderText();
    void utf8Characters_data();
    void utf8Characters();
    void trimRule_data();
    void trimRule();
    void trimMovesNothing();
    void separators_data();
    void separators();
};

void TestScreenModel::edits_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("end");
    QTest::addColumn<QStringList>("ops");
    QTest::addColumn<QByteArray>("after");
    QTest::addColumn<int>("caret");
    QTest::newRow("typed at the caret") << QByteArray("ac") << 1 << 1 << QStringList{"b"}
                                        << QByteArray("abc") << 2;
    QTest::newRow("typed over a selection") << QByteArray("abc") << 1 << 2 << QStringList{"X"}
                                            << QByteArray("aXc") << 2;
    QTest::newRow("backspace") << QByteArray("abc") << 3 << 3 << QStringList{"\b"}
                               << QByteArray("ab") << 2;
    QTest::newRow("backspace erases a whole break")
        << QByteArray("a\r\nb") << 3 << 3 << QStringList{"\b"} << QByteArray("ab") << 1;
    QTest::newRow("backspace at the start") << QByteArray("ab") << 0 << 0 << QStringList{"\b"}
                                            << QByteArray("ab") << 0;
    QTest::newRow("backspace erases the selection only")
        << QByteArray("abcd") << 1 << 3 << QStringList{"\b"} << QByteArray("ad") << 1;
    QTest::newRow("CR and LF both break") << QByteArray("") << 0 << 0 << QStringList{"\r", "\n"}
                                          << QByteArray("\r\n\r\n") << 4;
    QTest::newRow("tab typed, controls ignored")
        << QByteArray("") << 0 << 0 << QStringList{"\t\x01\x1b\x7f"} << QByteArray("\t") << 1;
    QTest::newRow("high bytes typed") << QByteArray("") << 0 << 0 << QStringList{QString(QChar(0xE9))}
                                      << QByteArray("\xE9") << 1;
    QTest::newRow("delete") << QByteArray("abc") << 1 << 1 << QStringList{"D"}
                            << QByteArray("ac") << 1;
    QTest::newRow("delete a whole break") << QByteArray("a\r\nb") << 1 << 1 << QStringList{"D"}
                                          << QByteArray("ab") << 1;
    QTest::newRow("delete at the end") << QByteArray("ab") << 2 << 2 << QStringList{"D"}
                                       << QByteArray("ab") << 2;
    QTest::newRow("trim puts the caret at the start")
        << QByteArray("abcdef") << 6 << 6 << QStringList{"T2"} << QByteArray("cdef") << 0;
    QTest::newRow("trim past the end empties")
        << QByteArray("ab") << 2 << 2 << QStringList{"T9"} << QByteArray("") << 0;
    QTest::newRow("reversed selection put in order")
        << QByteArray("abcd") << 3 << 1 << QStringList{"X"} << QByteArray("aXd") << 2;
}

void TestScreenModel::edits() {
    QFETCH(QByteArray, text);
    QFETCH(int, start);
    QFETCH(int, end);
    QFETCH(QStringList, ops);
    QFETCH(QByteArray, after);
    QFETCH(int, caret);
    TextModel m;
    m.setText(text.toStdString());
    m.setSelection(static_cast<std::size_t>(start), static_cast<std::size_t>(end));
    for (const QString& op : ops) {
        if (op == u"D" || op.startsWith(u'T')) {
            Run(m, {op});
            continue;
        }
        for (const char c : op.toLatin1())
            m.typeChar(static_cast<unsigned char>(c));
    }
    QCOMPARE(QByteArray::fromStdString(std::string(m.text())), after);
    QCOMPARE(m.selectionStart(), std::size_t(caret));
    QCOMPARE(m.selectionEnd(), std::size_t(caret));
    // The line index always knows every line of the text.
    QCOMPARE(m.lines().count(), std::size_t(after.count('\n') + 1));
}

void TestScreenModel::changeRecord_data() {
    // After the view caught up with "0123456789", the ops; then what the view must do.
    QTest::addColumn<QStringList>("ops");
    QTest::addColumn<bool>("reset");
    QTest::addColumn<int>("removedFront");
    QTest::addColumn<int>("stablePrefix");
    QTest::newRow("nothing") << QStringList{} << false << 0 << 10;
    QTest::newRow("append keeps what is shown") << QStringList{"Aabc"} << false << 0 << 10;
    QTest::newRow("trim drops the front") << QStringList{"T4"} << false << 4 << 6;
    QTest::newRow("trims add up") << QStringList{"T4", "T3"} << false << 7 << 3;
    QTest::newRow("erase at the end") << QStringList{"\b\b"} << false << 0 << 8;
    QTest::newRow("append then trim into it") << QStringList{"Aabc", "T12"} << true << 0 << 0;
    QTest::newRow("typed mid-text") << QStringList{"T2", "Ax"} << false << 2 << 8;
}

void TestScreenModel::changeRecord() {
    QFETCH(QStringList, ops);
    QFETCH(bool, reset);
    QFETCH(int, removedFront);
    QFETCH(int, stablePrefix);
    TextModel m;
    m.setText("0123456789");
    m.setSelection(10, 10);
    m.markSynced();
    Run(m, ops);
    QCOMPARE(m.resetPending(), reset);
    QCOMPARE(m.removedFront(), std::size_t(removedFront));
    QCOMPARE(m.stablePrefix(), std::size_t(stablePrefix));
    QCOMPARE(m.changed(), !ops.isEmpty());
    m.markSynced();
    QVERIFY(!m.changed());
}

void TestScreenModel::stamps_data() {
    // Steps: "r<ms>:<text>" received at ms, "t:<text>" typed, "e:<n>" n bytes erased at the
    // end by a received backspace at a later time, "f:<n>" n bytes trimmed off the front.
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QStringList>("stamps");
    QTest::newRow("a line keeps its first byte's time")
        << QStringList{"r100:one\r\ntw", "r200:o\r\nthree"} << QStringList{"100", "100", "200"};
    QTest::newRow("an empty last line has none yet")
        << QStringList{"r100:one\r\n"} << QStringList{"100", "-"};
    QTest::newRow("typing starts a line without a stamp")
        << QStringList{"t:ab", "r300:c\r\nd"} << QStringList{"-", "300"};
    QTest::newRow("emptied line stamped anew")
        << QStringList{"r100:x", "e:1", "r200:y"} << QStringList{"200"};
    QTest::newRow("shortened line keeps its stamp")
        << QStringList{"r100:xy", "e:1", "r200:z"} << QStringList{"100"};
    QTest::newRow("trimmed lines take their stamps")
        << QStringList{"r1:a\r\n", "r2:b\r\n", "r3:c", "f:3"} << QStringList{"2", "3"};
    QTest::newRow("a line cut into keeps its stamp")
        << QStringList{"r1:aaaa\r\n", "r2:b", "f:2"} << QStringList{"1", "2"};
}

void TestScreenModel::stamps() {
    QFETCH(QStringList, steps);
    QFETCH(QStringList, stamps);
    ScreenModel screen;
    TextModel& m = screen.text();
    std::int64_t last = 0;
    for (const QString& step : steps) {
        const qsizetype colon = step.indexOf(u':');
        const std::string arg = step.mid(colon + 1).toStdString();
        const QChar kind = step.front();
        if (kind == u'r') {
            last = step.mid(1, colon - 1).toLongLong();
            const terminal::LineStamps::ReceiveScope received(screen.stamps(), last);
            Run(m, {"A" + step.mid(colon + 1)});
        } else if (kind == u't') {
            m.setSelection(m.length(), m.length());
            for (const char c : arg)
                m.typeChar(static_cast<unsigned char>(c));
        } else if (kind == u'e') {
            const terminal::LineStamps::ReceiveScope received(screen.stamps(), last + 1);
            m.setSelection(m.length() - std::stoul(arg), m.length());
            m.replaceSelection({});
        } else {
            m.trimFront(std::stoul(arg));
        }
    }
    QCOMPARE(Stamps(screen.stamps()), stamps);
}

void TestScreenModel::caretMoves_data() {
    // On "ab\r\ncd ef": where Left/Right (with or without Shift) take the caret, and the word
    // and line around a position.
    QTest::addColumn<int>("anchor");
    QTest::addColumn<int>("caret");
    QTest::addColumn<QString>("move");
    QTest::addColumn<int>("to");
    QTest::addColumn<int>("toEnd"); // the range's end, for "word" and "line"
    QTest::newRow("right") << 0 << 0 << "right" << 1 << -1;
    QTest::newRow("right over a break") << 2 << 2 << "right" << 4 << -1;
    QTest::newRow("left over a break") << 4 << 4 << "left" << 2 << -1;
    QTest::newRow("left at the start") << 0 << 0 << "left" << 0 << -1;
    QTest::newRow("right at the end") << 9 << 9 << "right" << 9 << -1;
    QTest::newRow("right ends a selection at its end") << 5 << 1 << "right" << 5 << -1;
    QTest::newRow("left ends a selection at its start") << 1 << 5 << "left" << 1 << -1;
    QTest::newRow("shift+left moves the caret end") << 5 << 1 << "shift+left" << 0 << -1;
    QTest::newRow("word") << 0 << 0 << "word 5" << 4 << 6;
    QTest::newRow("blank run") << 0 << 0 << "word 6" << 6 << 7;
    QTest::newRow("word stops at the break") << 0 << 0 << "word 1" << 0 << 2;
    QTest::newRow("word at the end") << 0 << 0 << "word 9" << 9 << 9;
    QTest::newRow("line without its break") << 0 << 0 << "line 1" << 0 << 2;
    QTest::newRow("last line") << 0 << 0 << "line 7" << 4 << 9;
}

void TestScreenModel::caretMoves() {
    QFETCH(int, anchor);
    QFETCH(int, caret);
    QFETCH(QString, move);
    QFETCH(int, to);
    QFETCH(int, toEnd);
    ScreenModel screen;
    screen.text().setText("ab\r\ncd ef");
    screen.select(std::size_t(anchor), std::size_t(caret));
    QCOMPARE(screen.caret(), std::size_t(caret));
    QCOMPARE(screen.anchor(), std::size_t(anchor));
    const QStringList words = move.split(u' ');
    if (words[0] == u"word" || words[0] == u"line") {
        const std::size_t at = words[1].toUInt();
        const auto range = words[0] == u"word" ? screen.wordAt(at) : screen.lineAt(at);
        QCOMPARE(range, std::make_pair(std::size_t(to), std::size_t(toEnd)));
        return;
    }
    const bool extend = move.startsWith(u"shift+");
    QCOMPARE(screen.horizontalMove(screen.caret(), move.endsWith(u"right"), extend),
             std::size_t(to));
}

void TestScreenModel::selectionOutlivesTrims() {
    ScreenModel screen;
    screen.text().setText("0123456789");
    const std::uint64_t five = screen.absolute(5);
    const std::uint64_t one = screen.absolute(1);
    screen.text().trimFront(3);
    QCOMPARE(screen.fromAbsolute(five), std::size_t(2)); // the same byte, '5'
    QCOMPARE(screen.slice(2, 3), "5"s);
    QCOMPARE(screen.fromAbsolute(one), std::size_t(0)); // trimmed away: the start
    QCOMPARE(screen.fromAbsolute(screen.absolute(7) + 100), std::size_t(7)); // past the end
    // A new text is a new start: no old position names one of its bytes.
    screen.text().setText("abc");
    QCOMPARE(screen.fromAbsolute(five), std::size_t(0));
}

void TestScreenModel::copyAndReaderText_data() {
    QTest::addColumn<bool>("utf8");
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("end");
    QTest::addColumn<QString>("copied");
    QTest::addColumn<QString>("reader");
    QTest::newRow("breaks as newlines") << false << QByteArray("a\r\nb\rc") << 0 << 6
                                        << QString("a\nb\nc") << QString("a\nbc");
    QTest::newRow("NUL left out of the copy") << false << QByteArray("a\0b", 3) << 0 << 3
                                              << QString("ab") << QStringLiteral("a\u2400b");
    QTest::newRow("controls as pictures for readers")
        << false << QByteArray("\x01\x7f\t") << 0 << 3 << QString("\x01\x7f\t")
        << QStringLiteral("\u2401\u2421\t");
    QTest::newRow("code page characters")
        << false << QByteArray("\xE9\x80") << 0 << 2 << QStringLiteral("\u00E9\u20AC")
        << QStringLiteral("\u00E9\u20AC");
    QTest::newRow("part of a break") << false << QByteArray("a\r\nb") << 1 << 2 << QString("\n")
                                     << QString("a\nb");
    const QByteArray cafe = QStringLiteral(u"caf\u00E9 \u2192 \U0001F600").toUtf8();
    QTest::newRow("UTF-8 characters") << true << cafe << 0 << int(cafe.size())
                                      << QStringLiteral(u"caf\u00E9 \u2192 \U0001F600")
                                      << QStringLiteral(u"caf\u00E9 \u2192 \U0001F600");
    QTest::newRow("UTF-8 bad bytes as U+FFFD")
        << true << QByteArray("a\xC0\x80\xFF\r\n\x01") << 0 << 7
        << QStringLiteral(u"a\uFFFD\uFFFD\uFFFD\n\x01")
        << QStringLiteral(u"a\uFFFD\uFFFD\uFFFD\n\u2401");
    QTest::newRow("the same bytes in Western") << false << QByteArray("\xC3\xA9") << 0 << 2
                                               << QStringLiteral(u"\u00C3\u00A9")
                                               << QStringLiteral(u"\u00C3\u00A9");
}

void TestScreenModel::copyAndReaderText() {
    QFETCH(bool, utf8);
    QFETCH(QByteArray, text);
    QFETCH(int, start);
    QFETCH(int, end);
    QFETCH(QString, copied);
    QFETCH(QString, reader);
    ScreenModel screen;
    if (utf8) screen.setCharacterSet(terminal::CharacterSet::Utf8);
    screen.text().setText(text.toStdString());
    screen.select(std::size_t(start), std::size_t(end));
    QCOMPARE(screen.copyText(), copied);
    QCOMPARE(screen.readerText(), reader);
    // Every character's start has a reader offset that leads back to it, but one before a CR:
    // readers do not see the CR, so that place is the one after it.
    for (std::size_t at = 0; at <= screen.length(); at = screen.horizontalMove(at, true, true)) {
        if (at < screen.length() && text[qsizetype(at)] == '\r') continue;
        QCOMPARE(screen.modelPosition(screen.readerOffset(at)), at);
        if (at == screen.length()) break;
    }
}

void TestScreenModel::utf8Characters_data() {
    // On "a" + é + "b" + 😀 + a lone continuation byte + "z" in UTF-8: what a key does at a
    // byte position. Keys: "\b" Backspace, "D" Delete, "<" Left, ">" Right.
    QTest::addColumn<int>("at");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QByteArray>("after");
    QTest::addColumn<int>("caret");
    const QByteArray text("a\xC3\xA9" "b\xF0\x9F\x98\x80\x80z");
    QTest::newRow("backspace after e acute") << 3 << "\b" << QByteArray(text).remove(1, 2) << 1;
    QTest::newRow("backspace after a wide character")
        << 8 << "\b" << QByteArray(text).remove(4, 4) << 4;
    QTest::newRow("backspace after a bad byte") << 9 << "\b" << QByteArray(text).remove(8, 1) << 8;
    QTest::newRow("delete before the emoji") << 4 << "D" << QByteArray(text).remove(4, 4) << 4;
    QTest::newRow("right over e acute") << 1 << ">" << text << 3;
    QTest::newRow("left over the emoji") << 8 << "<" << text << 4;
    QTest::newRow("right over a bad byte") << 8 << ">" << text << 9;
}

void TestScreenModel::utf8Characters() {
    QFETCH(int, at);
    QFETCH(QString, key);
    QFETCH(QByteArray, after);
    QFETCH(int, caret);
    ScreenModel screen;
    screen.setCharacterSet(terminal::CharacterSet::Utf8);
    screen.text().setText("a\xC3\xA9" "b\xF0\x9F\x98\x80\x80z");
    screen.select(std::size_t(at), std::size_t(at));
    if (key == u"<" || key == u">") {
        QCOMPARE(screen.horizontalMove(screen.caret(), key == u">", false), std::size_t(caret));
        return;
    }
    Run(screen.text(), {key});
    QCOMPARE(QByteArray::fromStdString(std::string(screen.text().text())), after);
    QCOMPARE(screen.caret(), std::size_t(caret));
}

void TestScreenModel::trimRule_data() {
    QTest::addColumn<int>("sizeKB");
    QTest::addColumn<qulonglong>("length");
    QTest::addColumn<qulonglong>("cut");
    // The smallest screen: more than 16383 bytes lose 4097 at a time until back under.
    QTest::newRow("16 KB, 16383 kept") << 16 << 16383ull << 0ull;
    QTest::newRow("16 KB, 16384 trimmed") << 16 << 16384ull << 4097ull;
    QTest::newRow("16 KB, 20480 once") << 16 << 20480ull << 4097ull;
    QTest::newRow("16 KB, 20481 twice") << 16 << 20481ull << 8194ull;
    QTest::newRow("16 KB, 1 MB at once") << 16 << 1048576ull << 1032444ull;
    // Larger: past the size, the oldest quarter of the size at a time.
    QTest::newRow("64 KB, 65536 kept") << 64 << 65536ull << 0ull;
    QTest::newRow("64 KB, 65537 a quarter") << 64 << 65537ull << 16384ull;
    QTest::newRow("64 KB, 81921 two quarters") << 64 << 81921ull << 32768ull;
    QTest::newRow("256 MB, passed by one") << 262144 << 268435457ull << 67108864ull;
    QTest::newRow("256 MB, full") << 262144 << 268435456ull << 0ull;
}

void TestScreenModel::trimRule() {
    QFETCH(int, sizeKB);
    QFETCH(qulonglong, length);
    QFETCH(qulonglong, cut);
    QCOMPARE(qulonglong(terminal::TrimBeforeAdding(length, std::size_t(sizeKB))), cut);
    // Whatever the cut, what stays fits the bound.
    const qulonglong bound = sizeKB == 16 ? 16383 : qulonglong(sizeKB) * 1024;
    QVERIFY(length - cut <= bound);
}

void TestScreenModel::trimMovesNothing() {
    // Appends, trims and edits in the middle, round a ring of a few pages many times over,
    // against a plain string doing the same.
    terminal::TextBuffer buffer;
    buffer.reserve(64 * 1024);
    std::string want;
    std::uint32_t seed = 7;
    const auto next = [&seed](std::uint32_t n) { return (seed = seed * 1103515245u + 12345u) / 65536u % n; };
    for (int step = 0; step < 4000; ++step) {
        const std::string chunk(next(3000), char('a' + step % 26));
        switch (next(4)) {
        case 0: { // a trim: the text left stays where it was
            const std::size_t n = next(std::uint32_t(want.size() / 4) + 1);
            const char* before = buffer.view().data() + n;
            buffer.eraseFront(n);
            want.erase(0, n);
            const char* after = buffer.view().data();
            if (!want.empty())
                QVERIFY2(after == before || after == before - buffer.capacity(), "the text moved");
            break;
        }
        case 1: { // an edit in the middle, sometimes with bytes of the text itself
            const std::size_t at = next(std::uint32_t(want.size()) + 1);
            const std::size_t removed = next(16);
            const bool own = next(2);
            const std::string inserted = own ? want.substr(0, std::min<std::size_t>(9, want.size())) : chunk.substr(0, 5);
            buffer.replace(at, removed, own ? buffer.view().substr(0, inserted.size()) : std::string_view(inserted));
            want.replace(at, removed, inserted);
            break;
        }
        default:
            if (want.size() + chunk.size() < 200'000) { // the receive road's append
                buffer.replace(buffer.size(), 0, chunk);
                want += chunk;
            }
        }
        QCOMPARE(buffer.view(), std::string_view(want));
    }
    // Growing past the ring and shrinking back keep the text too.
    buffer.reserve(8 << 20);
    QCOMPARE(buffer.view(), std::string_view(want));
    buffer.reserve(0);
    buffer.eraseFront(buffer.size() - 10);
    QCOMPARE(buffer.view(), std::string_view(want).substr(want.size() - 10));
    QVERIFY(buffer.capacity() < (1u << 20));
}

void TestScreenModel::separators_data() {
    // Ops as Run's, and 'S' puts a separator at the end of the text.
    QTest::addColumn<QStringList>("ops");
    QTest::addColumn<std::string>("text");
    QTest::addColumn<QList<int>>("marks");
    QTest::newRow("at the end, then text after it") << QStringList{"Aone\r\n", "S", "Atwo"}
                                                    << "one\r\ntwo"s << QList<int>{5};
    QTest::newRow("twice in one place is once") << QStringList{"Aa", "S", "S"} << "a"s << QList<int>{1};
    QTest::newRow("moves with a trim") << QStringList{"Aone\r\n", "S", "Atwo", "T2"}
                                       << "e\r\ntwo"s << QList<int>{3};
    QTest::newRow("kept at the trim's edge") << QStringList{"Aone\r\n", "S", "Atwo", "T5"}
                                             << "two"s << QList<int>{0};
    QTest::newRow("gone with its place") << QStringList{"Aone\r\n", "S", "Atwo", "T6", "S", "Ax"}
                                         << "wox"s << QList<int>{2};
    QTest::newRow("a backspace over it pulls it back") << QStringList{"Aab", "S", "Acd", "\b\b\b"}
                                                       << "a"s << QList<int>{1};
}

void TestScreenModel::separators() {
    QFETCH(QStringList, ops);
    QFETCH(std::string, text);
    QFETCH(QList<int>, marks);
    ScreenModel m;
    for (const QString& op : ops) {
        if (op == u"S") {
            m.addSeparator();
        } else {
            Run(m.text(), {op});
            m.text().setSelection(m.length(), m.length());
        }
    }
    // The separators are no part of the text nor of what is copied.
    QCOMPARE(m.text().text(), text);
    m.setSelection(0, m.length());
    QCOMPARE(m.copyText(), QString::fromStdString(text).replace(u"\r\n"_s, u"\n"_s));
    QList<int> shown;
    for (const std::size_t at : m.separators())
        shown << int(at);
    QCOMPARE(shown, marks);
}

QTEST_GUILESS_MAIN(TestScreenModel)
#include "tst_screenmodel.moc"
