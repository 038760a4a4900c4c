#include "app/launch.h"

#include "comm/netaddress.h"
#include "comm/portmap.h"
#include "framework/errors.h"
#include "framework/file.h"
#include "mainframe/mainframe.h"
#include "res/resource.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace app {

namespace {

constexpr const char* kHexTurnsEchoOff =
    "Local echo is off for --hex: the stored settings had it on, and echo and the "
    "hexadecimal view do not go together.";

std::string Quoted(const std::string& s) {
    return "\"" + s + "\"";
}

std::string Absolute(const std::string& path) {
    std::error_code ec;
    const auto abs = std::filesystem::absolute(path, ec);
    return ec ? path : abs.lexically_normal().string();
}

// A device path that can stand as a port: it exists, is a character device and may be read
// and written. The device itself is not opened here; the port's own open does that.
bool UsableDevice(const std::string& path, std::string& error) {
    struct stat st {};
    const char* why = nullptr;
    if (stat(path.c_str(), &st) != 0)
        why = std::strerror(errno);
    else if (!S_ISCHR(st.st_mode))
        why = "it is not a serial device";
    else if (access(path.c_str(), R_OK | W_OK) != 0)
        why = errno == EACCES ? "permission denied (on Debian, join the dialout group)"
                              : std::strerror(errno);
    if (!why) return true;
    error = "port " + Quoted(path) + " cannot be used: " + why + ".";
    return false;
}

bool MapDevice(CommandLine& c, std::string& error) {
    // An address was checked while parsing; whether its far end answers, the open tells.
    const bool address = comm::IsNetworkName(c.devicePath);
    const std::string path = address ? c.devicePath : Absolute(c.devicePath);
    if (!address && !UsableDevice(path, error)) return false;
    int port = comm::PortForDevice(path);
    if (port == 0) {
        port = comm::FreeRunOnlyPort();
        if (port == 0) {
            error = "port " + Quoted(path) +
                    " has no COM number and COM97 to COM99 are all "
                    "taken in " +
                    comm::PortMapFolder() + "; link it there as a COM port.";
            return false;
        }
        comm::SetRunOnlyPort(port, path);
    }
    c.port = port;
    return true;
}

// The dump opens as File > Open Dump File opens it, so it meets the same refusals; an existing
// file is added to, never emptied, since nobody is there to be asked.
bool TryDump(CommandLine& c, std::string& error) {
    *c.dumpFile = Absolute(*c.dumpFile);
    try {
        fw::File file;
        file.open(*c.dumpFile,
                  fw::File::Write | fw::File::Create | fw::File::Exclusive | fw::File::Append);
        file.close();
    } catch (const fw::FileError& e) {
        error = "--dump " + Quoted(*c.dumpFile) + " cannot be written: " + e.message();
        return false;
    }
    return true;
}

} // namespace

bool PrepareCommandLine(CommandLine& c, std::string& error) {
    error.clear();
    bool ok = c.devicePath.empty() || MapDevice(c, error);
    ok = ok && (!c.dumpFile || TryDump(c, error));
    if (!ok) error = "wirelog: " + error;
    return ok;
}

void ApplyCommandLine(CMainFrame& frame, const CommandLine& c) {
    // The values were checked while parsing; a refusal here is reported as a command's would be.
    fw::Guard(fw::Entry::WindowMessage, [&] {
        if (c.port) frame.comm().SetCommPort(static_cast<short>(*c.port));
        if (c.settings) frame.comm().SetSettings(*c.settings);
        if (c.handshaking) frame.comm().SetHandshaking(*c.handshaking);
    });
    if (c.echo) frame.screen().m_bEcho = 1;
    if (c.hex) {
        // Local echo would turn the hexadecimal view off at the first idle pass: --hex asked
        // for it, so echo goes off instead, and the user is told.
        if (frame.screen().m_bEcho) {
            frame.screen().m_bEcho = 0;
            frame.statusPanes().SetPaneText(0, kHexTurnsEchoOff);
        }
        frame.SetHexView(1);
        frame.SetTerminal(0);
    }
    if (c.terminal) frame.SetTerminal(1);
}

void StartCommandLine(CMainFrame& frame, const CommandLine& c) {
    // The dump first, so that it holds everything from the moment the port opens.
    if (c.dumpFile) frame.OpenDumpFile(*c.dumpFile, /*append=*/true);
    if (c.open && !frame.comm().GetPortOpen())
        frame.SendCommand(ID_COMM_PORT_OPEN, CMainFrame::Source::Menu);
}

} // namespace app
