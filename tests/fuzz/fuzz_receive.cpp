// The receive road on a real (offscreen) main frame: random chunks, typed characters, view
// switches and selections. After each step the screen model must be what the road promises,
// and whenever the widget catches up it must show exactly the model; the line stamps must
// know exactly the lines of the model.
//
// Input: a sequence of steps; each step's first byte picks the operation.

#include "framework/application.h"
#include "mainframe/mainframe.h"
#include "terminal/render.h"
#include "tests/fuzz/fuzzcheck.h"

#include <QApplication>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>
#include <algorithm>
#include <array>
#include <string>

namespace {


QApplication* g_app = nullptr;
CMainFrame* g_frame = nullptr;

// Cells a byte takes at `column` of a row `columns` wide, written out on its own: one for
// a printable byte, none for CR and LF, a box of two for a control character, a tab up to the
// next multiple of eight but not past the row's end.
int Cells(unsigned char b, int column, int columns) {
    if (b == '\r' || b == '\n') return 0;
    if (b == '\t') return std::max(1, std::min(8 - column % 8, columns - column));
    if (b < 0x20 || b == 0x7F || b == 0x81 || b == 0x8D || b == 0x8F || b == 0x90 || b == 0x9D)
        return 2;
    return 1;
}

// The whole text laid out the plain way: lines end after each LF, rows wrap where the next
// character would not fit (a row always takes at least one). Each row with its first byte.
std::vector<std::pair<std::size_t, std::string>> LayOut(std::string_view text, int columns) {
    std::vector<std::pair<std::size_t, std::string>> rows(1);
    int column = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto b = static_cast<unsigned char>(text[i]);
        int cells = Cells(b, column, columns);
        if (cells > 0 && column > 0 && column + cells > columns) {
            rows.emplace_back(i, std::string());
            column = 0;
            cells = Cells(b, 0, columns);
        }
        rows.back().second.push_back(text[i]);
        column += cells;
        if (b == '\n') {
            rows.emplace_back(i + 1, std::string());
            column = 0;
        }
    }
    return rows;
}

// The view shows consecutive rows of the model as laid out at its width; following the end,
// the last of them.
void CheckWidget(CTermEdit& screen) {
    screen.flush();
    // Readers get the text with no CR and nothing zero-width, whatever the character set.
    const QString reader = screen.readerText();
    FUZZ_CHECK(!reader.contains(u'\r') && !reader.contains(QChar(0x200B)));
    if (screen.characterSet() != terminal::CharacterSet::Western) return;
    const std::vector<CTermEdit::Row> shown = screen.visibleRows();
    const auto all = LayOut(screen.text(), screen.columns());
    FUZZ_CHECK(!shown.empty());
    std::size_t first = 0;
    while (first < all.size() && all[first].first != shown[0].start)
        ++first;
    FUZZ_CHECK(first + shown.size() <= all.size());
    if (screen.followsEnd()) FUZZ_CHECK(first + shown.size() == all.size());
    for (std::size_t i = 0; i < shown.size(); ++i) {
        const std::string row(screen.text().substr(shown[i].start, shown[i].end - shown[i].start));
        if (row != all[first + i].second) {
            std::fprintf(stderr, "columns %d, row %zu of %zu: shown [%s], laid out [%s]\n",
                         screen.columns(), i, shown.size(), row.c_str(),
                         all[first + i].second.c_str());
            FUZZ_CHECK(!"the view shows the model laid out at its width");
        }
    }
}

void CheckModel(std::string_view text) {
    // Backspaces are applied and NULs never shown, whatever the view. (A lone LF is possible:
    // the user may put the caret inside a line break and type there.)
    for (char c : text)
        FUZZ_CHECK(c != '\b' && c != '\0');
}

// One line per LF of the text, each starting right after its LF, whatever edits came before.
void CheckStamps(const CTermEdit& screen) {
    const terminal::LineStamps& stamps = screen.stamps();
    const std::string_view text = screen.text();
    std::uint64_t line = stamps.firstLine();
    FUZZ_CHECK(stamps.lineStart(line) == 0);
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\n') continue;
        ++line;
        FUZZ_CHECK(line < stamps.endLine());
        FUZZ_CHECK(stamps.lineStart(line) == i + 1);
    }
    FUZZ_CHECK(line + 1 == stamps.endLine());
}

