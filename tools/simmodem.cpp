// simmodem: a Hayes-style modem on a pseudo-terminal, linked into Wirelog's port map as a COM
// port, so that dialling, hanging up and data can be tried without hardware.
//
//   simmodem [--ports DIR] [--com N] [--delay MS] [--guard MS] [--quiet]
//
// Command mode echoes what it receives and answers each line that ends in CR:
//   AT                          OK
//   ATD[T|P]number, ATDnumber   CONNECT 9600 after the dial delay, then data mode;
//                               NO CARRIER when the number holds no digit
//   ATH, ATH0                   OK (the line is dropped)
//   ATO                         CONNECT 9600 back into data mode while a line is up, else
//                               NO CARRIER
//   ATA                         NO CARRIER (nobody calls)
//   ATZ, AT&F                   OK, echo on again
//   ATE0, ATE1                  echo off or on, OK
//   ATI                         the modem's name, OK
//   ATSn=v, ATSn?               S registers
//   ATQ, ATV, ATX, ATL, ATM, AT&C, AT&D, AT&K with their digits: OK
//   anything else               ERROR
// Characters before "AT" on a line are ignored, so "+++ATDT123" in command mode dials. A
// character arriving during the dial delay aborts the call (NO CARRIER), except the LF that
// follows the CR. Results are framed as CR LF text CR LF.
//
// Data mode echoes every byte back, as a remote party that echoes would. Three '+' escape to
// command mode with the line kept up: at once when more characters follow (so "+++ATDT..."
// sent in one go redials), answered "OK" when nothing follows within the guard time. Fewer
// than three pluses are echoed as data when something else follows or the guard time ends.
//
// When no program has the port open (the terminal closed it, which drops DTR), the line is
// dropped and the modem is back in command mode with echo on.
//
// SIGINT and SIGTERM end it; it removes its link on the way out.

#include "comm/portmap.h"

#include <cctype>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <poll.h>
#include <string>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;
using Ms = std::chrono::milliseconds;

volatile std::sig_atomic_t g_stop = 0;

void OnSignal(int) {
    g_stop = 1;
}

struct Options {
    std::string ports;
    int com = 1;
    int delayMs = 400;
    int guardMs = 1000;
    bool quiet = false;
};

[[noreturn]] void Usage(const char* why) {
    std::fprintf(stderr,
                 "simmodem: %s\n"
                 "usage: simmodem [--ports DIR] [--com N] [--delay MS] [--guard MS] [--quiet]\n",
                 why);
    std::exit(2);
}

int ParseInt(const char* text, int low, int high, const char* what) {
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(text, &end, 10);
    if (errno || end == text || *end || v < low || v > high) Usage(what);
    return static_cast<int>(v);
}

// The port map folder Wirelog itself reads, by the same rule.
std::string DefaultPorts() {
    std::string ports = comm::PortMapFolder();
    if (ports.empty()) Usage("no port folder: set WIRELOG_PORTS or HOME, or give --ports");
    return ports;
}

Options ParseOptions(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const auto value = [&]() -> const char* {
            if (i + 1 >= argc) Usage(("missing value after " + a).c_str());
            return argv[++i];
        };
        if (a == "--ports")
            o.ports = value();
        else if (a == "--com")
            o.com = ParseInt(value(), 1, 99, "--com takes 1 to 99");
        else if (a == "--delay")
            o.delayMs = ParseInt(value(), 0, 60000, "--delay takes 0 to 60000 ms");
        else if (a == "--guard")
            o.guardMs = ParseInt(value(), 0, 60000, "--guard takes 0 to 60000 ms");
        else if (a == "--quiet" || a == "-q")
            o.quiet = true;
        else if (a == "--help" || a == "-h")
            Usage("a simulated Hayes modem on a pseudo-terminal");
        else
            Usage(("unknown option " + a).c_str());
    }
    if (o.ports.empty()) o.ports = DefaultPorts();
    return o;
}

bool MakeFolders(const std::string& path) {
    for (std::size_t i = 1; i <= path.size(); ++i) {
        if (i < path.size() && path[i] != '/') continue;
        const std::string part = path.substr(0, i);
        if (::mkdir(part.c_str(), 0777) != 0 && errno != EEXIST) return false;
    }
    return true;
}

class Modem {
public:
    Modem(int master, const Options& o)
        : m_fd(master)
        , m_opt(o) {}

