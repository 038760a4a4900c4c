#include "bench/scenarios.h"

#include "bench/peer.h"
#include "comm/serialdevice.h"
#include "res/resource.h"
#include "terminal/render.h"
#include "terminal/screentrim.h"
#include "tests/support/framefixture.h"

#include <QApplication>
#include <QImage>
#include <QEventLoop>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace bench {

constexpr double kSlowLine = 3840; // bytes per second: 38,400 baud, 8N1

std::uint64_t EnvBytes(const char* name, std::uint64_t fallback, std::uint64_t unit) {
    const char* v = std::getenv(name);
    return v && *v ? std::strtoull(v, nullptr, 10) * unit : fallback * unit;
}

std::uint64_t FloodBytes() {
    return EnvBytes("WIRELOG_BENCH_MB", 10, 1u << 20);
}
std::uint64_t TransmitBytes() {
    return EnvBytes("WIRELOG_BENCH_TRANSMIT_KB", 48, 1024);
}
constexpr std::uint64_t kDrainBytes = 16 * 1024;

Stream ParseStream(const char* s) {
    if (std::strcmp(s, "colour") == 0) return Stream::Colour;
    return std::strcmp(s, "random") == 0 ? Stream::Random : Stream::Text;
}

void Report(const char* key, double value) {
    std::printf("%s %.9g\n", key, value);
}

int OpenRawSlave(const std::string& path, bool nonBlocking) {
    const int fd =
        ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC | (nonBlocking ? O_NONBLOCK : 0));
    if (fd < 0) return -1;
    termios t{};
    tcgetattr(fd, &t);
    cfmakeraw(&t);
    tcsetattr(fd, TCSANOW, &t);
    return fd;
}

// Compares a file with the stream; returns the number of bytes that differ or are missing.
std::uint64_t CountLost(const std::string& path, Stream kind, std::uint64_t total) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return total;
    std::vector<char> got(1 << 16), want(1 << 16);
    std::uint64_t at = 0, bad = 0;
    for (;;) {
        const ssize_t r = ::read(fd, got.data(), got.size());
        if (r <= 0) break;
        FillStream(kind, at, want.data(), static_cast<std::size_t>(r));
        for (ssize_t i = 0; i < r; ++i)
            bad += got[i] != want[i];
        at += static_cast<std::uint64_t>(r);
    }
    ::close(fd);
    return bad + (at < total ? total - at : 0) + (at > total ? at - total : 0);
}

bool ReadByte(int fd, int timeoutMs) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, timeoutMs) <= 0) return false;
    char c;
    return ::read(fd, &c, 1) == 1;
}

void ReportPercentiles(const char* prefix, std::vector<double> v) {
    if (v.empty()) return;
    std::sort(v.begin(), v.end());
    const auto at = [&](double q) {
        return v[std::min(v.size() - 1, static_cast<std::size_t>(q * v.size()))];
    };
    Report((std::string(prefix) + "_median_us").c_str(), at(0.5) * 1e6);
    Report((std::string(prefix) + "_p99_us").c_str(), at(0.99) * 1e6);
    Report((std::string(prefix) + "_max_us").c_str(), v.back() * 1e6);
}

