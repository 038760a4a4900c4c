// The terminal grid, its scrollback and the screen that holds both, at the pure level.
#include "terminal/vtpalette.h"
#include "terminal/vtscreen.h"

#include <QTest>

using namespace terminal;

namespace {

void Put(VtGrid& g, int r, int c, std::u32string_view text, const VtPen& pen = {}) {
    for (char32_t ch : text) g.put(r, c++, &ch, 1, 1, pen);
}

QStringList Texts(const VtGrid& g) {
    QStringList out;
    for (int r = 0; r < g.rows(); ++r) out << QString::fromStdString(RowText(g.row(r)));
    return out;
}

// Four rows "r0".."r3" of 4 columns.
VtGrid Numbered() {
    VtGrid g(4, 4);
    for (int r = 0; r < 4; ++r) Put(g, r, 0, std::u32string(U"r") + char32_t(U'0' + r));
    return g;
}

} // namespace

class TestVtGrid : public QObject {
    Q_OBJECT
private slots:
    void scroll_data();
    void scroll();
    void wideCharacters();
    void rowRoundTrip_data();
    void rowRoundTrip();
    void scrollbackLimit();
    void compactLines();
    void alternateScreenKeepsNormal();
    void shrinkPushesTopRows();
    void colours_data();
    void colours();
};

void TestVtGrid::scroll_data() {
    QTest::addColumn<int>("top");
    QTest::addColumn<int>("bottom");
    QTest::addColumn<int>("left");
    QTest::addColumn<int>("right");
    QTest::addColumn<int>("down");
    QTest::addColumn<int>("rightward");
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<QStringList>("pushed");
    QTest::newRow("whole screen up") << 0 << 4 << 0 << 4 << 1 << 0
                                     << QStringList{"r1", "r2", "r3", ""} << QStringList{"r0"};
    QTest::newRow("whole screen up two") << 0 << 4 << 0 << 4 << 2 << 0
                                         << QStringList{"r2", "r3", "", ""}
                                         << QStringList{"r0", "r1"};
    QTest::newRow("whole screen down") << 0 << 4 << 0 << 4 << -1 << 0
                                       << QStringList{"", "r0", "r1", "r2"} << QStringList{};
    QTest::newRow("more than the screen") << 0 << 4 << 0 << 4 << 9 << 0
                                          << QStringList{"", "", "", ""}
                                          << QStringList{"r0", "r1", "r2", "r3"};
    QTest::newRow("region at the top") << 0 << 2 << 0 << 4 << 1 << 0
                                       << QStringList{"r1", "", "r2", "r3"} << QStringList{"r0"};
    QTest::newRow("region in the middle") << 1 << 3 << 0 << 4 << 1 << 0
                                          << QStringList{"r0", "r2", "", "r3"} << QStringList{"r1"};
    QTest::newRow("region down") << 1 << 4 << 0 << 4 << -1 << 0
                                 << QStringList{"r0", "", "r1", "r2"} << QStringList{};
    QTest::newRow("insert a character") << 0 << 1 << 0 << 4 << 0 << -1
                                        << QStringList{" r0", "r1", "r2", "r3"} << QStringList{};
    QTest::newRow("delete a character") << 0 << 1 << 0 << 4 << 0 << 1
                                        << QStringList{"0", "r1", "r2", "r3"} << QStringList{};
    QTest::newRow("partial width up") << 0 << 4 << 1 << 4 << 1 << 0
                                      << QStringList{"r1", "r2", "r3", "r"} << QStringList{};
}

void TestVtGrid::scroll() {
    QFETCH(int, top);
    QFETCH(int, bottom);
    QFETCH(int, left);
    QFETCH(int, right);
    QFETCH(int, down);
    QFETCH(int, rightward);
    QFETCH(QStringList, rows);
    QFETCH(QStringList, pushed);
    VtGrid g = Numbered();
    g.takeDamage();
    QStringList got;
    g.scroll({top, bottom, left, right}, down, rightward, VtPen{},
             [&](const VtRow& row) { got << QString::fromStdString(RowText(row)); });
    QCOMPARE(Texts(g), rows);
    // Rows leaving a region of whole rows are handed on; the screen decides where they go.
    if (left == 0 && right == 4 && rightward == 0) QCOMPARE(got, pushed);
    QVERIFY(g.anyDamage());
    QVERIFY(g.damaged(std::min(top, 3)));
}

