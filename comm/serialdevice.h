#pragma once
// The narrow interface between the control and the operating system. The control watches
// fd() with socket notifiers and calls the rest; a termios device stands behind it on real
// hardware and pseudo-terminals, a scripted device in tests (scripted modem lines, counters,
// error marks), both opened through a DeviceOpener.

#include "comm/linesettings.h"
#include "comm/portmap.h"
#include "comm/status.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <sys/types.h>

namespace comm {

struct ModemLines {
    bool cts = false, dsr = false, cd = false, ri = false;
    bool operator==(const ModemLines&) const = default;
};

// The driver's error counters (TIOCGICOUNT), cumulative since the device was opened.
struct LineCounters {
    std::uint32_t frame = 0, overrun = 0, parity = 0, brk = 0, bufOverrun = 0, rng = 0;
    bool operator==(const LineCounters&) const = default;
};

class SerialDevice {
public:
    virtual ~SerialDevice() = default;

    // Non-blocking descriptor, readable and writable; the control never closes it itself.
    virtual int fd() const = 0;

    // Applies line settings and handshaking. A refusal leaves the device as it was.
    virtual Status configure(const LineSettings& s, std::int32_t handshaking) = 0;
    virtual Status setDTR(bool on) = 0; // devices without modem lines accept and ignore
    virtual Status setRTS(bool on) = 0;
    // Starts (on) or ends (off) a break condition on the line.
    virtual Status setBreak(bool on) = 0;

    // nullopt: this device has no such thing (a pseudo-terminal), not an error.
    virtual std::optional<ModemLines> modemLines() = 0;
    virtual std::optional<LineCounters> counters() = 0;

    // As read(2)/write(2): -1 with errno (EAGAIN when nothing is ready), read 0 when gone.
    virtual ssize_t read(void* buf, std::size_t n) = 0;
    virtual ssize_t write(const void* buf, std::size_t n) = 0;

    // Bytes accepted by the driver but not yet on the line; 0 where the driver cannot tell.
    virtual int outputQueue() = 0;
    // Discards what the driver holds for output (so that closing never waits on a held line).
    virtual void discardOutput() = 0;

    // True when input carries in-band error marks (PARMRK): 0xFF 0x00 x marks a bad byte x,
    // 0xFF 0x00 0x00 a break, 0xFF 0xFF a data byte 0xFF.
    virtual bool marksErrors() const = 0;
};

// Opens port `port` (1..99): exclusive, non-blocking, raw, DTR/RTS as given. On failure
// returns null and fills `status` with a description that names the port and its device.
using DeviceOpener = std::function<std::unique_ptr<SerialDevice>(
    const PortPath& port, const LineSettings& s, std::int32_t handshaking, bool dtr, bool rts,
    Status& status)>;

// The real one: termios2 over the device of the port map.
std::unique_ptr<SerialDevice> OpenTermiosDevice(const PortPath& port, const LineSettings& s,
                                                std::int32_t handshaking, bool dtr, bool rts,
                                                Status& status);

} // namespace comm
