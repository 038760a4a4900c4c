#pragma once
// COMn (1..99) to a device path. First the port map folder: an entry named "COMn" in
// $WIRELOG_PORTS, else $XDG_CONFIG_HOME/wirelog/ports (~/.config/wirelog/ports), normally a
// symbolic link to the device. Otherwise the built-in map: COM1-COM32 /dev/ttyS0-31,
// COM33-COM64 /dev/ttyUSB0-31, COM65-COM96 /dev/ttyACM0-31; COM97-COM99 have none.

#include <string>

namespace comm {

struct PortPath {
    std::string name;  // "COM33"
    std::string path;  // the path to open, "/dev/ttyUSB0"; empty when the port has no device
    std::string shown; // how messages name it: "COM33 (/dev/ttyUSB0)"; a map entry that is a
                       // link names its target, "COM5 (/dev/pts/3)"
    bool fromMap = false;
};

std::string PortMapFolder();
PortPath ResolvePort(int port);

} // namespace comm
