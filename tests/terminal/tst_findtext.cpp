// Finding in a view's text: the pure matching (case, hexadecimal patterns, overlapping
// matches, huge patterns, a pattern that matches everywhere), the match list that follows a
// text cut at its front and rewritten at its end, the terminal view's text, and the find bar
// over the log view.
#include "terminal/findbar.h"
#include "terminal/findtext.h"
#include "terminal/termedit.h"
#include "terminal/vtfindtext.h"
#include "terminal/vtview.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QtTest>

#include <string>

using namespace std::string_literals;
using terminal::kNoMatch;

namespace {

QList<qulonglong> Starts(const std::vector<std::size_t>& v) {
    return QList<qulonglong>(v.begin(), v.end());
}

} // namespace

class TestFindText : public QObject {
    Q_OBJECT
private slots:
    void matching_data();
    void matching();
    void hexPatterns_data();
    void hexPatterns();
    void matchList_data();
    void matchList();
    void boundedWork();
    void terminalText();
    void findBar();
    void findBarOverTerminal();
};

void TestFindText::matching_data() {
    QTest::addColumn<std::string>("text");
    QTest::addColumn<std::string>("pattern");
    QTest::addColumn<bool>("matchCase");
    QTest::addColumn<QList<qulonglong>>("all");  // every match, overlapping ones too
    QTest::addColumn<qulonglong>("last");        // FindBackward from the end
    const auto row = [](const char* name, std::string text, std::string pattern, bool matchCase,
                        QList<qulonglong> all, qulonglong last) {
        QTest::newRow(name) << text << pattern << matchCase << all << last;
    };
    row("case folded", "Boot BOOT boot", "boot", false, {0, 5, 10}, 10);
    row("case kept", "Boot BOOT boot", "boot", true, {10}, 10);
    row("only ASCII letters fold", "\xC9t\xE9", "\xE9", false, {2}, 2);
    row("overlapping", "aaaa", "aa", true, {0, 1, 2}, 2);
    row("CR LF across a line end", "a\r\nb\r\n", "\r\n", true, {1, 4}, 4);
    row("none", "abc", "x", true, {}, kNoMatch);
    row("empty pattern matches nowhere", "abc", "", true, {}, kNoMatch);
    row("longer than the text", "ab", "abc", true, {}, kNoMatch);
    row("at the very end", "xxab", "ab", true, {2}, 2);
    row("NUL bytes", "a\0b\0"s, "\0"s, true, {1, 3}, 3);
}

void TestFindText::matching() {
    QFETCH(std::string, text);
    QFETCH(std::string, pattern);
    QFETCH(bool, matchCase);
    QFETCH(QList<qulonglong>, all);
    QFETCH(qulonglong, last);
    QCOMPARE(Starts(terminal::MatchesBetween(text, pattern, 0, text.size(), matchCase, 100)), all);
    QCOMPARE(qulonglong(terminal::FindBackward(text, pattern, text.size(), matchCase)), last);
    // Forward from each match finds it, and from just after it the next one.
    for (qsizetype i = 0; i < all.size(); ++i) {
        QCOMPARE(qulonglong(terminal::FindForward(text, pattern, all[i], matchCase)), all[i]);
        const qulonglong next = i + 1 < all.size() ? all[i + 1] : kNoMatch;
        QCOMPARE(qulonglong(terminal::FindForward(text, pattern, all[i] + 1, matchCase)), next);
        const qulonglong previous = i > 0 ? all[i - 1] : kNoMatch;
        QCOMPARE(qulonglong(terminal::FindBackward(text, pattern, all[i], matchCase)), previous);
    }
}

void TestFindText::hexPatterns_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("badAt"); // -1: fine
    QTest::newRow("pairs with spaces") << "0D 0a" << QByteArray("\r\n") << -1;
    QTest::newRow("pairs run together") << "0d0A1b" << QByteArray("\r\n\x1b") << -1;
    QTest::newRow("upper bytes") << "ff 80" << QByteArray("\xff\x80") << -1;
    QTest::newRow("a letter past F") << "0d 0g" << QByteArray() << 4;
    QTest::newRow("a lone last digit") << "0d 0" << QByteArray() << 3;
    QTest::newRow("a digit cut by a space") << "0 d" << QByteArray() << 0;
    QTest::newRow("a prefix is not hex") << "0x41" << QByteArray() << 1;
    QTest::newRow("nothing") << "" << QByteArray() << -1;
}

