#pragma once
// The serial ports present now, for the port settings dialog's list. Reads the port map
// folder, /dev, /dev/serial/by-id and /sys/class/tty; opens no device.
//
// A map entry linked to an address (rfc2217://HOST:PORT) is listed with the address as its
// device.
//
// Order: COM numbers mapped through the port map folder (ascending), then COM numbers of the
// built-in map whose device exists (ascending), then devices that no COM number reaches, by
// name. A legacy UART that the kernel registered without hardware behind it (its sysfs "type"
// is 0) counts as absent.
//
// `root` stands in front of every /dev and /sys path (not in front of the port map folder,
// whose entries point wherever they point): tests build a fake tree there. Paths shown are
// taken relative to it again, so a fake tree reads like the real one.

#include <string>
#include <vector>

namespace comm {

struct PortEntry {
    int port = 0;            // the COM number; 0 for a device that no COM number reaches
    std::string device;      // "/dev/ttyUSB0": where the entry leads, links followed
    std::string description; // "FTDI FT232R USB UART"; empty when nothing says
    bool fromMap = false;    // reached through the port map folder
    std::string mapCommand;  // for port 0: the shell line that maps it, "ln -s ... COM97"
};

std::vector<PortEntry> ListPorts(const std::string& root = {});

// The root that the program lists under: $WIRELOG_DEVICE_ROOT when set (for tests of the
// running program), else none.
std::string DeviceRoot();

// How the list shows an entry: "COM33 — /dev/ttyUSB0 — FTDI FT232R USB UART", and for a
// device without a COM number "/dev/ttyAMA0 — … — ln -s /dev/ttyAMA0 …/COM97". UTF-8.
std::string PortEntryText(const PortEntry& e);

} // namespace comm
