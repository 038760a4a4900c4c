#include "comm/linesettings.h"

#include "comm/errortext.h"

// Kernel flag values only; <termios.h> stays out of this file.
#include <asm/termbits.h>

#include <charconv>
#include <vector>

namespace comm {

namespace {

constexpr std::uint32_t kMaxBaud = 4000000;

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

std::vector<std::string_view> SplitFields(std::string_view text) {
    std::vector<std::string_view> fields;
    for (;;) {
        const auto comma = text.find(',');
        fields.push_back(Trim(text.substr(0, comma)));
        if (comma == std::string_view::npos) return fields;
        text.remove_prefix(comma + 1);
    }
}

bool ParseBaud(std::string_view f, std::uint32_t& baud) {
    if (f.empty() || f.front() < '0' || f.front() > '9') return false;
    std::uint32_t v = 0;
    const auto [end, ec] = std::from_chars(f.data(), f.data() + f.size(), v);
    if (ec != std::errc() || end != f.data() + f.size() || v < 1 || v > kMaxBaud) return false;
    baud = v;
    return true;
}

bool ParseParity(std::string_view f, char& parity) {
    if (f.size() != 1) return false;
    const char c = static_cast<char>(f[0] | 0x20);
    if (std::string_view("noems").find(c) == std::string_view::npos) return false;
    parity = c;
    return true;
}

bool ParseStop(std::string_view f, StopBits& stop) {
    if (f == "1")
        stop = StopBits::One;
    else if (f == "1.5")
        stop = StopBits::OneAndHalf;
    else if (f == "2")
        stop = StopBits::Two;
    else
        return false;
    return true;
}

} // namespace

Status ParseSettings(std::string_view text, LineSettings& out) {
    const auto bad = [text](const char* why) { return Fail(Message::BadSettings, {text, why}); };
    const auto f = SplitFields(text);
    if (f.size() != 4)
        return bad("it must be the baud rate, parity, data bits and stop bits separated by "
                   "commas, as in 9600,n,8,1");
    LineSettings s;
    if (!ParseBaud(f[0], s.baud))
        return bad("the baud rate must be a whole number from 1 to 4000000");
    if (!ParseParity(f[1], s.parity)) return bad("the parity must be one of n, o, e, m, s");
    if (f[2].size() != 1 || f[2][0] < '5' || f[2][0] > '8')
        return bad("the data bits must be 5, 6, 7 or 8");
    s.dataBits = f[2][0] - '0';
    if (!ParseStop(f[3], s.stopBits)) return bad("the stop bits must be 1, 1.5 or 2");
    // The line has no 1.5 stop bits of its own: a UART gives them for two stop bits with
    // 5-bit characters, and with any other size would silently send 2.
    if (s.stopBits == StopBits::OneAndHalf && s.dataBits != 5)
        return bad("1.5 stop bits can only be set with 5 data bits");
    out = s;
    return Status::success();
}

std::string FormatSettings(const LineSettings& s) {
    static constexpr const char* kStop[] = {"1", "1.5", "2"};
    return std::to_string(s.baud) + ',' + s.parity + ',' + std::to_string(s.dataBits) + ',' +
           kStop[static_cast<int>(s.stopBits)];
}

TermiosFields MakeTermios(const LineSettings& s, std::int32_t handshaking) {
    TermiosFields t;
    // Errors come in-band: a bad byte as 0xFF 0x00 x, a break as 0xFF 0x00 0x00, and a data
    // byte 0xFF doubled. Nothing is stripped, ignored or turned into a signal.
    t.iflag = INPCK | PARMRK;
    if (handshaking & HandshakeXonXoff) t.iflag |= IXON | IXOFF;
    t.oflag = 0;
    t.lflag = 0;

    static constexpr std::uint32_t kSize[] = {CS5, CS6, CS7, CS8};
    const int bits = s.dataBits < 5 ? 5 : s.dataBits > 8 ? 8 : s.dataBits;
    // CLOCAL: opening never waits for carrier and losing it does not hang the port up.
    // HUPCL: DTR drops when the port closes.
    t.cflag = kSize[bits - 5] | CREAD | CLOCAL | HUPCL | BOTHER;
    if (s.stopBits != StopBits::One) t.cflag |= CSTOPB; // with CS5 the UART makes it 1.5
    switch (s.parity) {
    case 'o':
        t.cflag |= PARENB | PARODD;
        break;
    case 'e':
        t.cflag |= PARENB;
        break;
    case 'm':
        t.cflag |= PARENB | CMSPAR | PARODD;
        break;
    case 's':
        t.cflag |= PARENB | CMSPAR;
        break;
    default:
        break;
    }
    if (handshaking & HandshakeRts) t.cflag |= CRTSCTS;

    t.ispeed = t.ospeed = s.baud;
    t.vmin = 1;
    t.vtime = 0;
    t.vstart = 0x11;
    t.vstop = 0x13;
    return t;
}

} // namespace comm