void TestFindText::hexPatterns() {
    QFETCH(QString, typed);
    QFETCH(QByteArray, bytes);
    QFETCH(int, badAt);
    const terminal::HexPattern p = terminal::ParseHexPattern(typed.toStdU16String());
    QCOMPARE(p.ok(), badAt < 0);
    if (badAt >= 0) QCOMPARE(qulonglong(p.badAt), qulonglong(badAt));
    QCOMPARE(QByteArray::fromStdString(p.bytes), bytes);
}

void TestFindText::matchList_data() {
    // Steps: "+text" adds at the end, "-n" cuts n bytes off the front, "=n:text" rewrites from
    // byte n (the text after it replaced). After all steps the list must hold `starts`.
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QList<qulonglong>>("starts"); // absolute
    QTest::newRow("grows") << QStringList{"+ab", "+xab", "+a", "+b"} << QList<qulonglong>{0, 3, 5};
    QTest::newRow("a match split between two chunks") << QStringList{"+xa", "+b"} << QList<qulonglong>{1};
    QTest::newRow("cut at the front") << QStringList{"+ab ab ab", "-1"} << QList<qulonglong>{3, 6};
    QTest::newRow("cut right at a match") << QStringList{"+ab ab", "-3"} << QList<qulonglong>{3};
    QTest::newRow("cut inside the last") << QStringList{"+ab ab", "-4", "+ab"} << QList<qulonglong>{5};
    QTest::newRow("rewritten away") << QStringList{"+ab ab", "=4:x"} << QList<qulonglong>{0};
    QTest::newRow("rewritten into one") << QStringList{"+ab a", "=3:ab"} << QList<qulonglong>{0, 3};
}

void TestFindText::matchList() {
    QFETCH(QStringList, steps);
    QFETCH(QList<qulonglong>, starts);
    std::string text;
    std::uint64_t origin = 0;
    terminal::MatchList list;
    list.reset("ab", true);
    for (const QString& step : steps) {
        const std::string arg = step.mid(1).toStdString();
        std::uint64_t changed = origin + text.size();
        if (step.startsWith(u'+')) {
            text += arg;
        } else if (step.startsWith(u'-')) {
            const std::size_t n = std::stoul(arg);
            text.erase(0, n);
            origin += n;
            changed = origin + text.size();
        } else {
            const std::size_t at = std::stoul(arg);
            text = text.substr(0, at) + arg.substr(arg.find(':') + 1);
            changed = origin + at;
        }
        QVERIFY(list.update(text, origin, changed, 1 << 20));
    }
    QCOMPARE(QList<qulonglong>(list.starts().begin(), list.starts().end()), starts);
}

void TestFindText::boundedWork() {
    // A pattern that matches every byte: the list stops at its limit, a little at a time.
    const std::string flood(std::size_t{8} << 20, 'a');
    terminal::MatchList every;
    every.reset("a", true);
    QVERIFY(every.update(flood, 0, flood.size(), 1 << 20));
    QVERIFY(every.full());
    QCOMPARE(every.count(), terminal::MatchList::kLimit);
    QCOMPARE(every.starts().back(), terminal::MatchList::kLimit - 1);
    // A 1 MB pattern against a text of its own byte: each match costs the pattern's length, so
    // one step lists only a few, and yet the steps end with every match listed.
    const std::string huge(std::size_t{1} << 20, 'a');
    const std::string text = huge + std::string(99, 'a') + "b";
    terminal::MatchList big;
    big.reset(huge, false);
    QVERIFY(!big.update(text, 0, text.size(), std::size_t{4} << 20));
    QCOMPARE(big.count(), std::size_t{32});
    for (int i = 0; i < 10 && !big.done(); ++i)
        big.update(text, 0, text.size(), std::size_t{4} << 20);
    QVERIFY(big.done());
    QCOMPARE(big.count(), std::size_t{100});
    QCOMPARE(qulonglong(terminal::FindForward(text, huge, 5, true)), 5ull);
    QCOMPARE(qulonglong(terminal::FindBackward(text, huge, text.size(), true)), 99ull);
    QCOMPARE(terminal::MatchesBetween(text, huge, 0, 100, true, 100).size(), std::size_t{32});
}