void TestVtGrid::wideCharacters() {
    VtGrid g(1, 4);
    const char32_t wide = U'漢';
    g.put(0, 2, &wide, 1, 2, {});
    QCOMPARE(g.row(0).cells[2].width, 2);
    QCOMPARE(g.row(0).cells[3].width, 0);
    QCOMPARE(QString::fromStdString(RowText(g.row(0))), QString::fromUtf8("  漢"));
    // A wide character that no longer fits at the edge is not left half.
    g.resize(1, 3);
    QCOMPARE(g.row(0).cells[2].width, 1);
    // A wide character at the last column cannot take two cells.
    g.put(0, 2, &wide, 1, 2, {});
    QCOMPARE(g.row(0).cells[2].width, 1);
    // Writing over either half leaves no half of it behind.
    VtGrid h(1, 4);
    h.put(0, 0, &wide, 1, 2, {});
    const char32_t x = U'x';
    h.put(0, 1, &x, 1, 1, {});
    QCOMPARE(QString::fromStdString(RowText(h.row(0))), QString(" x"));
    QCOMPARE(h.row(0).cells[0].width, 1);
    h.put(0, 2, &wide, 1, 2, {});
    h.erase({0, 1, 3, 4}, {});
    QCOMPARE(h.row(0).cells[2].width, 1);
    h.put(0, 2, &wide, 1, 2, {});
    h.put(0, 2, &x, 1, 1, {});
    QCOMPARE(h.row(0).cells[3].width, 1);
    // Places outside the grid (the engine gives a column of -1 after some resizes) change
    // nothing and touch no memory but the grid's (the sanitizers watch this one).
    VtGrid o(2, 3), fresh(2, 3);
    for (const auto& [r, c] : {std::pair{1, -1}, {0, -1}, {-1, 0}, {2, 0}, {0, 3}, {1, -2}})
        o.put(r, c, &x, 1, 1, {});
    for (int r = 0; r < 2; ++r)
        QCOMPARE(RowText(o.row(r)), RowText(fresh.row(r)));
}

void TestVtGrid::rowRoundTrip_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("attrs");
    QTest::addColumn<quint32>("fg");
    QTest::addColumn<bool>("wide");
    QTest::addColumn<QString>("marks");
    QTest::newRow("plain") << "hello" << 0 << 0u << false << "";
    QTest::newRow("indexed colour, bold") << "warn" << int(kAttrBold) << VtColor::indexed(3).raw()
                                          << false << "";
    QTest::newRow("24-bit, all attributes")
        << "x y" << int(kAttrBold | kAttrItalic | kAttrUnderline | kAttrReverse)
        << VtColor::rgb(1, 2, 3).raw() << false << "";
    QTest::newRow("wide") << "漢字" << 0 << 0u << true << "";
    QTest::newRow("combining mark") << "e" << 0 << 0u << false << QString(QChar(0x301));
    QTest::newRow("emoji") << QString::fromUtf8("😀") << 0 << 0u << true << "";
}

void TestVtGrid::rowRoundTrip() {
    QFETCH(QString, text);
    QFETCH(int, attrs);
    QFETCH(quint32, fg);
    QFETCH(bool, wide);
    QFETCH(QString, marks);
    VtGrid g(1, 12);
    const VtPen pen{VtColor::fromRaw(fg), VtColor::indexed(4), static_cast<std::uint8_t>(attrs)};
    int col = 1;
    for (char32_t ch : text.toStdU32String()) {
        std::u32string chars(1, ch);
        chars += marks.toStdU32String();
        g.put(0, col, chars.data(), static_cast<int>(chars.size()), wide ? 2 : 1, pen);
        col += wide ? 2 : 1;
    }
    g.put(0, col, U"z", 1, 1, VtPen{}); // a third run, in the default pen again
    g.setWrapped(0, true);
    const VtRow back = DecodeRow(EncodeRow(g.row(0)), 12);
    QCOMPARE(back.cells, g.row(0).cells);
    QCOMPARE(back.marks, g.row(0).marks);
    QVERIFY(back.wrapped);
    // Decoding to a narrower grid cuts, never reads past the line.
    QCOMPARE(DecodeRow(EncodeRow(g.row(0)), 2).cells.size(), 2u);
    QCOMPARE(DecodeRow(EncodeRow(g.row(0)).substr(0, 5), 12).cells.size(), 12u);
}

void TestVtGrid::scrollbackLimit() {
    VtScrollback sb(3);
    for (int i = 0; i < 5; ++i) {
        VtGrid g(1, 4);
        Put(g, 0, 0, std::u32string(1, char32_t(U'0' + i)));
        sb.push(g.row(0));
    }
    QCOMPARE(sb.size(), 3u);
    QCOMPARE(sb.dropped(), 2u);
    QCOMPARE(sb.text(0), std::string("2"));
    sb.setLimit(1);
    QCOMPARE(sb.text(0), std::string("4"));
    QCOMPARE(sb.dropped(), 4u);
    sb.setLimit(0);
    QCOMPARE(sb.limit(), 1u);
    sb.setLimit(5000000);
    QCOMPARE(sb.limit(), kScrollbackMax);
    sb.clear();
    QCOMPARE(sb.size(), 0u);
    QCOMPARE(sb.bytes(), 0u);
}