void Receive(CMainFrame& frame, std::string_view chunk) {
    CTermEdit& screen = frame.screen();
    std::string before(screen.text());
    // The smallest screen keeps 16383 bytes, losing 4097 at a time; a larger one its size,
    // losing a quarter of it at a time.
    const std::size_t sizeKB = screen.screenSizeKB();
    const std::size_t above = sizeKB == 16 ? 16383 : sizeKB * 1024;
    const std::size_t step = sizeKB == 16 ? 4097 : sizeKB * 256;
    while (before.size() > above)
        before.erase(0, step);

    // Text view applies the backspaces; the hexadecimal view shows every byte and erases nothing.
    std::string plain(chunk);
    const bool hex = frame.GetHexView();
    const terminal::CharacterSet set = screen.characterSet();
    const std::size_t erase =
        hex ? 0
            : before.size() - terminal::EraseStart(before, terminal::ApplyBackspaces(plain, set), set);
    const std::string shown = hex ? terminal::HexView(plain) : terminal::TextView(plain);

    frame.ShowReceived(chunk);
    const std::string_view after = screen.text();
    FUZZ_CHECK(after.size() == before.size() - erase + shown.size());
    FUZZ_CHECK(after.compare(0, before.size() - erase, before, 0, before.size() - erase) == 0);
    FUZZ_CHECK(after.compare(before.size() - erase, shown.size(), shown) == 0);
    FUZZ_CHECK(screen.model().selectionStart() == after.size());
    FUZZ_CHECK(screen.model().selectionEnd() == after.size());
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    setenv("QT_NO_GLIB", "1", 1);
    setenv("WIRELOG_REGISTRY", "/nonexistent/wirelog-fuzz/registry.reg", 1);
    g_app = new QApplication(*argc, *argv);
    g_frame = new CMainFrame;
    if (!g_frame->LoadFrame()) std::abort();
    fw::SetMainWindow(g_frame);
    g_frame->resize(400, 300);
    g_frame->show();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    CMainFrame& frame = *g_frame;
    CTermEdit& screen = frame.screen();
    screen.setText({});
    frame.resize(400, 300);
    frame.SetHexView(0);
    screen.m_bEcho = 0;
    screen.setScreenSizeKB(16);
    screen.setCharacterSet(terminal::CharacterSet::Western);

    std::size_t at = 0;
    auto next = [&]() -> unsigned { return at < size ? data[at++] : 0; };
    while (at < size) {
        switch (next() % 10) {
        case 0:
        case 1:
        case 2: { // a chunk of the following bytes
            const std::size_t want = next();
            const std::size_t len = std::min(want, size - at);
            Receive(frame, std::string_view(reinterpret_cast<const char*>(data + at), len));
            at += len;
            break;
        }
        case 3: { // a chunk repeated, to reach the trim
            const std::size_t want = 1 + next() % 32;
            const std::size_t times = 1 + next() % 64 * 8; // up to 16 KB: a few reach the trim
            const std::size_t len = std::min(want, size - at);
            std::string chunk;
            for (std::size_t i = 0; i < times; ++i)
                chunk.append(reinterpret_cast<const char*>(data + at), len);
            at += len;
            Receive(frame, chunk);
            break;
        }
        case 4:
            frame.SetHexView(!frame.GetHexView());
            break;
        case 5: // typed with the port closed: the edit's own handling
            screen.OnChar(next(), 1, 0);
            break;
        case 6: { // the user selects
            const std::size_t a = next() * 64, b = next() * 64;
            screen.setSel(a, b);
            break;
        }
        case 7:
            CheckWidget(screen);
            break;
        case 8: // the window resized, down to one character wide, while text streams in
            frame.resize(40 + static_cast<int>(next() % 64) * 10, 120 + static_cast<int>(next() % 8) * 40);
            break;
        case 9: // the screen's size changed, also down to the smallest with the screen full
            screen.setScreenSizeKB(std::array<std::size_t, 3>{16, 20, 96}[next() % 3]);
            // and the character set: the layout check below knows Western's cells only.
            screen.setCharacterSet(next() % 2 ? terminal::CharacterSet::Utf8
                                              : terminal::CharacterSet::Western);
            break;
        }
        CheckModel(screen.text());
        CheckStamps(screen);
    }
    CheckWidget(screen);
    return 0;
}
