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
#include <string>

namespace {

constexpr std::size_t kTrimAbove = 16383;
constexpr std::size_t kTrimCount = 4097;

QApplication* g_app = nullptr;
CMainFrame* g_frame = nullptr;

QString Hex(const QString& s) {
    QString out;
    for (QChar c : s)
        out += QString::number(c.unicode(), 16) + u' ';
    return out;
}

// The widget's document, byte for byte as the model renders it.
void CheckWidget(CTermEdit& screen) {
    screen.flush();
    QString shown = screen.document()->toRawText();
    shown.replace(QChar::ParagraphSeparator, u'\n');
    if (shown != CTermEdit::Render(screen.text())) {
        std::fprintf(stderr, "widget: %s\nmodel:  %s\n", qPrintable(Hex(shown)),
                     qPrintable(Hex(CTermEdit::Render(screen.text()))));
        FUZZ_CHECK(!"the widget shows the model");
    }
}

void CheckModel(const std::string& text) {
    // Backspaces are applied and NULs never shown, whatever the view. (A lone LF is possible:
    // the user may put the caret inside a line break and type there.)
    for (char c : text)
        FUZZ_CHECK(c != '\b' && c != '\0');
}

// One line per LF of the text, each starting right after its LF, whatever edits came before.
void CheckStamps(const CTermEdit& screen) {
    const LineStamps& stamps = screen.stamps();
    const std::string& text = screen.text();
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
    CTermEdit& screen = frame.m_wndEdit;
    std::string before = screen.text();
    while (before.size() > kTrimAbove)
        before.erase(0, kTrimCount);

    // Text view applies the backspaces; the hexadecimal view shows every byte and erases nothing.
    std::string plain(chunk);
    const bool hex = frame.GetHexView();
    const std::size_t erase = hex ? 0 : std::min(render::ApplyBackspaces(plain), before.size());
    const std::string shown = hex ? render::HexView(plain) : render::TextView(plain);

    frame.ShowReceived(chunk);
    const std::string& after = screen.text();
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
    CTermEdit& screen = frame.m_wndEdit;
    screen.setText({});
    frame.SetHexView(0);
    screen.m_bEcho = 0;

    std::size_t at = 0;
    auto next = [&]() -> unsigned { return at < size ? data[at++] : 0; };
    while (at < size) {
        switch (next() % 8) {
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
        }
        CheckModel(screen.text());
        CheckStamps(screen);
    }
    CheckWidget(screen);
    return 0;
}