void TestVtGrid::compactLines() {
    // A coloured 120-column log line: a stamp, a coloured level, plain text to the edge.
    VtScrollback sb(100);
    VtGrid g(1, 120);
    Put(g, 0, 0, U"12:00:01.123 ", VtPen{VtColor::indexed(2), {}, 0});
    Put(g, 0, 13, U"ERROR", VtPen{VtColor::indexed(1), {}, kAttrBold});
    Put(g, 0, 18, std::u32string(102, U'x'));
    for (int i = 0; i < 100; ++i) sb.push(g.row(0));
    // Cells would take 16 bytes each (1920 a line); the compact form a fraction of it.
    QVERIFY2(sb.bytes() / 100 < 240, qPrintable(QString::number(sb.bytes() / 100)));
}

void TestVtGrid::alternateScreenKeepsNormal() {
    VtScreen s(2, 4);
    Put(s.active(), 0, 0, U"sh");
    s.scroll({0, 2, 0, 4}, 1, 0);
    Put(s.active(), 1, 0, U"$");
    s.setAltScreen(true);
    QCOMPARE(s.lineText(1), std::string(""));
    Put(s.active(), 0, 0, U"vi");
    s.scroll({0, 2, 0, 4}, 1, 0); // full-screen programs scroll too: nothing is kept of it
    s.setAltScreen(false);
    QCOMPARE(s.scrollback().size(), 1u);
    QCOMPARE(s.lineText(0), std::string("sh"));
    QCOMPARE(s.lineText(2), std::string("$"));
    // Entering again starts from a blank alternate screen.
    s.setAltScreen(true);
    QCOMPARE(s.lineText(1), std::string(""));
}

void TestVtGrid::shrinkPushesTopRows() {
    VtScreen s(4, 4);
    for (int r = 0; r < 4; ++r) Put(s.active(), r, 0, std::u32string(1, char32_t(U'a' + r)));
    // The cursor on the last row: the top rows go to the scrollback, the cursor moves up.
    QCOMPARE(s.resize(2, 4, 3), -2);
    QCOMPARE(s.scrollback().size(), 2u);
    QCOMPARE(s.lineText(2), std::string("c"));
    // The cursor on the top row: rows below it are given up first.
    VtScreen t(4, 4);
    Put(t.active(), 0, 0, U"a");
    QCOMPARE(t.resize(2, 4, 0), 0);
    QCOMPARE(t.scrollback().size(), 0u);
    QCOMPARE(t.lineText(0), std::string("a"));
    t.resize(1, 1, 0);
    QCOMPARE(t.grid().cols(), 1);
}

QTEST_APPLESS_MAIN(TestVtGrid)
void TestVtGrid::colours_data() {
    QTest::addColumn<quint32>("fg");
    QTest::addColumn<quint32>("bg");
    QTest::addColumn<int>("attrs");
    QTest::addColumn<quint32>("paper"); // the desktop's; its ink is the inverse
    QTest::addColumn<bool>("screenReverse");
    QTest::addColumn<quint32>("wantFg");
    QTest::addColumn<quint32>("wantBg");
    const quint32 none = VtColor{}.raw(), white = 0xFFFFFF, dark = 0x1D1F21;
    const auto ix = [](int i) { return VtColor::indexed(static_cast<std::uint8_t>(i)).raw(); };
    QTest::newRow("defaults") << none << none << 0 << white << false << 0x000000u << white;
    QTest::newRow("red on default") << ix(1) << none << 0 << white << false << 0xCD0000u << white;
    QTest::newRow("cube and grey") << ix(196) << ix(244) << 0 << white << false << 0xFF0000u << 0x808080u;
    QTest::newRow("24-bit") << VtColor::rgb(1, 2, 3).raw() << none << 0 << white << false << 0x010203u << white;
    QTest::newRow("cell reverse") << ix(2) << none << int(kAttrReverse) << white << false << white << 0x00CD00u;
    QTest::newRow("screen reverse") << none << none << 0 << white << true << white << 0x000000u;
    QTest::newRow("blue on light paper") << ix(4) << none << 0 << white << false << 0x0000EEu << white;
    QTest::newRow("blue lifted on dark paper") << ix(4) << none << 0 << dark << false << 0x3B78FFu << dark;
    QTest::newRow("blue paper on dark") << none << ix(4) << 0 << dark << false << (~dark & 0xFFFFFF) << 0x3B78FFu;
    QTest::newRow("light paper reversed is dark") << ix(4) << none << 0 << white << true << 0x3B78FFu << 0x000000u;
}

void TestVtGrid::colours() {
    QFETCH(quint32, fg);
    QFETCH(quint32, bg);
    QFETCH(int, attrs);
    QFETCH(quint32, paper);
    QFETCH(bool, screenReverse);
    QFETCH(quint32, wantFg);
    QFETCH(quint32, wantBg);
    const VtCell cell{U'x', VtColor::fromRaw(fg), VtColor::fromRaw(bg), static_cast<std::uint8_t>(attrs), 1};
    const CellColors got = ColorsOf(cell, ~paper & 0xFFFFFF, paper, screenReverse);
    QCOMPARE(got.fg, wantFg);
    QCOMPARE(got.bg, wantBg);
}

#include "tst_vtgrid.moc"
