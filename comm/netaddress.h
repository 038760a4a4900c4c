#pragma once
// Ports on another machine are named by an address where a device path would stand:
// "rfc2217://HOST:PORT" (Telnet with COM Port Control) or "tcp://HOST:PORT" (bytes as they
// are). HOST is an IPv4 address, an IPv6 address in brackets or a host name. Reading one is
// pure: nothing is looked up or connected here.

#include "comm/status.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace comm {

struct NetAddress {
    enum class Kind { Rfc2217, Tcp };
    Kind kind = Kind::Rfc2217;
    std::string host;        // without brackets: "lab-pi", "192.0.2.7", "::1"
    std::uint16_t port = 0;  // 1..65535

    // "lab-pi:2001", "[::1]:2001": how connection messages name the far end.
    std::string hostPort() const;
    // The whole address, normalised: "rfc2217://lab-pi:2001".
    std::string text() const;
    bool operator==(const NetAddress&) const = default;
};

// True when `name` starts with one of the two schemes (in any case): it is meant as an
// address, well formed or not, and never as a path.
bool IsNetworkName(std::string_view name);

// Reads an address. On failure `out` is untouched and the Status (InvalidValue) says what is
// wrong: no port, a port outside 1..65535, an empty host, a bad bracketed IPv6 literal.
Status ParseNetAddress(std::string_view text, NetAddress& out);

} // namespace comm
