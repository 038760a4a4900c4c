#include "comm/portmap.h"

#include "comm/configfolder.h"
#include "comm/netaddress.h"

#include <cerrno>
#include <cstring>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

namespace comm {

namespace {

std::string Env(const char* name) {
    const char* v = std::getenv(name);
    return v ? std::string(v) : std::string();
}

// The target of a link as messages show it: absolute, relative targets taken from the folder.
std::string LinkTarget(const std::string& entry, const std::string& folder) {
    char buf[PATH_MAX];
    const ssize_t n = readlink(entry.c_str(), buf, sizeof buf);
    if (n <= 0 || static_cast<std::size_t>(n) >= sizeof buf) return entry;
    std::filesystem::path target(std::string(buf, static_cast<std::size_t>(n)));
    if (target.is_relative()) target = (std::filesystem::path(folder) / target).lexically_normal();
    return target.string();
}

// The link's target exactly as written; empty when `entry` is no link.
std::string RawLink(const std::string& entry) {
    char buf[PATH_MAX];
    const ssize_t n = readlink(entry.c_str(), buf, sizeof buf);
    return n <= 0 || static_cast<std::size_t>(n) >= sizeof buf
               ? std::string()
               : std::string(buf, static_cast<std::size_t>(n));
}

// The normalised address a name stands for; empty when it is none.
std::string AddressOf(const std::string& name) {
    NetAddress a;
    return IsNetworkName(name) && ParseNetAddress(name, a) ? a.text() : std::string();
}

// Run-only ports: UI thread only, like everything that resolves ports.
std::map<int, std::string>& RunOnlyPorts() {
    static std::map<int, std::string> ports;
    return ports;
}

bool SameDevice(const struct stat& a, const struct stat& b) {
    if (S_ISCHR(a.st_mode) && S_ISCHR(b.st_mode)) return a.st_rdev == b.st_rdev;
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

bool HasFolderEntry(const std::string& folder, int port) {
    struct stat st {};
    return !folder.empty() && lstat((folder + "/COM" + std::to_string(port)).c_str(), &st) == 0;
}

std::string BuiltIn(int port) {
    if (port >= 1 && port <= 32) return "/dev/ttyS" + std::to_string(port - 1);
    if (port >= 33 && port <= 64) return "/dev/ttyUSB" + std::to_string(port - 33);
    if (port >= 65 && port <= 96) return "/dev/ttyACM" + std::to_string(port - 65);
    return {};
}

} // namespace

std::string PortMapFolder() {
    if (std::string ports = Env("WIRELOG_PORTS"); !ports.empty()) return ports;
    const std::string config = ConfigFolder();
    return config.empty() ? config : config + "/ports";
}

PortPath ResolvePort(int port) {
    PortPath p;
    p.name = "COM" + std::to_string(port);
    if (port >= 1 && port <= 99) {
        if (const auto run = RunOnlyPorts().find(port); run != RunOnlyPorts().end()) {
            p.fromMap = true;
            p.path = run->second;
            p.shown = p.name + " (" + p.path + ")";
            return p;
        }
        const std::string folder = PortMapFolder();
        const std::string entry = folder + "/" + p.name;
        struct stat st {};
        if (!folder.empty() && lstat(entry.c_str(), &st) == 0) {
            p.fromMap = true;
            // A link to an address dangles: the address itself is what gets opened.
            if (const std::string target = S_ISLNK(st.st_mode) ? RawLink(entry) : std::string();
                IsNetworkName(target)) {
                p.path = target;
                p.shown = p.name + " (" + target + ")";
                return p;
            }
            p.path = entry;
            p.shown =
                p.name + " (" + (S_ISLNK(st.st_mode) ? LinkTarget(entry, folder) : entry) + ")";
            return p;
        }
        p.path = BuiltIn(port);
    }
    p.shown = p.path.empty() ? p.name : p.name + " (" + p.path + ")";
    return p;
}

int PortForAddress(const std::string& address) {
    const std::string wanted = AddressOf(address);
    if (wanted.empty()) return 0;
    for (const auto& [port, path] : RunOnlyPorts())
        if (AddressOf(path) == wanted) return port;
    const std::string folder = PortMapFolder();
    for (int port = 1; port <= 99 && !folder.empty(); ++port)
        if (AddressOf(RawLink(folder + "/COM" + std::to_string(port))) == wanted) return port;
    return 0;
}

int PortForDevice(const std::string& device) {
    if (IsNetworkName(device)) return PortForAddress(device);
    struct stat wanted {};
    if (stat(device.c_str(), &wanted) != 0) return 0;
    const auto leadsThere = [&wanted](const std::string& path) {
        struct stat st {};
        return !path.empty() && stat(path.c_str(), &st) == 0 && SameDevice(st, wanted);
    };
    for (const auto& [port, path] : RunOnlyPorts())
        if (leadsThere(path)) return port;
    const std::string folder = PortMapFolder();
    for (int port = 1; port <= 99 && !folder.empty(); ++port)
        if (leadsThere(folder + "/COM" + std::to_string(port))) return port;
    for (int port = 1; port <= 99; ++port)
        if (!HasFolderEntry(folder, port) && leadsThere(BuiltIn(port))) return port;
    return 0;
}

int FreeRunOnlyPort() {
    const std::string folder = PortMapFolder();
    for (int port = kFirstRunOnlyPort; port <= kLastRunOnlyPort; ++port)
        if (!IsRunOnlyPort(port) && !HasFolderEntry(folder, port)) return port;
    return 0;
}

int FreeLinkPort() {
    const std::string folder = PortMapFolder();
    struct stat st {};
    for (int port = 99; port >= 1 && !folder.empty(); --port) {
        const std::string builtIn = BuiltIn(port);
        if (!IsRunOnlyPort(port) && !HasFolderEntry(folder, port) &&
            (builtIn.empty() || stat(builtIn.c_str(), &st) != 0))
            return port;
    }
    return 0;
}

Status LinkAddress(int port, const std::string& address) {
    const std::string folder = PortMapFolder();
    const std::string entry = folder + "/COM" + std::to_string(port);
    std::error_code ec;
    if (!folder.empty()) std::filesystem::create_directories(folder, ec);
    if (folder.empty() || ec || symlink(address.c_str(), entry.c_str()) != 0) {
        const int err = ec ? ec.value() : errno;
        return Status::failure(ErrorCode::DeviceError,
                               "COM" + std::to_string(port) + " could not be linked to " +
                                   address + " in " + (folder.empty() ? "the port map folder" : folder) +
                                   (err ? std::string(": ") + std::strerror(err) : std::string()) + ".",
                               err);
    }
    return Status::success();
}

void SetRunOnlyPort(int port, const std::string& device) {
    RunOnlyPorts()[port] = device;
}

bool IsRunOnlyPort(int port) {
    return RunOnlyPorts().count(port) != 0;
}

void ClearRunOnlyPorts() {
    RunOnlyPorts().clear();
}

} // namespace comm
