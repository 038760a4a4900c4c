#include "comm/portlist.h"

#include "comm/netaddress.h"
#include "comm/portmap.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <map>
#include <set>
#include <sys/stat.h>

namespace comm {

namespace {

constexpr int kLastPort = 99;
constexpr int kFirstUnmappedPort = 97; // the numbers the built-in map leaves free
constexpr const char* kDash = " \xE2\x80\x94 ";

// The path with every link followed; empty when it leads nowhere.
std::string Canonical(const std::string& path) {
    char buf[PATH_MAX];
    return realpath(path.c_str(), buf) ? std::string(buf) : std::string();
}

// Paths under the test root, and back.
class Tree {
public:
    explicit Tree(std::string root)
        : m_root(std::move(root)) {
        // Compared with resolved paths, so resolved itself.
        if (!m_root.empty())
            if (const std::string real = Canonical(m_root); !real.empty()) m_root = real;
        while (!m_root.empty() && m_root.back() == '/')
            m_root.pop_back();
    }
    std::string at(const std::string& absolute) const { return m_root + absolute; }
    std::string shown(const std::string& path) const {
        if (!m_root.empty() && path.compare(0, m_root.size(), m_root) == 0 &&
            path.size() > m_root.size() && path[m_root.size()] == '/')
            return path.substr(m_root.size());
        return path;
    }

private:
    std::string m_root;
};

std::string Trimmed(std::string s) {
    const auto blank = [](unsigned char c) { return std::isspace(c) != 0; };
    while (!s.empty() && blank(static_cast<unsigned char>(s.back())))
        s.pop_back();
    const auto first = std::find_if_not(s.begin(), s.end(), blank);
    return std::string(first, s.end());
}

std::string FirstLine(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return Trimmed(line);
}

std::vector<std::string> Names(const std::string& folder) {
    std::vector<std::string> names;
    if (DIR* dir = opendir(folder.c_str())) {
        while (const dirent* e = readdir(dir))
            if (e->d_name[0] != '.') names.emplace_back(e->d_name);
        closedir(dir);
    }
    return names;
}

bool Exists(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0;
}

// "ttyUSB10" after "ttyUSB9": the trailing number compared as a number.
bool NaturalLess(const std::string& a, const std::string& b) {
    const auto split = [](const std::string& s) {
        std::size_t i = s.size();
        while (i > 0 && std::isdigit(static_cast<unsigned char>(s[i - 1])))
            --i;
        const std::string digits = s.substr(i);
        return std::make_pair(s.substr(0, i),
                              digits.empty() || digits.size() > 9 ? -1L : std::stol(digits));
    };
    const auto x = split(a), y = split(b);
    return x != y ? x < y : a < b;
}

// A shell word that survives any characters.
std::string Quoted(const std::string& word) {
    const bool plain = !word.empty() && std::all_of(word.begin(), word.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) ||
               std::string_view("_./:+,=@%-").find(c) != std::string_view::npos;
    });
    if (plain) return word;
    std::string q = "'";
    for (const char c : word)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

class Lister {
public:
    explicit Lister(const std::string& root)
        : m_tree(root) {
        readById();
    }

    std::vector<PortEntry> list() {
        std::vector<PortEntry> mapped, builtIn;
        for (int n = 1; n <= kLastPort; ++n) {
            const PortPath p = ResolvePort(n);
            if (p.fromMap) m_mapEntries.insert(n);
            if (p.path.empty()) continue;
            if (IsNetworkName(p.path)) { // a port on another machine: its address is its device
                PortEntry e;
                e.port = n;
                e.device = p.path;
                e.fromMap = p.fromMap;
                mapped.push_back(std::move(e));
                continue;
            }
            const std::string device = Canonical(p.fromMap ? p.path : m_tree.at(p.path));
            if (device.empty() || (!p.fromMap && absentUart(device))) continue;
            m_reached.insert(device);
            (p.fromMap ? mapped : builtIn).push_back(entry(n, device, p.fromMap));
        }
        std::vector<PortEntry> all = std::move(mapped);
        all.insert(all.end(), builtIn.begin(), builtIn.end());
        for (const std::string& device : unreached())
            all.push_back(unmapped(device));
        return all;
    }

private:
    // The name under /dev of a device directly there ("ttyUSB0"); empty for others.
    std::string devName(const std::string& device) const {
        const std::string shown = m_tree.shown(device);
        if (shown.compare(0, 5, "/dev/") != 0) return {};
        const std::string name = shown.substr(5);
        return name.find('/') == std::string::npos ? name : std::string();
    }

    std::string sysClass(const std::string& name) const {
        return m_tree.at("/sys/class/tty/" + name);
    }