    void run();

private:
    enum class Mode { Command, Dialling, Data };

    void log(const char* fmt, const std::string& arg = {}) const {
        if (m_opt.quiet) return;
        std::fprintf(stderr, "simmodem: ");
        std::fprintf(stderr, fmt, arg.c_str());
        std::fputc('\n', stderr);
    }

    void send(const std::string& bytes) {
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(m_fd, bytes.data() + done, bytes.size() - done);
            if (n > 0) {
                done += static_cast<std::size_t>(n);
                continue;
            }
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && errno == EAGAIN) {
                pollfd p{m_fd, POLLOUT, 0};
                if (::poll(&p, 1, 1000) > 0 && !(p.revents & POLLHUP)) continue;
            }
            return; // nobody reads: what the line cannot take is lost, as on a real one
        }
    }

    void result(const std::string& text) {
        log("-> %s", text);
        send("\r\n" + text + "\r\n");
    }

    void dropLine(const char* why) {
        if (m_online) log("line dropped (%s)", why);
        m_online = false;
        m_mode = Mode::Command;
        m_plus = 0;
        m_plusSince.reset();
        m_okDue.reset();
        m_dialDue.reset();
        m_line.clear();
    }

    void commandByte(char c);
    void execute(const std::string& line);
    bool executeOne(const std::string& cmd, std::size_t& i);
    void dataByte(char c);
    void timers();
    std::optional<int> msUntilNextTimer() const;

    int m_fd;
    Options m_opt;
    Mode m_mode = Mode::Command;
    bool m_echo = true;
    bool m_online = false; // a call is up, in data mode or escaped from it
    std::string m_line;
    std::string m_number;
    int m_plus = 0;
    std::optional<Clock::time_point> m_plusSince; // start of a run of pluses in data mode
    std::optional<Clock::time_point> m_okDue;     // "OK" after an escape with nothing behind
    std::optional<Clock::time_point> m_dialDue;   // the far end answers
    unsigned char m_s[100] = {};
};

void Modem::commandByte(char c) {
    m_okDue.reset();
    if (c == '\n') return; // the LF after a CR ends nothing
    if (m_echo) send(std::string(1, c));
    if (c == '\r') {
        const std::string line = m_line;
        m_line.clear();
        execute(line);
        return;
    }
    if (c == '\b' || c == 0x7f) {
        if (!m_line.empty()) m_line.pop_back();
        return;
    }
    if (m_line.size() < 256) m_line.push_back(c);
}

void Modem::execute(const std::string& line) {
    std::size_t at = std::string::npos;
    for (std::size_t i = 0; i + 1 < line.size(); ++i) {
        if ((line[i] == 'A' || line[i] == 'a') && (line[i + 1] == 'T' || line[i + 1] == 't')) {
            at = i;
            break;
        }
    }
    if (at == std::string::npos) {
        // A blank line is no command; anything else without AT is not one a modem knows.
        if (line.find_first_not_of(" \t") != std::string::npos) result("ERROR");
        return;
    }
    log("<- %s", line.substr(at));
    const std::string cmd = line.substr(at + 2);
    std::size_t i = 0;
    while (i < cmd.size()) {
        if (cmd[i] == ' ') {
            ++i;
            continue;
        }
        if (!executeOne(cmd, i)) return; // answered already (ERROR, or a call in progress)
    }
    result("OK");
}

