// Wirelog's benchmark: every measurement runs in a process of its own, next to a baseline
// measured in the same run over the same kind of pseudo-terminal, and one table shows both.
//
//   bench_wirelog              runs everything and prints the table
//   bench_wirelog --run NAME   runs one measurement and prints its raw figures
//
// WIRELOG_BENCH_MB (flood size, default 10), WIRELOG_BENCH_TRANSMIT_KB (file sent to the
// slow line, default 48) and WIRELOG_BENCH_KEYS (keystrokes, default 2000) shorten or
// lengthen the run.

#include "bench/scenarios.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using Figures = std::map<std::string, double>;

struct Run {
    const char* name;
    const char* args;
};

// Runs one measurement in a child process and collects its "name value" lines.
bool Measure(const std::string& self, const Run& run, Figures& out) {
    const std::string command = "'" + self + "' --run " + run.args;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return false;
    char line[512];
    while (std::fgets(line, sizeof line, pipe)) {
        char key[256];
        double value = 0;
        if (std::sscanf(line, "%255s %lf", key, &value) == 2) out[key] = value;
    }
    const int status = pclose(pipe);
    if (status != 0) std::fprintf(stderr, "%s: exit status %d\n", run.name, status);
    return status == 0;
}

double Get(const Figures& f, const char* key) {
    const auto it = f.find(key);
    return it == f.end() ? NAN : it->second;
}

struct Row {
    std::string what, unit;
    double value, baseline;
    std::string note;
};

void PrintTable(const std::vector<Row>& rows) {
    std::printf("\n%-44s %12s %12s %9s  %s\n", "measurement", "wirelog", "baseline", "ratio", "");
    std::printf("%s\n", std::string(44 + 1 + 12 + 1 + 12 + 1 + 9, '-').c_str());
    for (const Row& r : rows) {
        char ratio[32] = "-";
        if (std::isfinite(r.value) && std::isfinite(r.baseline) && r.baseline > 0)
            std::snprintf(ratio, sizeof ratio, "%.3g", r.value / r.baseline);
        std::printf("%-44s %12.4g %12.4g %9s  %s\n", (r.what + " (" + r.unit + ")").c_str(),
                    r.value, r.baseline, ratio, r.note.c_str());
    }
}

void ReceiveRows(std::vector<Row>& rows, const char* label, const Figures& frame,
                 const Figures& plain) {
    const double mb = Get(frame, "bytes") / (1 << 20);
    const double plainMb = Get(plain, "bytes") / (1 << 20);
    std::string note;
    if (Get(frame, "lost") != 0)
        note += "LOST " + std::to_string(static_cast<long>(Get(frame, "lost"))) + " bytes ";
    if (Get(frame, "screen_ok") == 0) note += "SCREEN WRONG";
    if (note.empty()) note = "all recorded";
    rows.push_back({std::string("receive ") + label, "MB/s", mb / Get(frame, "seconds"),
                    plainMb / Get(plain, "seconds"), note});
    rows.push_back({std::string("  cpu ") + label, "CPU-s/MB", Get(frame, "cpu_s") / mb,
                    Get(plain, "cpu_s") / plainMb, ""});
    rows.push_back({std::string("  peak memory ") + label, "MB", Get(frame, "peak_kb") / 1024,
                    Get(plain, "peak_kb") / 1024, ""});
}

// The terminal view's flood at one grid size, against the log view's flood of plain text.
void TerminalRows(std::vector<Row>& rows, const char* size, const Figures& t, const Figures& base,
                  bool targets) {
    const double mb = Get(t, "bytes") / (1 << 20);
    std::string note = Get(t, "lost") != 0 ? "LOST BYTES " : "";
    if (Get(t, "screen_ok") == 0) note += "SCREEN WRONG";
    if (note.empty()) note = targets ? "baseline: the log view, plain text; target >= 30" : "all recorded";
    rows.push_back({std::string("receive colour log, terminal ") + size, "MB/s",
                    mb / Get(t, "seconds"), Get(base, "bytes") / (1 << 20) / Get(base, "seconds"),
                    note});
    rows.push_back({std::string("  cpu terminal ") + size, "CPU-s/MB", Get(t, "cpu_s") / mb,
                    Get(base, "cpu_s") / (Get(base, "bytes") / (1 << 20)),
                    targets ? "target <= 0.03" : ""});
    if (!targets) return;
    rows.push_back({std::string("  paints terminal ") + size, "per s", Get(t, "paints_per_s"), NAN,
                    "about 20 while the output scrolls"});
    rows.push_back({std::string("  peak memory terminal ") + size, "MB", Get(t, "peak_kb") / 1024,
                    Get(base, "peak_kb") / 1024,
                    "scrollback " + std::to_string(static_cast<long>(Get(t, "scrollback_lines"))) +
                        " lines; target <= 48 + scrollback"});
    rows.push_back({"  scrollback per line", "bytes", Get(t, "scrollback_bytes_per_line"), NAN,
                    "100-byte coloured log lines"});
}