void Settle(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

namespace {

// The device behind the control, timing every write, so that the time between one chunk
// leaving the control and the next one being handed over can be told.
struct WriteLog {
    struct Entry {
        double start, end;
        std::size_t asked;
        ssize_t written;
    };
    std::vector<Entry> entries;
};

class TimedDevice final : public comm::SerialDevice {
public:
    TimedDevice(std::unique_ptr<comm::SerialDevice> inner, WriteLog& log)
        : m_inner(std::move(inner))
        , m_log(log) {}
    int fd() const override { return m_inner->fd(); }
    comm::Status configure(const comm::LineSettings& s, std::int32_t h) override {
        return m_inner->configure(s, h);
    }
    comm::Status setDTR(bool on) override { return m_inner->setDTR(on); }
    comm::Status setRTS(bool on) override { return m_inner->setRTS(on); }
    comm::Status setBreak(bool on) override { return m_inner->setBreak(on); }
    std::optional<comm::ModemLines> modemLines() override { return m_inner->modemLines(); }
    std::optional<comm::LineCounters> counters() override { return m_inner->counters(); }
    ssize_t read(void* buf, std::size_t n) override { return m_inner->read(buf, n); }
    ssize_t write(const void* buf, std::size_t n) override {
        const double start = Seconds();
        const ssize_t w = m_inner->write(buf, n);
        const int err = errno;
        m_log.entries.push_back({start, Seconds(), n, w});
        errno = err;
        return w;
    }
    int outputQueue() override { return m_inner->outputQueue(); }
    void discardOutput() override { m_inner->discardOutput(); }
    bool marksErrors() const override { return m_inner->marksErrors(); }

private:
    std::unique_ptr<comm::SerialDevice> m_inner;
    WriteLog& m_log;
};

// Handover gaps: from a write that emptied the control's buffer to the next write.
std::vector<double> HandoverGaps(const WriteLog& log, double until) {
    std::vector<double> gaps;
    for (std::size_t i = 0; i + 1 < log.entries.size(); ++i) {
        const auto& e = log.entries[i];
        if (log.entries[i + 1].start > until || e.written != static_cast<ssize_t>(e.asked))
            continue;
        gaps.push_back(log.entries[i + 1].start - e.end);
    }
    return gaps;
}

void ReportSlowLine(Peer& peer, int timeoutMs) {
    SlowReport r;
    if (peer.readReport(r, timeoutMs)) {
        Report("line_bytes", static_cast<double>(r.bytes));
        Report("line_idle_s", r.idleSeconds);
        Report("line_max_idle_s", r.maxIdleSeconds);
    }
    peer.finish(1000);
}

} // namespace

int RunPlainReader(const char* stream) {
    const Stream kind = ParseStream(stream);
    const std::uint64_t total = FloodBytes();
    PtyPair pty;
    const int slave = OpenRawSlave(pty.slavePath(), false);
    if (!pty.isOpen() || slave < 0) return 2;
    Peer peer = ForkFlooder(pty.master(), kind, total);
    const double c0 = CpuSeconds(), t0 = Seconds();
    peer.start();
    std::vector<char> buf(1 << 16);
    std::uint64_t got = 0, lost = 0;
    std::vector<char> want(buf.size());
    while (got < total) {
        const ssize_t r = ::read(slave, buf.data(), buf.size());
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) break;
        got += static_cast<std::uint64_t>(r);
    }
    const double t1 = Seconds(), c1 = CpuSeconds();
    lost = total - std::min(got, total);
    Report("seconds", t1 - t0);
    Report("cpu_s", c1 - c0);
    Report("bytes", static_cast<double>(got));
    Report("lost", static_cast<double>(lost));
    Report("peak_kb", static_cast<double>(PeakKb()));
    peer.finish(0);
    ::close(slave);
    return 0;
}

// The longest time between two paints of a widget while it counts.
class PaintGaps : public QObject {
public:
    void start() {
        m_on = true;
        m_last = Seconds();
    }
    void stop() {
        m_on = false;
        m_longest = std::max(m_longest, Seconds() - m_last);
    }
    double longestMs() const { return m_longest * 1000; }
    bool eventFilter(QObject*, QEvent* e) override {
        if (m_on && e->type() == QEvent::Paint) {
            const double now = Seconds();
            m_longest = std::max(m_longest, now - m_last);
            m_last = now;
        }
        return false;
    }

private:
    bool m_on = false;
    double m_last = 0;
    double m_longest = 0;
};