    // The kernel keeps ttyS0..ttySn registered whether or not a UART answers there.
    bool absentUart(const std::string& device) const {
        const std::string name = devName(device);
        return name.compare(0, 4, "ttyS") == 0 && FirstLine(sysClass(name) + "/type") == "0";
    }

    void readById() {
        const std::string folder = m_tree.at("/dev/serial/by-id");
        std::vector<std::string> names = Names(folder);
        std::sort(names.begin(), names.end());
        for (const std::string& name : names)
            if (const std::string device = Canonical(folder + "/" + name); !device.empty())
                m_byId.emplace(device, name); // the first name wins
    }

    // The USB device above the tty names maker and product; else the by-id name says it.
    std::string description(const std::string& device) const {
        if (const std::string name = devName(device); !name.empty()) {
            const std::string sys = m_tree.at("/sys");
            std::string dir = Canonical(sysClass(name) + "/device");
            for (int depth = 0;
                 depth < 8 && dir.size() > sys.size() && dir.compare(0, sys.size(), sys) == 0;
                 ++depth) {
                const std::string maker = FirstLine(dir + "/manufacturer");
                const std::string product = FirstLine(dir + "/product");
                if (!maker.empty() || !product.empty())
                    return maker.empty() || product.empty() ? maker + product
                                                            : maker + " " + product;
                dir.erase(dir.rfind('/'));
            }
        }
        const auto id = m_byId.find(device);
        if (id == m_byId.end()) return {};
        std::string text = id->second;
        if (text.compare(0, 4, "usb-") == 0) text.erase(0, 4);
        if (const auto iface = text.rfind("-if"); iface != std::string::npos) text.erase(iface);
        std::replace(text.begin(), text.end(), '_', ' ');
        return Trimmed(text);
    }

    PortEntry entry(int port, const std::string& device, bool fromMap) const {
        PortEntry e;
        e.port = port;
        e.device = m_tree.shown(device);
        e.description = description(device);
        e.fromMap = fromMap;
        return e;
    }

    // Serial devices the kernel knows (a tty with a device behind it) or udev names, that no
    // COM number reaches.
    std::vector<std::string> unreached() const {
        std::set<std::string> found;
        for (const std::string& name : Names(m_tree.at("/sys/class/tty"))) {
            if (!Exists(sysClass(name) + "/device")) continue;
            const std::string device = Canonical(m_tree.at("/dev/" + name));
            if (!device.empty() && !absentUart(device)) found.insert(device);
        }
        for (const auto& [device, name] : m_byId)
            found.insert(device);
        std::vector<std::string> devices;
        for (const std::string& d : found)
            if (!m_reached.count(d)) devices.push_back(d);
        std::sort(devices.begin(), devices.end(), NaturalLess);
        return devices;
    }

    // A COM number free for a new link: 97..99 first, which nothing else claims, then one
    // whose built-in device is not there.
    int freePort() {
        const auto take = [&](int n) {
            if (m_mapEntries.count(n) || m_suggested.count(n)) return false;
            const std::string builtIn = ResolvePort(n).path;
            if (!builtIn.empty() && Exists(m_tree.at(builtIn))) return false;
            m_suggested.insert(n);
            return true;
        };
        for (int n = kFirstUnmappedPort; n <= kLastPort; ++n)
            if (take(n)) return n;
        for (int n = 1; n < kFirstUnmappedPort; ++n)
            if (take(n)) return n;
        return 0;
    }

    PortEntry unmapped(const std::string& device) {
        PortEntry e = entry(0, device, false);
        const auto id = m_byId.find(device);
        // The by-id name outlives a replug that renumbers the adapter.
        const std::string target =
            id != m_byId.end() ? "/dev/serial/by-id/" + id->second : e.device;
        if (const int n = freePort())
            e.mapCommand = "ln -s " + Quoted(target) + " " +
                           Quoted(PortMapFolder() + "/COM" + std::to_string(n));
        return e;
    }

    Tree m_tree;
    std::map<std::string, std::string> m_byId; // device -> by-id name
    std::set<std::string> m_reached;
    std::set<int> m_mapEntries, m_suggested;
};

} // namespace

std::vector<PortEntry> ListPorts(const std::string& root) {
    return Lister(root).list();
}

std::string DeviceRoot() {
    const char* root = std::getenv("WIRELOG_DEVICE_ROOT");
    return root ? std::string(root) : std::string();
}

std::string PortEntryText(const PortEntry& e) {
    std::string text = e.port > 0 ? "COM" + std::to_string(e.port) + kDash + e.device : e.device;
    if (!e.description.empty()) text += kDash + e.description;
    if (!e.mapCommand.empty()) text += kDash + e.mapCommand;
    return text;
}

} // namespace comm
