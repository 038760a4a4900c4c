// The terminal view's throughput: 10 MB of coloured log lines (WIRELOG_BENCH_MB) fed through
// the emulator into the view, shown offscreen and painting at its frame rate, at 120x40, 80x24
// and 200x60; then the scrollback's cost per line when 100,000 lines of 120 columns are kept.
// Each grid size runs in a process of its own so that peak memory is its own.
//
//   bench_vterm              all sizes and the scrollback figure
//   bench_vterm ROWS COLS    one size

#include "terminal/vtview.h"

#include <QApplication>
#include <QFontMetrics>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <sys/resource.h>

namespace {

double Now(clockid_t clock) {
    timespec ts{};
    clock_gettime(clock, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

double PeakMb() {
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    return double(ru.ru_maxrss) / 1024.0;
}

// A log line as embedded systems print them: a stamp, a coloured level, a module and text.
std::string LogLines(std::size_t bytes) {
    static const char* const kLevels[] = {"\x1b[32mINFO \x1b[0m", "\x1b[1;33mWARN \x1b[0m",
                                          "\x1b[1;31mERROR\x1b[0m", "\x1b[38;5;244mDEBUG\x1b[0m"};
    std::string out;
    out.reserve(bytes + 200);
    for (unsigned n = 0; out.size() < bytes; ++n) {
        char line[200];
        std::snprintf(line, sizeof line,
                      "%02u:%02u:%02u.%03u %s \x1b[36mnet/eth%u\x1b[0m: rx %u packets, %u bytes, "
                      "queue %u of 256, link up 1000 Mb/s full duplex\r\n",
                      n / 3600000 % 24, n / 60000 % 60, n / 1000 % 60, n % 1000, kLevels[n % 4],
                      n % 4, n * 7 % 100000, n * 1500 % 10000000, n % 256);
        out += line;
    }
    return out;
}

// Sizes the widget so that its grid is rows x cols.
void FitGrid(terminal::VtView& view, int rows, int cols) {
    for (int i = 0; i < 4; ++i) {
        const terminal::VtGrid& g = view.screen().grid();
        if (g.rows() == rows && g.cols() == cols) return;
        const QFontMetrics fm(view.font());
        view.resize(view.width() + (cols - g.cols()) * fm.horizontalAdvance(QLatin1Char('M')),
                    view.height() + (rows - g.rows()) * fm.height());
        QApplication::processEvents();
    }
}

int RunSize(int rows, int cols, double mb) {
    terminal::VtView view;
    view.resize(800, 600);
    view.show();
    FitGrid(view, rows, cols);
    const std::string data = LogLines(static_cast<std::size_t>(mb * 1e6));
    const double wall0 = Now(CLOCK_MONOTONIC), cpu0 = Now(CLOCK_PROCESS_CPUTIME_ID);
    constexpr std::size_t kChunk = 4096; // what a serial read hands over at a time
    for (std::size_t at = 0; at < data.size(); at += kChunk) {
        view.feed(std::string_view(data).substr(at, kChunk));
        QApplication::processEvents();
    }
    view.flush();
    QApplication::processEvents();
    const double wall = Now(CLOCK_MONOTONIC) - wall0, cpu = Now(CLOCK_PROCESS_CPUTIME_ID) - cpu0;
    const double fed = double(data.size()) / 1e6;
    std::printf("%dx%d grid (%dx%d shown): %.1f MB/s, %.4f CPU-s/MB, peak %.1f MB, scrollback %zu lines\n",
                cols, rows, view.screen().grid().cols(), view.screen().grid().rows(), fed / wall,
                cpu / fed, PeakMb(), view.screen().scrollback().size());
    return 0;
}

int RunScrollback() {
    const double before = PeakMb();
    terminal::VtScreen screen(40, 120, 100000);
    terminal::VtEngine engine(screen);
    const std::string data = LogLines(16 * 1000 * 1000);
    engine.feed(data);
    const auto& sb = screen.scrollback();
    std::printf("scrollback: %zu lines of 120 columns, %.0f bytes/line counted, %.1f MB counted, "
                "peak memory grew %.1f MB (with the 16 MB of input)\n",
                sb.size(), double(sb.bytes()) / double(sb.size()), double(sb.bytes()) / 1e6,
                PeakMb() - before);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("QT_NO_GLIB", "1", 1);
    const char* mbText = std::getenv("WIRELOG_BENCH_MB");
    const double mb = mbText ? std::atof(mbText) : 10.0;
    if (argc == 3) {
        QApplication app(argc, argv);
        return RunSize(std::atoi(argv[1]), std::atoi(argv[2]), mb);
    }
    if (argc == 2 && std::string(argv[1]) == "--scrollback") return RunScrollback();
    std::printf("terminal view, %.0f MB of coloured log lines (target at 120x40: >= 30 MB/s, <= 0.03 CPU-s/MB)\n", mb);
    const std::string self = argv[0];
    int status = 0;
    for (const char* size : {"40 120", "24 80", "60 200"}) {
        std::fflush(stdout);
        status |= std::system(("'" + self + "' " + size).c_str());
    }
    std::fflush(stdout);
    status |= std::system(("'" + self + "' --scrollback").c_str());
    return status == 0 ? 0 : 1;
}
