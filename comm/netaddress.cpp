#include "comm/netaddress.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cctype>
#include <netinet/in.h>

namespace comm {

namespace {

struct Scheme {
    std::string_view prefix;
    NetAddress::Kind kind;
};

constexpr Scheme kSchemes[] = {
    {"rfc2217://", NetAddress::Kind::Rfc2217},
    {"tcp://", NetAddress::Kind::Tcp},
};

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() &&
           std::equal(prefix.begin(), prefix.end(), text.begin(), [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) ==
                      std::tolower(static_cast<unsigned char>(b));
           });
}

Status Refuse(std::string_view text, const std::string& why) {
    return Status::failure(ErrorCode::InvalidValue,
                           "The address \"" + std::string(text) + "\" is not valid: " + why + ".");
}

// Letters, digits, dots, hyphens and underscores: what a host name or an IPv4 address holds.
bool PlainHost(std::string_view host) {
    return !host.empty() && std::all_of(host.begin(), host.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == '_';
    });
}

// Splits "HOST:PORT" or "[V6]:PORT"; false with `why` when the shape is wrong.
bool SplitHostPort(std::string_view rest, std::string& host, std::string_view& port,
                   std::string& why) {
    if (!rest.empty() && rest.front() == '[') {
        const auto close = rest.find(']');
        if (close == std::string_view::npos) {
            why = "the IPv6 address has no closing bracket";
            return false;
        }
        host = std::string(rest.substr(1, close - 1));
        in6_addr a{};
        if (inet_pton(AF_INET6, host.c_str(), &a) != 1) {
            why = "\"" + host + "\" is not an IPv6 address";
            return false;
        }
        rest.remove_prefix(close + 1);
        if (rest.empty() || rest.front() != ':') {
            why = "it has no port; write HOST:PORT, e.g. [::1]:2001";
            return false;
        }
        port = rest.substr(1);
        return true;
    }
    const auto colon = rest.rfind(':');
    if (colon == std::string_view::npos) {
        why = "it has no port; write HOST:PORT, e.g. lab-pi:2001";
        return false;
    }
    host = std::string(rest.substr(0, colon));
    port = rest.substr(colon + 1);
    if (host.find(':') != std::string::npos) {
        why = "an IPv6 address must stand in brackets, e.g. [::1]:2001";
        return false;
    }
    if (!PlainHost(host)) {
        why = host.empty() ? "it has no host" : "\"" + host + "\" is not a host name";
        return false;
    }
    return true;
}

bool ReadPort(std::string_view digits, std::uint16_t& port, std::string& why) {
    const bool numeric = !digits.empty() && digits.size() <= 9 &&
                         std::all_of(digits.begin(), digits.end(), [](char c) {
                             return std::isdigit(static_cast<unsigned char>(c));
                         });
    const long value = numeric ? std::stol(std::string(digits)) : -1;
    if (value < 1 || value > 65535) {
        why = digits.empty() ? "it has no port; write HOST:PORT"
                             : "the port \"" + std::string(digits) +
                                   "\" must be a number from 1 to 65535";
        return false;
    }
    port = static_cast<std::uint16_t>(value);
    return true;
}

} // namespace

std::string NetAddress::hostPort() const {
    const bool v6 = host.find(':') != std::string::npos;
    return (v6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

std::string NetAddress::text() const {
    return (kind == Kind::Rfc2217 ? "rfc2217://" : "tcp://") + hostPort();
}

bool IsNetworkName(std::string_view name) {
    return std::any_of(std::begin(kSchemes), std::end(kSchemes),
                       [name](const Scheme& s) { return StartsWithNoCase(name, s.prefix); });
}

Status ParseNetAddress(std::string_view text, NetAddress& out) {
    const auto scheme = std::find_if(std::begin(kSchemes), std::end(kSchemes),
                                     [text](const Scheme& s) { return StartsWithNoCase(text, s.prefix); });
    if (scheme == std::end(kSchemes))
        return Refuse(text, "it must start with rfc2217:// or tcp://");
    std::string_view rest = text.substr(scheme->prefix.size());
    if (!rest.empty() && rest.back() == '/') rest.remove_suffix(1);
    NetAddress a;
    a.kind = scheme->kind;
    std::string_view port;
    std::string why;
    if (!SplitHostPort(rest, a.host, port, why) || !ReadPort(port, a.port, why))
        return Refuse(text, why);
    out = std::move(a);
    return Status::success();
}

} // namespace comm
