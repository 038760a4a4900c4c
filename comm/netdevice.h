#pragma once
// Ports on another machine behind the device seam, so that the control and everything above
// it work as with a local port: rfc2217://HOST:PORT (Telnet with COM Port Control: settings,
// flow control, DTR, RTS and Break travel to the far end, its CD, CTS and DSR come back) and
// tcp://HOST:PORT (bytes as they are; settings stay here). fd() is the socket; a closed
// connection reads 0, as a device that went away.

#include "comm/serialdevice.h"

#include <functional>
#include <string>

namespace comm {

struct ConnectHooks {
    // "Connecting to lab-pi:2001..." while the connection is made, then "" once it is over.
    std::function<void(const std::string&)> connecting;
    // A sentence for the user about the open port (its far end cannot take settings).
    std::function<void(const std::string&)> note;
};

// Connects to the address in `port.path` (at most 5 s, the event loop running) and applies
// the settings. On failure returns null with `status` naming the port and host:port: refused,
// no answer in time, a name that does not resolve, a malformed address.
std::unique_ptr<SerialDevice> OpenNetworkDevice(const PortPath& port, const LineSettings& s,
                                                std::int32_t handshaking, bool dtr, bool rts,
                                                Status& status, const ConnectHooks& hooks = {});

// The control's opener: a network device for an address, the termios device for a path.
std::unique_ptr<SerialDevice> OpenAnyDevice(const PortPath& port, const LineSettings& s,
                                            std::int32_t handshaking, bool dtr, bool rts,
                                            Status& status, const ConnectHooks& hooks = {});

} // namespace comm
