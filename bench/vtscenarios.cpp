// The terminal view under a flood: coloured log lines through the port, the session, the
// dump and the log view (fed in the background) into the terminal view at a given grid size.

#include "bench/peer.h"
#include "bench/scenarios.h"
#include "res/resource.h"
#include "tests/support/framefixture.h"

#include <QEventLoop>
#include <QFontMetrics>
#include <QTimer>

#include <string>

namespace bench {
namespace {

// Sizes the frame so that the terminal's grid is rows x cols; false when it cannot get there.
bool FitGrid(CMainFrame& f, int rows, int cols) {
    const terminal::VtView& view = f.terminalView();
    for (int i = 0; i < 6; ++i) {
        const terminal::VtGrid& g = view.screen().grid();
        if (g.rows() == rows && g.cols() == cols) return true;
        const QFontMetrics fm(view.font());
        f.resize(f.width() + (cols - g.cols()) * fm.horizontalAdvance(QLatin1Char('M')),
                 f.height() + (rows - g.rows()) * fm.height());
        Settle(50);
    }
    return false;
}

// Counts the paints of a widget.
class PaintCount : public QObject {
public:
    int count = 0;
    bool eventFilter(QObject*, QEvent* e) override {
        count += e->type() == QEvent::Paint;
        return false;
    }
};

// The colour line's text as the terminal shows it: escape sequences gone, cut to `cols`.
std::string ShownText(std::uint64_t number, int cols) {
    char line[kColourLine];
    ColourLine(number, line);
    std::string text;
    for (std::size_t i = 0; i < kColourLine - 2; ++i) {
        if (line[i] == '\x1b') {
            while (i < kColourLine && !(line[i] >= '@' && line[i] <= '~' && line[i] != '['))
                ++i;
            continue;
        }
        text += line[i];
    }
    return text.substr(0, static_cast<std::size_t>(cols));
}

// Runs the event loop until the dump holds `total` bytes (two minutes at most).
void WaitForDump(CMainFrame& f, std::uint64_t total) {
    QEventLoop loop;
    QTimer check;
    check.setInterval(2);
    const double deadline = Seconds() + 120;
    QObject::connect(&check, &QTimer::timeout, [&] {
        if (static_cast<std::uint64_t>(f.session().dumpFile().length()) >= total ||
            Seconds() > deadline)
            loop.quit();
    });
    check.start();
    loop.exec();
}

} // namespace

int RunFrameTerminal(int rows, int cols) {
    const std::uint64_t total = FloodBytes() / kColourLine * kColourLine;
    PtyPair pty;
    if (!pty.isOpen()) return 2;
    Peer peer = ForkFlooder(pty.master(), Stream::Colour, total);

    App app;
    FrameFixture f;
    if (!f.created()) return 2;
    f->show();
    f.ports().link(7, pty.slavePath());
    f->comm().SetCommPort(7);
    const std::string dump = f.tempPath("dump.bin");
    f.files.choose(dump);
    f->SendCommand(ID_FILE_OPEN_DUMP, CMainFrame::Source::Menu);
    f->SendCommand(ID_VIEW_TERMINAL, CMainFrame::Source::Menu);
    if (!f->GetTerminal() || !FitGrid(f.frame(), rows, cols)) return 2;
    PaintCount paints;
    f->terminalView().viewport()->installEventFilter(&paints);
    f->SendCommand(ID_COMM_PORT_OPEN, CMainFrame::Source::Menu);
    if (!f->comm().GetPortOpen() || f->session().dumpPath().empty()) return 2;
    Settle(100);

    const double c0 = CpuSeconds(), t0 = Seconds();
    peer.start();
    WaitForDump(f.frame(), total);
    f->terminalView().flush();
    const double t1 = Seconds(), c1 = CpuSeconds();
    const long peak = PeakKb();
    peer.finish(0);

    // The last line arrived is the row above the cursor, shown without its escapes.
    const terminal::VtScreen& screen = f->terminalView().screen();
    const int last = screen.cursorRow() - 1;
    const bool screenOk = last >= 0 && screen.lineText(screen.scrollback().size() + last) ==
                                           ShownText(total / kColourLine - 1, cols);
    const auto& sb = screen.scrollback();
    Report("seconds", t1 - t0);
    Report("cpu_s", c1 - c0);
    Report("bytes", static_cast<double>(total));
    Report("lost", static_cast<double>(CountLost(dump, Stream::Colour, total)));
    Report("screen_ok", screenOk ? 1 : 0);
    Report("peak_kb", static_cast<double>(peak));
    Report("paints_per_s", paints.count / (t1 - t0));
    Report("scrollback_lines", static_cast<double>(sb.size()));
    Report("scrollback_bytes_per_line", sb.size() ? double(sb.bytes()) / double(sb.size()) : 0);
    return 0;
}

} // namespace bench