void TestFindText::terminalText() {
    terminal::VtScreen screen(3, 10, 2);
    const char32_t wide[] = {U'\u4e2d'};
    const char32_t a[] = {U'a'};
    screen.putGlyph(0, 0, wide, 1, 2);
    screen.putGlyph(0, 2, a, 1, 1);
    terminal::VtFindText text;
    terminal::FindText t = text.update(screen);
    QCOMPARE(std::string(t.bytes), "\xe4\xb8\xad" "a\n\n\n"s);
    // The wide character's three bytes are in cell 0, the a in cell 2.
    QCOMPARE(terminal::ColumnOfByte(screen.grid().row(0), 2), 0);
    QCOMPARE(terminal::ColumnOfByte(screen.grid().row(0), 3), 2);
    const auto cells = text.cellsOf(screen, {t.origin, t.origin + 4});
    QCOMPARE(cells.size(), std::size_t{1});
    QCOMPARE(cells[0].startCol, 0);
    QCOMPARE(cells[0].endCol, 3);
    // Scrolled into the scrollback, a line keeps its bytes' numbers; past the limit it goes.
    for (int i = 0; i < 4; ++i) {
        screen.scroll({0, 3, 0, 10}, 1, 0);
        t = text.update(screen);
        if (i == 0) QCOMPARE(std::string(t.bytes.substr(0, 5)), "\xe4\xb8\xad" "a\n"s);
    }
    QCOMPARE(screen.scrollback().size(), std::size_t{2});
    QCOMPARE(t.origin, 6ull); // the first two lines (5 bytes and 1) went
    QCOMPARE(qulonglong(t.bytes.size()), 5ull);
    QCOMPARE(text.lineOf(t.origin), std::size_t{0});
    QCOMPARE(text.lineStart(2), t.origin + 2);
}

void TestFindText::findBar() {
    CTermEdit edit;
    edit.resize(400, 200);
    terminal::FindBar bar;
    bar.setTarget(&edit, &edit);
    edit.setSel(0, 0);
    edit.replaceSel("boot one\r\nBOOT two\r\nboot three\r\n");
    edit.flush();
    bar.open();
    bar.field()->setText(QStringLiteral("boot"));
    bar.refreshNow();
    QCOMPARE(bar.status(), QStringLiteral("1 of 3"));
    bar.findNext();
    QCOMPARE(bar.status(), QStringLiteral("2 of 3"));
    bar.caseBox()->setChecked(true);
    bar.refreshNow();
    QCOMPARE(bar.status(), QStringLiteral("1 of 2"));
    bar.findNext(true); // back round to the last
    QCOMPARE(*bar.current(), edit.screen().absolute(20));
    bar.caseBox()->setChecked(false);
    QCOMPARE(*bar.current(), edit.screen().absolute(0));
    // The current match trimmed away: the nearest one left.
    edit.trimFront(12);
    bar.refreshNow();
    QCOMPARE(*bar.current(), edit.screen().absolute(8));
    QCOMPARE(bar.status(), QStringLiteral("1 of 1"));
    edit.trimFront(edit.textLength());
    bar.refreshNow();
    QCOMPARE(bar.status(), QStringLiteral("Not found"));
    edit.setSel(edit.textLength(), edit.textLength());
    edit.replaceSel("boot four\r\n");
    bar.refreshNow();
    QCOMPARE(bar.status(), QStringLiteral("1 match"));
    bar.hexBox()->setChecked(true);
    bar.field()->setText(QStringLiteral("0d 0x"));
    QCOMPARE(bar.status(), QStringLiteral("Not hexadecimal at character 5"));
    bar.field()->setText(QStringLiteral("0d 0a"));
    bar.refreshNow();
    QCOMPARE(bar.status(), QStringLiteral("1 of 1"));
    // Escape in the field closes the bar.
    QTest::keyClick(bar.field(), Qt::Key_Escape);
    QVERIFY(bar.isHidden());
}

void TestFindText::findBarOverTerminal() {
    terminal::VtView view;
    view.resize(400, 120);
    view.feed("boot one\r\nBOOT two\r\n");
    for (int i = 0; i < 40; ++i)
        view.feed("filler\r\n"); // the first lines go to the scrollback
    view.feed("last boot");
    view.flush();
    QVERIFY(view.screen().scrollback().size() > 0);
    terminal::FindBar bar;
    bar.setTarget(&view, &view);
    bar.open();
    bar.field()->setText(QStringLiteral("boot"));
    bar.refreshNow();
    QCOMPARE(bar.status(), QStringLiteral("3 of 3")); // the one on the glass first
    bar.findNext();
    QCOMPARE(bar.status(), QStringLiteral("1 of 3"));
    // Shown: the view scrolled back to it.
    QCOMPARE(view.topLine(), std::size_t{0});
    QVERIFY(!view.atBottom());
}

QTEST_MAIN(TestFindText)
#include "tst_findtext.moc"