// Runs the command at cmd[i] and moves i past it. Returns false when the line's answer has
// been given (or will be, for a dial) and nothing after it runs.
bool Modem::executeOne(const std::string& cmd, std::size_t& i) {
    const auto digits = [&] {
        int v = -1;
        while (i < cmd.size() && cmd[i] >= '0' && cmd[i] <= '9') {
            v = (v < 0 ? 0 : v * 10) + (cmd[i] - '0');
            if (v > 255) v = 256;
            ++i;
        }
        return v;
    };
    const char c = static_cast<char>(std::toupper(static_cast<unsigned char>(cmd[i++])));
    switch (c) {
    case 'D': {
        if (i < cmd.size() && (std::toupper(cmd[i]) == 'T' || std::toupper(cmd[i]) == 'P')) ++i;
        m_number = cmd.substr(i);
        i = cmd.size();
        m_online = false;
        log("dialling \"%s\"", m_number);
        m_mode = Mode::Dialling;
        m_dialDue = Clock::now() + Ms(m_opt.delayMs);
        return false;
    }
    case 'H': {
        const int v = digits();
        if (v > 0) {
            result("ERROR");
            return false;
        }
        if (m_online) log("hung up");
        m_online = false;
        return true;
    }
    case 'O':
        digits();
        if (!m_online) {
            result("NO CARRIER");
            return false;
        }
        result("CONNECT 9600");
        m_mode = Mode::Data;
        return false;
    case 'A':
        result("NO CARRIER");
        return false;
    case 'Z':
        digits();
        m_echo = true;
        m_online = false;
        return true;
    case 'E': {
        const int v = digits();
        if (v > 1) {
            result("ERROR");
            return false;
        }
        m_echo = v != 0;
        return true;
    }
    case 'I':
        digits();
        send("\r\nWirelog simulated modem\r\n");
        return true;
    case 'S': {
        const int reg = digits();
        if (reg < 0 || reg > 99 || i >= cmd.size()) {
            result("ERROR");
            return false;
        }
        if (cmd[i] == '?') {
            ++i;
            char text[8];
            std::snprintf(text, sizeof text, "%03u", m_s[reg]);
            send(std::string("\r\n") + text + "\r\n");
            return true;
        }
        if (cmd[i] == '=') {
            ++i;
            const int v = digits();
            if (v < 0 || v > 255) {
                result("ERROR");
                return false;
            }
            m_s[reg] = static_cast<unsigned char>(v);
            return true;
        }
        result("ERROR");
        return false;
    }
    case 'Q':
    case 'V':
    case 'X':
    case 'L':
    case 'M':
        digits();
        return true;
    case '&': {
        if (i >= cmd.size()) {
            result("ERROR");
            return false;
        }
        const char k = static_cast<char>(std::toupper(static_cast<unsigned char>(cmd[i++])));
        if (k != 'F' && k != 'C' && k != 'D' && k != 'K') {
            result("ERROR");
            return false;
        }
        digits();
        if (k == 'F') m_echo = true;
        return true;
    }
    default:
        result("ERROR");
        return false;
    }
}

void Modem::dataByte(char c) {
    if (c == '+') {
        if (m_plus == 0) m_plusSince = Clock::now();
        if (++m_plus == 3) {
            m_plus = 0;
            m_plusSince.reset();
            m_mode = Mode::Command;
            m_line.clear();
            m_okDue = Clock::now() + Ms(m_opt.guardMs);
            log("escape to command mode, line kept");
        }
        return;
    }
    if (m_plus) send(std::string(static_cast<std::size_t>(m_plus), '+'));
    m_plus = 0;
    m_plusSince.reset();
    send(std::string(1, c));
}

void Modem::timers() {
    const auto now = Clock::now();
    if (m_dialDue && now >= *m_dialDue) {
        m_dialDue.reset();
        if (m_number.find_first_of("0123456789") == std::string::npos) {
            m_mode = Mode::Command;
            result("NO CARRIER");
        } else {
            m_mode = Mode::Data;
            m_online = true;
            result("CONNECT 9600");
        }
    }
    if (m_okDue && now >= *m_okDue) {
        m_okDue.reset();
        result("OK");
    }
    if (m_plusSince && now >= *m_plusSince + Ms(m_opt.guardMs)) {
        send(std::string(static_cast<std::size_t>(m_plus), '+'));
        m_plus = 0;
        m_plusSince.reset();
    }
}

std::optional<int> Modem::msUntilNextTimer() const {
    std::optional<Clock::time_point> next;
    for (const auto& t : {m_dialDue, m_okDue,
                          m_plusSince ? std::optional(*m_plusSince + Ms(m_opt.guardMs))
                                      : std::optional<Clock::time_point>()}) {
        if (t && (!next || *t < *next)) next = t;
    }
    if (!next) return std::nullopt;
    const auto left = std::chrono::duration_cast<Ms>(*next - Clock::now()).count();
    return left < 0 ? 0 : static_cast<int>(left) + 1;
}

