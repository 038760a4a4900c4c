// The terminal view as a widget: keys to the output sink, scrolling that holds still, the
// selection and the clipboard, mouse reporting, and what screen readers read.
#include "terminal/vtview.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QScrollBar>
#include <QTest>

using namespace terminal;

namespace {

struct Fixture {
    VtView view;
    std::string out;
    Fixture() {
        view.resize(400, 200);
        view.setOutputSink([this](std::string_view s) { out += s; });
        view.show();
        view.setFocus();
    }
    void feed(std::string_view s) {
        view.feed(s);
        view.flush();
    }
    // Just right of a cell's left edge: the selection's boundary before that cell.
    QPoint cellEdge(int row, int col) const { return cellCenter(row, col) - QPoint(cellWidth() / 2 - 1, 0); }
    int cellWidth() const { return QFontMetrics(view.font()).horizontalAdvance(QLatin1Char('M')); }
    QPoint cellCenter(int row, int col) const {
        const QFontMetrics fm(view.font());
        const int cw = fm.horizontalAdvance(QLatin1Char('M'));
        return {2 + col * cw + cw / 2, row * fm.height() + fm.height() / 2};
    }
};

} // namespace

class TestVtView : public QObject {
    Q_OBJECT
private slots:
    void keysReachTheSink_data();
    void keysReachTheSink();
    void scrollingHoldsWhileOutputContinues();
    void selection_data();
    void selection();
    void mouseReportingAndShiftDrag();
    void paste_data();
    void paste();
    void accessibleText();
    void gridFollowsTheWidget();
};

void TestVtView::keysReachTheSink_data() {
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("mods");
    QTest::addColumn<QByteArray>("wire");
    QTest::addColumn<QString>("echoed"); // the first line with local echo on, after "ab"
    QTest::newRow("Ctrl+C") << int(Qt::Key_C) << int(Qt::ControlModifier) << QByteArray("\x03") << "ab";
    QTest::newRow("Up") << int(Qt::Key_Up) << 0 << QByteArray("\x1b[A") << "ab";
    QTest::newRow("Tab") << int(Qt::Key_Tab) << 0 << QByteArray("\t") << "ab";
    QTest::newRow("a letter") << int(Qt::Key_X) << 0 << QByteArray("x") << "abx";
    QTest::newRow("Backspace") << int(Qt::Key_Backspace) << 0 << QByteArray("\x7f") << "ab";
    QTest::newRow("F10 is the menu's") << int(Qt::Key_F10) << 0 << QByteArray() << "ab";
    QTest::newRow("Ctrl+Shift+C copies") << int(Qt::Key_C) << int(Qt::ControlModifier | Qt::ShiftModifier)
                                         << QByteArray() << "ab";
}

void TestVtView::keysReachTheSink() {
    QFETCH(int, key);
    QFETCH(int, mods);
    QFETCH(QByteArray, wire);
    Fixture f;
    QFETCH(QString, echoed);
    QTest::keyClick(&f.view, Qt::Key(key), Qt::KeyboardModifiers(mods));
    QCOMPARE(QByteArray::fromStdString(f.out), wire);
    // With local echo the same bytes show; the answer to a query goes out but never shows.
    Fixture e;
    e.view.setLocalEcho([] { return true; });
    e.feed("ab\x1b[6n");
    e.out.clear();
    QTest::keyClick(&e.view, Qt::Key(key), Qt::KeyboardModifiers(mods));
    e.view.flush();
    QCOMPARE(QByteArray::fromStdString(e.out), wire);
    QCOMPARE(QString::fromStdString(e.view.screen().lineText(0)), echoed);
}

void TestVtView::scrollingHoldsWhileOutputContinues() {
    Fixture f;
    for (int i = 0; i < 100; ++i) f.feed("line " + std::to_string(i) + "\r\n");
    QVERIFY(f.view.atBottom());
    f.view.scrollLines(-10);
    QVERIFY(!f.view.atBottom());
    const std::string shown = f.view.screen().lineText(f.view.topLine());
    for (int i = 100; i < 150; ++i) f.feed("line " + std::to_string(i) + "\r\n");
    QCOMPARE(f.view.screen().lineText(f.view.topLine()), shown);
    QCOMPARE(f.view.verticalScrollBar()->value(), int(f.view.topLine()));
    // Shift+PgDn pages down; typing returns to the bottom.
    QTest::keyClick(&f.view, Qt::Key_PageUp, Qt::ShiftModifier);
    QVERIFY(!f.view.atBottom());
    QTest::keyClick(&f.view, Qt::Key_A);
    QVERIFY(f.view.atBottom());
    QCOMPARE(f.out, std::string("a"));
}