int RunFrameReceive(const char* stream, const char* view, const char* megabytes) {
    const Stream kind = ParseStream(stream);
    const bool hex = std::strcmp(view, "hex") == 0;
    const std::uint64_t total =
        megabytes ? std::strtoull(megabytes, nullptr, 10) << 20 : FloodBytes();
    PtyPair pty;
    if (!pty.isOpen()) return 2;
    Peer peer = ForkFlooder(pty.master(), kind, total);

    App app;
    FrameFixture f;
    if (!f.created()) return 2;
    f.ports().link(7, pty.slavePath());
    f->comm().SetCommPort(7);
    const std::string dump = f.tempPath("dump.bin");
    f.files.choose(dump);
    f->SendCommand(ID_FILE_OPEN_DUMP, CMainFrame::Source::Menu);
    f->SetHexView(hex);
    // "stamps": the text view with View > Time Stamps on; "big": a screen of 256 MB; "utf8":
    // the text view reading UTF-8.
    if (std::strcmp(view, "stamps") == 0)
        f->SendCommand(ID_VIEW_TIMESTAMPS, CMainFrame::Source::Menu);
    if (std::strcmp(view, "big") == 0) f->screen().setScreenSizeKB(terminal::kLargestScreenKB);
    if (std::strcmp(view, "utf8") == 0)
        f->SendCommand(ID_SETTINGS_CHARSET_UTF8, CMainFrame::Source::Menu);
    PaintGaps paints;
    f->screen().viewport()->installEventFilter(&paints);
    f->SendCommand(ID_COMM_PORT_OPEN, CMainFrame::Source::Menu);
    if (!f->comm().GetPortOpen() || f->session().dumpPath().empty()) return 2;
    Settle(100);

    QEventLoop loop;
    QTimer check;
    check.setInterval(2);
    const double deadline = Seconds() + 120;
    QObject::connect(&check, &QTimer::timeout, [&] {
        if (static_cast<std::uint64_t>(f->session().dumpFile().length()) >= total || Seconds() > deadline)
            loop.quit();
    });
    const double c0 = CpuSeconds(), t0 = Seconds();
    peer.start();
    check.start();
    paints.start();
    loop.exec();
    paints.stop();
    f->screen().flush(); // shown: the widget has caught up with the last chunk
    const double t1 = Seconds(), c1 = CpuSeconds();
    const long peak = PeakKb();
    peer.finish(0);

    // The screen must end with the stream's last bytes as the view renders them (text only:
    // random bytes carry backspaces, whose effect depends on how the chunks fell).
    bool screenOk = true;
    if (kind == Stream::Text) {
        std::string tail(1000, '\0');
        FillStream(kind, total - tail.size(), tail.data(), tail.size());
        const std::string want = hex ? terminal::HexView(tail) : terminal::TextView(tail);
        const std::string_view shown = f->screen().text();
        screenOk = shown.size() >= want.size() &&
                   shown.compare(shown.size() - want.size(), want.size(), want) == 0;
    }
    Report("seconds", t1 - t0);
    Report("cpu_s", c1 - c0);
    Report("bytes", static_cast<double>(total));
    Report("lost", static_cast<double>(CountLost(dump, kind, total)));
    Report("screen_ok", screenOk ? 1 : 0);
    Report("peak_kb", static_cast<double>(peak));
    Report("paint_gap_max_ms", paints.longestMs());
    return 0;
}

int RunPaint() {
    App app;
    CTermEdit screen;
    screen.resize(1280, 800);
    screen.show();
    // A full screen of text lines, every row of the window covered.
    std::string text;
    for (int i = 0; text.size() < 16000; ++i) {
        char line[128];
        std::snprintf(line, sizeof line, "%06d: the quick brown fox jumps over the lazy dog; "
                                         "0123456789 ABCDEFGHIJKLMNOPQRSTUVWXYZ\r\n", i);
        text += line;
    }
    screen.setText(text);
    screen.flush();
    QImage image(screen.viewport()->size(), QImage::Format_RGB32);
    std::vector<double> times;
    for (int i = 0; i < 300; ++i) {
        const double t0 = Seconds();
        screen.viewport()->render(&image);
        times.push_back(Seconds() - t0);
    }
    std::sort(times.begin(), times.end());
    Report("paint_median_ms", times[times.size() / 2] * 1000);
    Report("paint_p99_ms", times[times.size() * 99 / 100] * 1000);
    Report("rows", static_cast<double>(screen.visibleRows().size()));
    return 0;
}

int RunKeystrokes(bool terminal) {
    const int n = static_cast<int>(EnvBytes("WIRELOG_BENCH_KEYS", 2000, 1));
    PtyPair pty;
    if (!pty.isOpen()) return 2;
    {
        const int slave = OpenRawSlave(pty.slavePath(), false);
        if (slave < 0) return 2;
        std::vector<double> plain;
        for (int i = 0; i < n; ++i) {
            const double t0 = Seconds();
            if (::write(slave, "a", 1) != 1 || !ReadByte(pty.master(), 1000)) return 3;
            plain.push_back(Seconds() - t0);
        }
        ::close(slave);
        ReportPercentiles("plain", plain);
    }

    App app;
    FrameFixture f;
    if (!f.created()) return 2;
    f.ports().link(7, pty.slavePath());
    f->comm().SetCommPort(7);
    f->SendCommand(ID_COMM_PORT_OPEN, CMainFrame::Source::Menu);
    if (!f->comm().GetPortOpen()) return 2;
    if (terminal) f->SendCommand(ID_VIEW_TERMINAL, CMainFrame::Source::Menu);
    QWidget* const view = terminal ? static_cast<QWidget*>(&f->terminalView()) : &f->screen();
    Settle(100);
    std::vector<double> keys;
    for (int i = 0; i < n; ++i) {
        const double t0 = Seconds();
        QTest::keyClick(view, 'a');
        if (!ReadByte(pty.master(), 1000)) return 3;
        keys.push_back(Seconds() - t0);
        QCoreApplication::processEvents(); // what the event loop does between keys
    }
    ReportPercentiles("key", keys);
    return 0;
}

