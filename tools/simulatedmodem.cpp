#include "tools/simulatedmodem.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <poll.h>
#include <unistd.h>

namespace simmodem {

namespace {

using Ms = std::chrono::milliseconds;

} // namespace

char Modem::Cursor::next() {
    return static_cast<char>(std::toupper(static_cast<unsigned char>(cmd[i++])));
}

int Modem::Cursor::digits() {
    int v = -1;
    while (i < cmd.size() && cmd[i] >= '0' && cmd[i] <= '9') {
        v = (v < 0 ? 0 : v * 10) + (cmd[i] - '0');
        if (v > 255) v = 256;
        ++i;
    }
    return v;
}

void Modem::log(const char* fmt, const std::string& arg) const {
    if (m_opt.quiet) return;
    std::fprintf(stderr, "simmodem: ");
    std::fprintf(stderr, fmt, arg.c_str());
    std::fputc('\n', stderr);
}

void Modem::send(const std::string& bytes) {
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

void Modem::result(const std::string& text) {
    log("-> %s", text);
    send("\r\n" + text + "\r\n");
}

bool Modem::answer(const std::string& text) {
    result(text);
    return false;
}

void Modem::dropLine(const char* why) {
    if (m_online) log("line dropped (%s)", why);
    m_online = false;
    m_mode = Mode::Command;
    m_plus = 0;
    m_plusSince.reset();
    m_okDue.reset();
    m_dialDue.reset();
    m_line.clear();
}

// ---- command mode -----------------------------------------------------------------------------

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
    Cursor cursor{cmd};
    while (cursor.more()) {
        if (cmd[cursor.i] == ' ') {
            ++cursor.i;
            continue;
        }
        if (!executeOne(cursor)) return; // answered already (ERROR, or a call in progress)
    }
    result("OK");
}

// Runs the command at the cursor and moves past it. Returns false when the line's answer has
// been given (or will be, for a dial) and nothing after it runs.
bool Modem::executeOne(Cursor& at) {
    switch (at.next()) {
    case 'D':
        return dial(at);
    case 'H':
        return hangUp(at);
    case 'O':
        return online(at);
    case 'A':
        return answer("NO CARRIER");
    case 'Z':
        at.digits();
        m_echo = true;
        m_online = false;
        return true;
    case 'E':
        return echo(at);
    case 'I':
        at.digits();
        send("\r\nWirelog simulated modem\r\n");
        return true;
    case 'S':
        return sRegister(at);
    case 'Q':
    case 'V':
    case 'X':
    case 'L':
    case 'M':
        at.digits();
        return true;
    case '&':
        return ampersand(at);
    default:
        return answer("ERROR");
    }
}

bool Modem::dial(Cursor& at) {
    if (at.more()) {
        const int method = std::toupper(static_cast<unsigned char>(at.cmd[at.i]));
        if (method == 'T' || method == 'P') ++at.i;
    }
    m_number = at.cmd.substr(at.i);
    at.i = at.cmd.size();
    m_online = false;
    log("dialling \"%s\"", m_number);
    m_mode = Mode::Dialling;
    m_dialDue = Clock::now() + Ms(m_opt.delayMs);
    return false;
}

bool Modem::hangUp(Cursor& at) {
    if (at.digits() > 0) return answer("ERROR");
    if (m_online) log("hung up");
    m_online = false;
    return true;
}

bool Modem::online(Cursor& at) {
    at.digits();
    if (!m_online) return answer("NO CARRIER");
    result("CONNECT 9600");
    m_mode = Mode::Data;
    return false;
}

bool Modem::echo(Cursor& at) {
    const int v = at.digits();
    if (v > 1) return answer("ERROR");
    m_echo = v != 0;
    return true;
}

bool Modem::sRegister(Cursor& at) {
    const int reg = at.digits();
    if (reg < 0 || reg > 99 || !at.more()) return answer("ERROR");
    if (at.cmd[at.i] == '?') {
        ++at.i;
        char text[8];
        std::snprintf(text, sizeof text, "%03u", m_s[reg]);
        send(std::string("\r\n") + text + "\r\n");
        return true;
    }
    if (at.cmd[at.i] != '=') return answer("ERROR");
    ++at.i;
    const int v = at.digits();
    if (v < 0 || v > 255) return answer("ERROR");
    m_s[reg] = static_cast<unsigned char>(v);
    return true;
}

bool Modem::ampersand(Cursor& at) {
    if (!at.more()) return answer("ERROR");
    const char k = at.next();
    if (k != 'F' && k != 'C' && k != 'D' && k != 'K') return answer("ERROR");
    at.digits();
    if (k == 'F') m_echo = true;
    return true;
}

// ---- data mode and time -----------------------------------------------------------------------

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

// How long a poll may wait: until the next timer is due, at most 200 ms.
int Modem::pollTimeout() const {
    std::optional<Clock::time_point> next;
    for (const auto& t : {m_dialDue, m_okDue,
                          m_plusSince ? std::optional(*m_plusSince + Ms(m_opt.guardMs))
                                      : std::optional<Clock::time_point>()}) {
        if (t && (!next || *t < *next)) next = t;
    }
    if (!next) return 200;
    const auto left = std::chrono::duration_cast<Ms>(*next - Clock::now()).count();
    return left < 0 ? 0 : left < 200 ? static_cast<int>(left) + 1 : 200;
}

// ---- the line ---------------------------------------------------------------------------------

void Modem::receive(char c) {
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

// Reads what the terminal sent and acts on it; false when nothing was read.
bool Modem::readInput() {
    char buf[512];
    const ssize_t n = ::read(m_fd, buf, sizeof buf);
    if (n < 0 && errno == EIO) ::usleep(50 * 1000);
    if (n <= 0) return false;
    for (ssize_t k = 0; k < n; ++k)
        receive(buf[k]);
    return true;
}

void Modem::run(const volatile std::sig_atomic_t& stop) {
    while (!stop) {
        pollfd p{m_fd, POLLIN, 0};
        const int ready = ::poll(&p, 1, pollTimeout());
        if (ready < 0) {
            if (errno == EINTR) continue;
            std::perror("simmodem: poll");
            return;
        }
        // While no program holds the slave, the master reports a hang-up without end: look
        // again a little later instead of spinning.
        if (ready > 0 && (p.revents & POLLHUP) && !(p.revents & POLLIN)) {
            if (m_open) {
                m_open = false;
                log("port closed by the terminal");
                dropLine("DTR dropped");
                m_echo = true;
            }
            ::usleep(50 * 1000);
            continue;
        }
        if (!m_open && (ready == 0 || (p.revents & POLLIN))) {
            m_open = true;
            log("port opened by the terminal");
        }
        if (ready > 0 && (p.revents & POLLIN) && !readInput()) continue;
        timers();
    }
}

} // namespace simmodem
