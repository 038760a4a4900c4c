#pragma once
// Connecting out to a port on another machine without stopping the event loop: the name is
// looked up on a thread of its own, the connection made without blocking, and the caller
// waits in a nested event loop that keeps windows painting (user input waits until it ends,
// so nothing can act on a port half opened). Qt Core and POSIX only.

#include "comm/netaddress.h"

#include <string>

struct addrinfo;

namespace comm {

inline constexpr int kConnectTimeoutMs = 5000;

struct ConnectResult {
    int fd = -1;           // a connected, non-blocking TCP socket; -1 on failure
    int err = 0;           // errno of the failure (ETIMEDOUT when the time ran out)
    bool noSuchHost = false; // the name did not resolve
    std::string why;       // what went wrong, a phrase: "Connection refused"
};

// How names are looked up: getaddrinfo unless a test puts its own here (one that answers
// without asking a name server). Called on the lookup thread.
using NameLookup = int (*)(const char* host, const char* service, const addrinfo* hints,
                           addrinfo** result);
void SetNameLookup(NameLookup lookup); // nullptr: getaddrinfo

// Connects to `a` within `timeoutMs` (lookup included), trying each address the name has.
ConnectResult ConnectWithin(const NetAddress& a, int timeoutMs = kConnectTimeoutMs);

} // namespace comm