int RunSlowTransmit() {
    const std::uint64_t size = TransmitBytes();
    const double lineSeconds = static_cast<double>(size + kDrainBytes) / kSlowLine;
    PtyPair pty;
    if (!pty.isOpen()) return 2;
    Peer peer = ForkSlowReader(pty.master(), size + kDrainBytes, kSlowLine,
                               static_cast<int>(lineSeconds * 1000) + 30000);

    App app;
    FrameFixture f;
    if (!f.created()) return 2;
    WriteLog log;
    f->comm().control()->setDeviceOpener(
        [&log](const comm::PortPath& port, const comm::LineSettings& s, std::int32_t h, bool dtr,
               bool rts, comm::Status& status) -> std::unique_ptr<comm::SerialDevice> {
            auto device = comm::OpenTermiosDevice(port, s, h, dtr, rts, status);
            if (!device) return nullptr;
            return std::make_unique<TimedDevice>(std::move(device), log);
        });
    f.ports().link(7, pty.slavePath());
    f->comm().SetCommPort(7);
    f->comm().SetSettings("38400,n,8,1");
    f->SendCommand(ID_COMM_PORT_OPEN, CMainFrame::Source::Menu);
    if (!f->comm().GetPortOpen()) return 2;

    const std::string path = f.tempPath("send.txt");
    {
        std::string text(size, '\0');
        FillStream(Stream::Text, 0, text.data(), text.size());
        FILE* file = std::fopen(path.c_str(), "wb");
        if (!file || std::fwrite(text.data(), 1, text.size(), file) != text.size()) return 2;
        std::fclose(file);
    }
    f.files.choose(path);
    f.boxes.answer(fw::Answer::Ok); // "Transmit Buffer Full" for the drain's big piece
    for (int i = 0; i < 10; ++i)
        f.boxes.answer(fw::Answer::Retry);
    Settle(100);

    peer.start();
    const double c0 = CpuSeconds(), t0 = Seconds();
    f->SendCommand(ID_FILE_TRANSMIT_TEXT, CMainFrame::Source::Menu);
    const double t1 = Seconds(), c1 = CpuSeconds();

    std::string rest(kDrainBytes, '\0');
    FillStream(Stream::Text, size, rest.data(), rest.size());
    f->comm().SetOutput(rest);
    const double c2 = CpuSeconds(), t2 = Seconds();
    f->OnClose();
    const double t3 = Seconds(), c3 = CpuSeconds();

    Report("transmit_kb", static_cast<double>(size) / 1024);
    Report("transmit_s", t1 - t0);
    Report("transmit_cpu_pct", 100 * (c1 - c0) / std::max(t1 - t0, 1e-9));
    Report("drain_s", t3 - t2);
    Report("drain_cpu_pct", 100 * (c3 - c2) / std::max(t3 - t2, 1e-9));
    Report("closed", f->IsClosed() ? 1 : 0);
    ReportPercentiles("gap", HandoverGaps(log, t1));
    ReportSlowLine(peer, 30000);
    return 0;
}

int RunPlainSlowWriter() {
    const std::uint64_t size = TransmitBytes();
    PtyPair pty;
    const int slave = OpenRawSlave(pty.slavePath(), false);
    if (!pty.isOpen() || slave < 0) return 2;
    Peer peer = ForkSlowReader(pty.master(), size, kSlowLine,
                               static_cast<int>(size / kSlowLine * 1000) + 30000);
    std::string text(size, '\0');
    FillStream(Stream::Text, 0, text.data(), text.size());
    WriteLog log;
    peer.start();
    const double c0 = CpuSeconds(), t0 = Seconds();
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t n = std::min<std::size_t>(512, text.size() - at);
        const double start = Seconds();
        const ssize_t w = ::write(slave, text.data() + at, n);
        log.entries.push_back({start, Seconds(), n, w});
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return 3;
        at += static_cast<std::size_t>(w);
    }
    const double t1 = Seconds(), c1 = CpuSeconds();
    Report("transmit_s", t1 - t0);
    Report("transmit_cpu_pct", 100 * (c1 - c0) / std::max(t1 - t0, 1e-9));
    ReportPercentiles("gap", HandoverGaps(log, t1));
    ReportSlowLine(peer, 30000);
    ::close(slave);
    return 0;
}

} // namespace bench
