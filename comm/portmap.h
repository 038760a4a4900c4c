#pragma once
// COMn (1..99) to a device path. First the port map folder: an entry named "COMn" in
// $WIRELOG_PORTS, else $XDG_CONFIG_HOME/wirelog/ports (~/.config/wirelog/ports), normally a
// symbolic link to the device, or to an address (rfc2217://HOST:PORT, tcp://HOST:PORT; such a
// link dangles, and the address is the port's path). Otherwise the built-in map: COM1-COM32 /dev/ttyS0-31,
// COM33-COM64 /dev/ttyUSB0-31, COM65-COM96 /dev/ttyACM0-31; COM97-COM99 have none.

#include "comm/status.h"

#include <string>

namespace comm {

struct PortPath {
    std::string name;  // "COM33"
    std::string path;  // the path to open, "/dev/ttyUSB0"; empty when the port has no device
    std::string shown; // how messages name it: "COM33 (/dev/ttyUSB0)"; a map entry that is a
                       // link names its target, "COM5 (/dev/pts/3)"
    bool fromMap = false;
};

// $WIRELOG_PORTS when set, else the "ports" folder in ConfigFolder() (comm/configfolder.h);
// empty, and no entry found, when no home folder is known.
std::string PortMapFolder();
PortPath ResolvePort(int port);

// The reverse: the COM number that the map gives `device` (the same device after following
// links), a folder entry first, then the built-in map for numbers without an entry; a run-only
// port (below) counts too. 0 when no number leads to it.
int PortForDevice(const std::string& device);
// The same for an address: the number whose map entry or run-only port names it (compared
// normalised, so "TCP://h:01" finds "tcp://h:1"); 0 when none does.
int PortForAddress(const std::string& address);

// The first number from COM99 down that neither the folder nor a run-only port holds and whose
// built-in device is absent; 0 when there is none (or no folder).
int FreeLinkPort();
// Links COM`port` in the port map folder (made when missing) to `address`. A failure (the
// entry exists, the folder cannot be written) names the port, the address and the folder.
Status LinkAddress(int port, const std::string& address);

// COM97-COM99 have no default. For one run a device that the map does not know can stand as
// one of them, in memory only: nothing is written to the port map folder.
inline constexpr int kFirstRunOnlyPort = 97;
inline constexpr int kLastRunOnlyPort = 99;
// The first of COM97-COM99 that neither the folder nor an earlier run-only port holds; 0 when
// all three are taken.
int FreeRunOnlyPort();
// Makes COM`port` stand for `device` until the process ends (or ClearRunOnlyPorts).
void SetRunOnlyPort(int port, const std::string& device);
bool IsRunOnlyPort(int port);
void ClearRunOnlyPorts();

} // namespace comm
