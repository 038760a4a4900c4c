// simmodem: a Hayes-style modem on a pseudo-terminal, linked into Wirelog's port map as a COM
// port, so that dialling, hanging up and data can be tried without hardware.
//
//   simmodem [--ports DIR] [--com N] [--delay MS] [--guard MS] [--quiet]
//
// The port map folder is Wirelog's own unless --ports names one. What the modem understands
// is in tools/simulatedmodem.h. SIGINT and SIGTERM end it; it removes its link on the way out.

#include "comm/portmap.h"
#include "tools/simulatedmodem.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace {

volatile std::sig_atomic_t g_stop = 0;

void OnSignal(int) {
    g_stop = 1;
}

struct Options {
    std::string ports;
    int com = 1;
    simmodem::ModemOptions modem;
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
            o.modem.delayMs = ParseInt(value(), 0, 60000, "--delay takes 0 to 60000 ms");
        else if (a == "--guard")
            o.modem.guardMs = ParseInt(value(), 0, 60000, "--guard takes 0 to 60000 ms");
        else if (a == "--quiet" || a == "-q")
            o.modem.quiet = true;
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

// A pseudo-terminal whose slave is raw from the start, so that nothing the modem says is
// echoed back to it by the line discipline before a terminal program has set the line up.
// The master, non-blocking, or -1 after a message.
int OpenPty(std::string& slave) {
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) {
        std::perror("simmodem: pseudo-terminal");
        return -1;
    }
    const char* slaveName = ::ptsname(master);
    const int s = slaveName ? ::open(slaveName, O_RDWR | O_NOCTTY | O_CLOEXEC) : -1;
    if (s < 0) {
        std::perror(slaveName ? "simmodem: open slave" : "simmodem: ptsname");
        ::close(master);
        return -1;
    }
    slave = slaveName;
    termios t{};
    ::tcgetattr(s, &t);
    ::cfmakeraw(&t);
    ::cfsetispeed(&t, B9600);
    ::cfsetospeed(&t, B9600);
    ::tcsetattr(s, TCSANOW, &t);
    ::close(s);
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    return master;
}

// Links `link` to `slave`, making the folder; false after a message.
bool LinkPort(const std::string& folder, const std::string& link, const std::string& slave) {
    if (!MakeFolders(folder)) {
        std::fprintf(stderr, "simmodem: cannot create %s: %s\n", folder.c_str(),
                     std::strerror(errno));
        return false;
    }
    struct stat st {};
    if (::lstat(link.c_str(), &st) == 0) {
        // A link left behind by a modem that did not end cleanly may go; anything else stays.
        struct stat target {};
        if (!S_ISLNK(st.st_mode) || ::stat(link.c_str(), &target) == 0) {
            std::fprintf(stderr, "simmodem: %s exists already; remove it or choose --com\n",
                         link.c_str());
            return false;
        }
        ::unlink(link.c_str());
    }
    if (::symlink(slave.c_str(), link.c_str()) != 0) {
        std::fprintf(stderr, "simmodem: cannot link %s: %s\n", link.c_str(), std::strerror(errno));
        return false;
    }
    return true;
}

// Removes the link only while it is still ours.
void UnlinkIfOurs(const std::string& link, const std::string& slave) {
    char buf[4096];
    const ssize_t n = ::readlink(link.c_str(), buf, sizeof buf - 1);
    if (n > 0 && std::string(buf, static_cast<std::size_t>(n)) == slave) ::unlink(link.c_str());
}

void CatchSignals() {
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    ::sigaction(SIGINT, &sa, nullptr);
    ::sigaction(SIGTERM, &sa, nullptr);
    ::sigaction(SIGHUP, &sa, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
}

} // namespace

int main(int argc, char** argv) {
    const Options opt = ParseOptions(argc, argv);
    std::string slave;
    const int master = OpenPty(slave);
    if (master < 0) return 1;
    const std::string link = opt.ports + "/COM" + std::to_string(opt.com);
    if (!LinkPort(opt.ports, link, slave)) return 1;
    CatchSignals();

    if (!opt.modem.quiet) std::fprintf(stderr, "simmodem: COM%d is %s\n", opt.com, slave.c_str());
    // A line on stdout tells a script that waits for it that the port is ready.
    std::printf("COM%d %s\n", opt.com, slave.c_str());
    std::fflush(stdout);

    simmodem::Modem(master, opt.modem).run(g_stop);

    UnlinkIfOurs(link, slave);
    ::close(master);
    if (!opt.modem.quiet) std::fprintf(stderr, "simmodem: stopped\n");
    return 0;
}
