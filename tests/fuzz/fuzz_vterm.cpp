// The terminal emulator and its view fed random bytes between random resizes (down to one
// cell), keys, pastes, resets and clears. After each step the screen must hold together: the
// grid as large as the engine thinks, every row its width, wide characters whole, the cursor on
// the grid, the scrollback within its limit; now and then the view paints it all. A second
// engine, fed the same, prints everything itself (no text written straight into the grid):
// both screens must be the same, cell for cell.
//
// Input: a sequence of steps; each step's first byte picks the operation.

#include "terminal/vtview.h"
#include "tests/fuzz/fuzzcheck.h"

#include <QApplication>
#include <QPixmap>

#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace {

QApplication* g_app = nullptr;

void CheckScreen(const terminal::VtScreen& s) {
    const terminal::VtGrid& g = s.grid();
    FUZZ_CHECK(g.rows() >= 1 && g.cols() >= 1);
    FUZZ_CHECK(s.cursorRow() >= 0 && s.cursorRow() < g.rows());
    FUZZ_CHECK(s.cursorCol() >= 0 && s.cursorCol() < g.cols());
    FUZZ_CHECK(s.scrollback().size() <= s.scrollback().limit());
    FUZZ_CHECK(s.lineCount() == s.scrollback().size() + static_cast<std::size_t>(g.rows()));
    for (int r = 0; r < g.rows(); ++r) {
        const terminal::VtRow& row = g.row(r);
        FUZZ_CHECK(row.cells.size() == static_cast<std::size_t>(g.cols()));
        for (std::size_t c = 0; c < row.cells.size(); ++c)
            if (row.cells[c].width == 2) FUZZ_CHECK(c + 1 < row.cells.size() && row.cells[c + 1].width == 0);
        for (const auto& m : row.marks) FUZZ_CHECK(m.first < row.cells.size());
    }
    if (s.scrollback().size() > 0) {
        const terminal::VtRow last = s.line(s.scrollback().size() - 1);
        FUZZ_CHECK(last.cells.size() == static_cast<std::size_t>(g.cols()));
    }
}

// The same cells, marks and wrapping, cursor and scrollback.
void CheckSame(const terminal::VtScreen& s, const terminal::VtScreen& ref) {
    FUZZ_CHECK(s.cursorRow() == ref.cursorRow() && s.cursorCol() == ref.cursorCol());
    FUZZ_CHECK(s.altScreen() == ref.altScreen() && s.pen == ref.pen);
    FUZZ_CHECK(s.pushedTotal() == ref.pushedTotal() && s.lineCount() == ref.lineCount());
    const std::size_t first = s.scrollback().size() ? s.scrollback().size() - 1 : 0;
    for (std::size_t i = first; i < s.lineCount(); ++i) {
        const terminal::VtRow a = s.line(i), b = ref.line(i);
        FUZZ_CHECK(a.cells == b.cells && a.marks == b.marks && a.wrapped == b.wrapped);
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    setenv("QT_NO_GLIB", "1", 1);
    g_app = new QApplication(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    terminal::VtView view;
    view.resize(300, 200);
    view.setScrollbackLines(50);
    (void)view.grab(); // the view takes its size (and grid) now, not at the first paint
    (void)view.grab(); // the view takes its size (and grid) now, not at the first paint
    std::size_t sent = 0;
    view.setOutputSink([&](std::string_view s) { sent += s.size(); });
    const terminal::VtGrid& grid = view.screen().grid();
    terminal::VtScreen refScreen(grid.rows(), grid.cols(), 50);
    terminal::VtEngine ref(refScreen);
    ref.setDirectPrint(false);
    // The view resizes its engine when its own size changes; the reference follows.
    const auto follow = [&] {
        if (grid.rows() != refScreen.grid().rows() || grid.cols() != refScreen.grid().cols())
            ref.resize(grid.rows(), grid.cols());
    };
    std::size_t i = 0;
    while (i < size) {
        follow();
        const std::uint8_t op = data[i++];
        const std::uint8_t a = i < size ? data[i] : 0, b = i + 1 < size ? data[i + 1] : 0;
        switch (op % 8) {
        case 5: // a new grid, from one cell up
            view.engine().resize(a % 40 + 1, b % 140 + 1);
            ref.resize(a % 40 + 1, b % 140 + 1);
            i += 2;
            break;
        case 6: // a key or a paste
            view.engine().key(static_cast<terminal::VtKey>(a % 43), b % 8);
            ref.key(static_cast<terminal::VtKey>(a % 43), b % 8);
            if (a & 0x80) view.paste(QString::fromLatin1(reinterpret_cast<const char*>(data + i), std::min<int>(b % 16, int(size - i))));
            i += 2;
            break;
        case 7: // reset, clear, the alternate screen, or paint
            if (a % 4 == 0) {
                view.resetTerminal();
                ref.reset();
            }
            if (a % 4 == 1) {
                view.clear();
                ref.clear();
            }
            if (a % 4 == 2) {
                view.feed(a & 0x80 ? "\x1b[?1049h" : "\x1b[?1049l");
                ref.feed(a & 0x80 ? "\x1b[?1049h" : "\x1b[?1049l");
            }
            if (a % 4 == 3) {
                view.selectAll();
                (void)view.selectedText();
                (void)view.readerText();
                (void)view.grab();
            }
            i += 1;
            break;
        default: { // bytes from the device
            const std::size_t n = std::min<std::size_t>(size - i, std::size_t(op) + 1);
            view.feed(std::string_view(reinterpret_cast<const char*>(data + i), n));
            ref.feed(std::string_view(reinterpret_cast<const char*>(data + i), n));
            i += n;
            break;
        }
        }
        CheckScreen(view.screen());
        follow();
        CheckSame(view.screen(), refScreen);
    }
    view.flush();
    return 0;
}
