#pragma once
// The line settings that the control's Settings text carries ("9600,n,8,1"), with no device
// involved: parsing, formatting and the translation into a Linux termios2 structure are pure
// functions, tested on their own.

#include "comm/status.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace comm {

enum class StopBits { One, OneAndHalf, Two };

struct LineSettings {
    std::uint32_t baud = 9600; // any positive rate the device takes, not only the standard ones
    char parity = 'n';         // one of n o e m s (lower case)
    int dataBits = 8;          // 5..8
    StopBits stopBits = StopBits::One;

    bool operator==(const LineSettings&) const = default;
};

// Handshaking values of the control.
enum Handshake : std::int32_t {
    HandshakeNone = 0,
    HandshakeXonXoff = 1,
    HandshakeRts = 2,
    HandshakeXonRts = 3
};

// Accepts "baud,parity,data,stop": baud a decimal number 1..4000000 (blanks around fields are
// allowed), parity one of n o e m s in either case, data bits 5..8, stop bits 1, 1.5 or 2;
// 1.5 only with 5 data bits, the one size for which the line can have it.
// On failure `out` is untouched and the Status says what was wrong in the text.
Status ParseSettings(std::string_view text, LineSettings& out);

// The normalised form that Settings reads back: "9600,n,8,1", "115200,e,7,1.5".
std::string FormatSettings(const LineSettings& s);

// The fields of a termios2 structure that the control sets; kept free of kernel headers so
// that it can be tested and compared without a device.
struct TermiosFields {
    std::uint32_t iflag = 0, oflag = 0, cflag = 0, lflag = 0;
    std::uint32_t ispeed = 0, ospeed = 0;
    unsigned char vmin = 1, vtime = 0;
    unsigned char vstart = 0x11, vstop = 0x13;
};

// Raw mode, the given line settings and handshaking, receiver on, modem control honoured,
// in-band error marks (PARMRK with INPCK), reads of VMIN 1 / VTIME 0, speed through BOTHER.
TermiosFields MakeTermios(const LineSettings& s, std::int32_t handshaking);

} // namespace comm