// The terminal view's rows: keys, then the flood at each grid size.
void TerminalTable(std::vector<Row>& rows, std::map<std::string, Figures>& figures) {
    const Figures& kt = figures["keys-terminal"];
    rows.push_back({"keystroke to wire, terminal, median", "ms", Get(kt, "key_median_us") / 1000,
                    Get(kt, "plain_median_us") / 1000, "target <= 0.05"});
    rows.push_back({"keystroke to wire, terminal, 99th pct", "ms", Get(kt, "key_p99_us") / 1000,
                    Get(kt, "plain_p99_us") / 1000, ""});
    // Against the log view alone with the same flood size (plain text): what the terminal adds.
    const Figures& logView = figures["frame-text-text"];
    TerminalRows(rows, "120x40", figures["terminal-120x40"], logView, true);
    TerminalRows(rows, "80x24", figures["terminal-80x24"], logView, false);
    TerminalRows(rows, "200x60", figures["terminal-200x60"], logView, false);
}

int RunAll(const std::string& self) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    setenv("QT_NO_GLIB", "1", 1);
    const std::vector<Run> runs = {
        {"plain-text", "reader text"},
        {"plain-random", "reader random"},
        {"frame-text-text", "frame text text"},
        {"frame-text-text-1mb", "frame text text 1"},
        {"frame-text-stamps", "frame text stamps"},
        {"frame-text-big", "frame text big"},
        {"frame-text-utf8", "frame text utf8"},
        {"paint", "paint"},
        {"frame-text-hex", "frame text hex"},
        {"frame-random-text", "frame random text"},
        {"frame-random-hex", "frame random hex"},
        {"keys", "keys"},
        {"keys-terminal", "keys terminal"},
        {"terminal-120x40", "terminal 40 120"},
        {"terminal-80x24", "terminal 24 80"},
        {"terminal-200x60", "terminal 60 200"},
        {"slow-plain", "slowplain"},
        {"slow-frame", "slow"},
    };
    std::map<std::string, Figures> figures;
    bool ok = true;
    for (const Run& run : runs) {
        std::fprintf(stderr, "measuring %s...\n", run.name);
        ok = Measure(self, run, figures[run.name]) && ok;
    }

    std::vector<Row> rows;
    ReceiveRows(rows, "text, text view", figures["frame-text-text"], figures["plain-text"]);
    {
        const Figures& one = figures["frame-text-text-1mb"];
        rows.push_back({"  peak memory after 1 MB, text view", "MB", Get(one, "peak_kb") / 1024,
                        Get(figures["plain-text"], "peak_kb") / 1024,
                        "the same as after the full flood: flat"});
        const Figures& paint = figures["paint"];
        rows.push_back({"paint a full 1280x800 screen of text, median", "ms",
                        Get(paint, "paint_median_ms"), NAN,
                        std::to_string(static_cast<int>(Get(paint, "rows"))) + " rows"});
        rows.push_back({"paint a full 1280x800 screen, 99th percentile", "ms",
                        Get(paint, "paint_p99_ms"), NAN, ""});
    }
    {
        // The cost of View > Time Stamps, against the same flood with them off.
        const Figures& on = figures["frame-text-stamps"];
        const Figures& off = figures["frame-text-text"];
        const double mb = Get(on, "bytes") / (1 << 20);
        rows.push_back({"receive text, time stamps shown", "MB/s", mb / Get(on, "seconds"),
                        Get(off, "bytes") / (1 << 20) / Get(off, "seconds"),
                        Get(on, "lost") == 0 && Get(on, "screen_ok") != 0
                            ? "baseline: the same with them off"
                            : "LOST OR SCREEN WRONG"});
        rows.push_back({"  cpu text, time stamps shown", "CPU-s/MB", Get(on, "cpu_s") / mb,
                        Get(off, "cpu_s") / (Get(off, "bytes") / (1 << 20)), ""});
    }
    {
        // A screen of 256 MB against the 16 KB one, and UTF-8 against Western, same flood.
        const Figures& small = figures["frame-text-text"];
        const auto rate = [](const Figures& f) { return Get(f, "bytes") / (1 << 20) / Get(f, "seconds"); };
        const auto note = [](const Figures& f, const char* ok) {
            return Get(f, "lost") == 0 && Get(f, "screen_ok") != 0 ? std::string(ok)
                                                                 : std::string("LOST OR SCREEN WRONG");
        };
        const Figures& big = figures["frame-text-big"];
        rows.push_back({"receive text into a 256 MB screen", "MB/s", rate(big), rate(small),
                        note(big, "baseline: the 16 KB screen (target >= 0.8)")});
        rows.push_back({"  longest gap between paints, 256 MB", "ms", Get(big, "paint_gap_max_ms"),
                        Get(small, "paint_gap_max_ms"), "target <= 50"});
        rows.push_back({"  peak memory, 256 MB screen", "MB", Get(big, "peak_kb") / 1024,
                        Get(small, "peak_kb") / 1024, "target <= 1.25 x screen + 48"});
        const Figures& utf8 = figures["frame-text-utf8"];
        rows.push_back({"receive text, UTF-8", "MB/s", rate(utf8), rate(small),
                        note(utf8, "baseline: Western (target >= 0.8)")});
    }
    ReceiveRows(rows, "text, hex view", figures["frame-text-hex"], figures["plain-text"]);
    ReceiveRows(rows, "random, text view", figures["frame-random-text"], figures["plain-random"]);
    ReceiveRows(rows, "random, hex view", figures["frame-random-hex"], figures["plain-random"]);

    const Figures& k = figures["keys"];
    rows.push_back({"keystroke to wire, median", "ms", Get(k, "key_median_us") / 1000,
                    Get(k, "plain_median_us") / 1000, "baseline: write(2) on the slave"});
    rows.push_back({"keystroke to wire, 99th percentile", "ms", Get(k, "key_p99_us") / 1000,
                    Get(k, "plain_p99_us") / 1000, ""});
    TerminalTable(rows, figures);

    const Figures& s = figures["slow-frame"];
    const Figures& p = figures["slow-plain"];
    const double characterUs = 1e6 / 3840;
    rows.push_back({"transmission to 38,400-baud reader, CPU", "% core", Get(s, "transmit_cpu_pct"),
                    Get(p, "transmit_cpu_pct"), "baseline: blocking write(2)"});
    rows.push_back({"close drain to 38,400-baud reader, CPU", "% core", Get(s, "drain_cpu_pct"),
                    Get(p, "transmit_cpu_pct"),
                    Get(s, "closed") == 1 ? "closed after the drain" : "NOT CLOSED"});
    rows.push_back({"chunk handover gap, median", "us", Get(s, "gap_median_us"),
                    Get(p, "gap_median_us"), "one character = 260 us"});
    rows.push_back(
        {"chunk handover gap, 99th percentile", "us", Get(s, "gap_p99_us"), Get(p, "gap_p99_us"),
         Get(s, "gap_p99_us") < characterUs ? "under one character" : "OVER one character"});
    rows.push_back({"chunk handover gap, max", "us", Get(s, "gap_max_us"), Get(p, "gap_max_us"),
                    "a first wait also paints the progress dialog"});
    rows.push_back({"line idle while sending, longest", "ms", Get(s, "line_max_idle_s") * 1000,
                    Get(p, "line_max_idle_s") * 1000, "as the slow reader saw it"});

    std::printf("Wirelog benchmark: %.0f MB floods; a %.0f KB file, then a 16 KB close drain, to a "
                "3,840 B/s reader\n",
                Get(figures["frame-text-text"], "bytes") / (1 << 20), Get(s, "transmit_kb"));
    PrintTable(rows);
    return ok ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    if (argc >= 3 && std::strcmp(argv[1], "--run") == 0) {
        const std::string what = argv[2];
        const int more = argc - 3;
        if (what == "reader" && more >= 1) return bench::RunPlainReader(argv[3]);
        if (what == "frame" && more >= 2)
            return bench::RunFrameReceive(argv[3], argv[4], more >= 3 ? argv[5] : nullptr);
        if (what == "paint") return bench::RunPaint();
        if (what == "keys") return bench::RunKeystrokes(more >= 1);
        if (what == "terminal" && more >= 2)
            return bench::RunFrameTerminal(std::atoi(argv[3]), std::atoi(argv[4]));
        if (what == "slow") return bench::RunSlowTransmit();
        if (what == "slowplain") return bench::RunPlainSlowWriter();
        std::fprintf(stderr, "unknown measurement %s\n", what.c_str());
        return 2;
    }
    char self[4096] = {};
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) return 2;
    return RunAll(self);
}