void Modem::run() {
    bool open = false;
    while (!g_stop) {
        int timeout = 200;
        if (const auto t = msUntilNextTimer(); t && *t < timeout) timeout = *t;
        pollfd p{m_fd, POLLIN, 0};
        const int ready = ::poll(&p, 1, timeout);
        if (ready < 0) {
            if (errno == EINTR) continue;
            std::perror("simmodem: poll");
            return;
        }
        // While no program holds the slave, the master reports a hang-up without end: look
        // again a little later instead of spinning.
        if (ready > 0 && (p.revents & POLLHUP) && !(p.revents & POLLIN)) {
            if (open) {
                open = false;
                log("port closed by the terminal");
                dropLine("DTR dropped");
                m_echo = true;
            }
            ::usleep(50 * 1000);
            continue;
        }
        if (!open && (ready == 0 || (p.revents & POLLIN))) {
            open = true;
            log("port opened by the terminal");
        }
        if (ready > 0 && (p.revents & POLLIN)) {
            char buf[512];
            const ssize_t n = ::read(m_fd, buf, sizeof buf);
            if (n < 0 && (errno == EIO || errno == EAGAIN || errno == EINTR)) {
                if (errno == EIO) ::usleep(50 * 1000);
                continue;
            }
            if (n <= 0) continue;
            for (ssize_t k = 0; k < n; ++k) {
                const char c = buf[k];
                switch (m_mode) {
                case Mode::Command:
                    commandByte(c);
                    break;
                case Mode::Dialling:
                    if (c == '\n') break;
                    m_dialDue.reset();
                    m_mode = Mode::Command;
                    log("dial aborted by a key");
                    result("NO CARRIER");
                    break;
                case Mode::Data:
                    dataByte(c);
                    break;
                }
            }
        }
        timers();
    }
}

} // namespace

int main(int argc, char** argv) {
    const Options opt = ParseOptions(argc, argv);

    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) {
        std::perror("simmodem: pseudo-terminal");
        return 1;
    }
    const char* slaveName = ::ptsname(master);
    if (!slaveName) {
        std::perror("simmodem: ptsname");
        return 1;
    }
    const std::string slave = slaveName;

    // Raw from the start, so that nothing the modem says is echoed back to it by the line
    // discipline before a terminal program has set the line up.
    const int s = ::open(slave.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (s < 0) {
        std::perror("simmodem: open slave");
        return 1;
    }
    termios t{};
    ::tcgetattr(s, &t);
    ::cfmakeraw(&t);
    ::cfsetispeed(&t, B9600);
    ::cfsetospeed(&t, B9600);
    ::tcsetattr(s, TCSANOW, &t);
    ::close(s);
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);

    if (!MakeFolders(opt.ports)) {
        std::fprintf(stderr, "simmodem: cannot create %s: %s\n", opt.ports.c_str(),
                     std::strerror(errno));
        return 1;
    }
    const std::string link = opt.ports + "/COM" + std::to_string(opt.com);
    struct stat st {};
    if (::lstat(link.c_str(), &st) == 0) {
        // A link left behind by a modem that did not end cleanly may go; anything else stays.
        struct stat target {};
        if (!S_ISLNK(st.st_mode) || ::stat(link.c_str(), &target) == 0) {
            std::fprintf(stderr, "simmodem: %s exists already; remove it or choose --com\n",
                         link.c_str());
            return 1;
        }
        ::unlink(link.c_str());
    }
    if (::symlink(slave.c_str(), link.c_str()) != 0) {
        std::fprintf(stderr, "simmodem: cannot link %s: %s\n", link.c_str(), std::strerror(errno));
        return 1;
    }

    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    ::sigaction(SIGINT, &sa, nullptr);
    ::sigaction(SIGTERM, &sa, nullptr);
    ::sigaction(SIGHUP, &sa, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    if (!opt.quiet) std::fprintf(stderr, "simmodem: COM%d is %s\n", opt.com, slave.c_str());
    // A line on stdout tells a script that waits for it that the port is ready.
    std::printf("COM%d %s\n", opt.com, slave.c_str());
    std::fflush(stdout);

    Modem modem(master, opt);
    modem.run();

    // Remove the link only while it is still ours.
    char buf[4096];
    const ssize_t n = ::readlink(link.c_str(), buf, sizeof buf - 1);
    if (n > 0 && std::string(buf, static_cast<std::size_t>(n)) == slave) ::unlink(link.c_str());
    ::close(master);
    if (!opt.quiet) std::fprintf(stderr, "simmodem: stopped\n");
    return 0;
}
