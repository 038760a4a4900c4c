#include "comm/portmap.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace comm {

namespace {

std::string Env(const char* name) {
    const char* v = std::getenv(name);
    return v ? std::string(v) : std::string();
}

std::string HomeFolder() {
    std::string home = Env("HOME");
    if (!home.empty()) return home;
    if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir) return pw->pw_dir;
    return "/";
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

std::string BuiltIn(int port) {
    if (port >= 1 && port <= 32) return "/dev/ttyS" + std::to_string(port - 1);
    if (port >= 33 && port <= 64) return "/dev/ttyUSB" + std::to_string(port - 33);
    if (port >= 65 && port <= 96) return "/dev/ttyACM" + std::to_string(port - 65);
    return {};
}

} // namespace

std::string PortMapFolder() {
    if (std::string ports = Env("WIRELOG_PORTS"); !ports.empty()) return ports;
    std::string config = Env("XDG_CONFIG_HOME");
    if (config.empty() || config.front() != '/') config = HomeFolder() + "/.config";
    return config + "/wirelog/ports";
}

PortPath ResolvePort(int port) {
    PortPath p;
    p.name = "COM" + std::to_string(port);
    if (port >= 1 && port <= 99) {
        const std::string folder = PortMapFolder();
        const std::string entry = folder + "/" + p.name;
        struct stat st {};
        if (lstat(entry.c_str(), &st) == 0) {
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

} // namespace comm
