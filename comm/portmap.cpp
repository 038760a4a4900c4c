#include "comm/portmap.h"

#include "comm/configfolder.h"

#include <cerrno>
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

int PortForDevice(const std::string& device) {
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