void TestVtView::selection_data() {
    QTest::addColumn<int>("clicks");
    QTest::addColumn<QString>("selected");
    QTest::newRow("double-click: a word") << 2 << "/dev/ttyS0";
    QTest::newRow("triple-click: the line") << 3 << "open /dev/ttyS0 ok";
}

void TestVtView::selection() {
    QFETCH(int, clicks);
    QFETCH(QString, selected);
    Fixture f;
    f.feed("open /dev/ttyS0 ok\r\nnext");
    const QPoint at = f.cellCenter(0, 8);
    QTest::mouseClick(f.view.viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(f.view.viewport(), Qt::LeftButton, {}, at);
    if (clicks == 3) QTest::mouseClick(f.view.viewport(), Qt::LeftButton, {}, at);
    QCOMPARE(f.view.selectedText(), selected);
    QTest::keyClick(&f.view, Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(QApplication::clipboard()->text(), selected);
    QCOMPARE(f.out, std::string());
}

void TestVtView::mouseReportingAndShiftDrag() {
    Fixture f;
    f.feed("abcdef\x1b[?1000h");
    QTest::mouseClick(f.view.viewport(), Qt::LeftButton, {}, f.cellCenter(0, 1));
    // Pressed and released at row 1, column 2 (both counted from 1, offset by 32).
    QCOMPARE(QByteArray::fromStdString(f.out), QByteArray("\x1b[M\x20\x22\x21\x1b[M\x23\x22\x21"));
    QVERIFY(f.view.selectedText().isEmpty());
    f.out.clear();
    QTest::mousePress(f.view.viewport(), Qt::LeftButton, Qt::ShiftModifier, f.cellEdge(0, 1));
    QTest::mouseMove(f.view.viewport(), f.cellEdge(0, 4));
    QTest::mouseRelease(f.view.viewport(), Qt::LeftButton, Qt::ShiftModifier, f.cellEdge(0, 4));
    QCOMPARE(f.view.selectedText(), QString("bcd"));
    QCOMPARE(f.out, std::string());
}

void TestVtView::paste_data() {
    QTest::addColumn<QByteArray>("modes");
    QTest::addColumn<bool>("sink");
    QTest::addColumn<QByteArray>("wire");
    QTest::newRow("plain") << QByteArray() << false << QByteArray("ls\rpwd");
    QTest::newRow("bracketed") << QByteArray("\x1b[?2004h") << false
                               << QByteArray("\x1b[200~ls\rpwd\x1b[201~");
    QTest::newRow("through the sink") << QByteArray("\x1b[?2004h") << true
                                      << QByteArray("\x1b[200~<ls\r\npwd>\x1b[201~");
}

void TestVtView::paste() {
    QFETCH(QByteArray, modes);
    QFETCH(bool, sink);
    QFETCH(QByteArray, wire);
    Fixture f;
    f.feed(modes.toStdString());
    if (sink)
        f.view.setPasteSink([&](const QString& text) { f.out += "<" + text.toStdString() + ">"; });
    f.view.scrollLines(-5);
    f.view.paste("ls\r\npwd");
    QCOMPARE(QByteArray::fromStdString(f.out), wire);
    QVERIFY(f.view.atBottom());
}

void TestVtView::accessibleText() {
    Fixture f;
    for (int i = 0; i < 30; ++i) f.feed("row " + std::to_string(i) + "\r\n");
    f.feed("\x1b[32mgreen\x1b[0m \xe2\x86\x92");
    QAccessibleInterface* a = QAccessible::queryAccessibleInterface(&f.view);
    QVERIFY(a && a->textInterface());
    const QString text = a->textInterface()->text(0, -1);
    QVERIFY(text.startsWith("row 0\nrow 1\n"));
    QVERIFY(text.contains(QString::fromUtf8("\nrow 29\ngreen →")));
    QVERIFY(!text.contains(QChar(0x1b)));
}

void TestVtView::gridFollowsTheWidget() {
    Fixture f;
    const int rows = f.view.screen().grid().rows(), cols = f.view.screen().grid().cols();
    f.view.resize(f.view.width() + 200, f.view.height() + 100);
    QTRY_VERIFY_WITH_TIMEOUT(f.view.screen().grid().cols() > cols, 2000);
    QVERIFY(f.view.screen().grid().rows() > rows);
    f.view.resize(10, 10);
    QTRY_COMPARE_WITH_TIMEOUT(f.view.screen().grid().rows(), 1, 2000);
    f.feed("\x1b[6n");
    QCOMPARE(f.out, std::string("\x1b[1;1R"));
}

QTEST_MAIN(TestVtView)
#include "tst_vtview.moc"
