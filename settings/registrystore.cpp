#include "settings/registrystore.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <iterator>
#include <optional>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace settings {

namespace {

constexpr std::string_view kHeader4 = "REGEDIT4";
constexpr std::string_view kHeader5 = "Windows Registry Editor Version 5.00";
constexpr std::string_view kRoots[] = {"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER",
                                       "HKEY_LOCAL_MACHINE", "HKEY_USERS", "HKEY_CURRENT_CONFIG"};
constexpr std::size_t kMaxKeyPath = 32767;
constexpr std::size_t kMaxKeyName = 255;
constexpr std::size_t kMaxValueName = 16383;
constexpr std::size_t kLineWidth = 80; // hex lists wrap so that no line is longer
constexpr auto kLockRetry = std::chrono::milliseconds(5);

struct Value {
    std::string name;
    std::uint32_t type = 0;
    std::string data;
};

struct Key {
    std::string path;
    std::vector<Value> values;
};

struct Document {
    std::string header{kHeader4};
    std::vector<Key> keys; // in file order
};

// ---- names and paths --------------------------------------------------------------------------

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (Lower(a[i]) != Lower(b[i])) return false;
    return true;
}

// Bytes that may stand in a name or a text value: 8-bit text without control characters.
bool IsText(std::string_view s) {
    for (unsigned char c : s)
        if (c < 0x20 || c == 0x7f) return false;
    return true;
}

bool IsValidKeyPath(std::string_view path) {
    if (path.empty() || path.size() > kMaxKeyPath || !IsText(path)) return false;
    std::size_t start = 0;
    for (bool root = true;; root = false) {
        std::size_t end = path.find('\\', start);
        std::string_view part = path.substr(start, end - start);
        if (part.empty() || part.size() > kMaxKeyName) return false;
        if (root) {
            bool known = false;
            for (std::string_view name : kRoots)
                known = known || SameName(part, name);
            if (!known) return false;
        }
        if (end == std::string_view::npos) return true;
        start = end + 1;
    }
}

bool IsRoot(std::string_view path) {
    return path.find('\\') == std::string_view::npos;
}

bool IsBelow(std::string_view path, std::string_view parent) {
    return path.size() > parent.size() && path[parent.size()] == '\\' &&
           SameName(path.substr(0, parent.size()), parent);
}

// ---- the document -----------------------------------------------------------------------------

Key* FindKey(Document& doc, std::string_view path) {
    for (Key& key : doc.keys)
        if (SameName(key.path, path)) return &key;
    return nullptr;
}

// A key exists when it is a root, has a section, or is the parent of one.
bool KeyExists(Document& doc, std::string_view path) {
    if (IsRoot(path) || FindKey(doc, path)) return true;
    for (const Key& key : doc.keys)
        if (IsBelow(key.path, path)) return true;
    return false;
}

// Adds a section for every missing key on the way to `path` (roots have none of their own), and
// for `path` itself when `withSection` and it has none yet. Returns whether it added anything.
bool EnsureKey(Document& doc, std::string_view path, bool withSection) {
    bool added = false;
    for (std::size_t end = path.find('\\');; end = path.find('\\', end + 1)) {
        std::string_view prefix = path.substr(0, end);
        bool last = end == std::string_view::npos;
        if (!KeyExists(doc, prefix) || (last && withSection && !FindKey(doc, prefix))) {
            doc.keys.push_back(Key{std::string(prefix), {}});
            added = true;
        }
        if (last) return added;
    }
}

const Value* FindValue(const std::vector<Value>& values, std::string_view name) {
    for (const Value& value : values)
        if (SameName(value.name, name)) return &value;
    return nullptr;
}

// Creates or replaces a value, keeping the spelling of an existing name. Returns whether the
// values changed.
bool StoreValue(std::vector<Value>& values, const Value& value) {
    for (Value& old : values) {
        if (!SameName(old.name, value.name)) continue;
        if (old.type == value.type && old.data == value.data) return false;
        old.type = value.type;
        old.data = value.data;
        return true;
    }
    values.push_back(value);
    return true;
}

// ---- reading the file format ------------------------------------------------------------------

std::string_view TrimLeft(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    return s;
}

std::string_view Trim(std::string_view s) {
    s = TrimLeft(s);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool ParseNumber(std::string_view s, std::uint32_t& out) {
    if (s.empty() || s.size() > 8) return false;
    out = 0;
    for (char c : s) {
        int digit = HexDigit(c);
        if (digit < 0) return false;
        out = out << 4 | std::uint32_t(digit);
    }
    return true;
}

// A double-quoted text with \\ and \" escapes at the start of `s`; `s` is left after it.
bool ParseQuoted(std::string_view& s, std::string& out) {
    if (s.empty() || s.front() != '"') return false;
    out.clear();
    for (std::size_t i = 1; i < s.size(); ++i) {
        char c = s[i];
        if (c == '"') {
            s.remove_prefix(i + 1);
            return true;
        }
        if (c == '\\') {
            if (++i == s.size() || (s[i] != '\\' && s[i] != '"')) return false;
            c = s[i];
        }
        out += c;
    }
    return false;
}

// Two-digit hex bytes separated by commas, possibly none.
bool ParseHexList(std::string_view s, std::string& out) {
    out.clear();
    if (Trim(s).empty()) return true;
    for (;;) {
        s = TrimLeft(s);
        int high = s.size() >= 2 ? HexDigit(s[0]) : -1;
        int low = s.size() >= 2 ? HexDigit(s[1]) : -1;
        if (high < 0 || low < 0 || out.size() == kMaxValueSize) return false;
        out += char(high << 4 | low);
        s = TrimLeft(s.substr(2));
        if (s.empty()) return true;
        if (s.front() != ',') return false;
        s.remove_prefix(1);
    }
}

bool ParseData(std::string_view s, Value& value) {
    if (s.starts_with('"')) {
        if (!ParseQuoted(s, value.data) || !Trim(s).empty()) return false;
        value.type = TypeString;
        value.data += '\0';
        return true;
    }
    if (s.starts_with("dword:")) {
        std::uint32_t n;
        if (!ParseNumber(Trim(s.substr(6)), n)) return false;
        value.type = TypeDword;
        value.data = {char(n), char(n >> 8), char(n >> 16), char(n >> 24)};
        return true;
    }
    if (!s.starts_with("hex")) return false;
    s.remove_prefix(3);
    value.type = TypeBinary;
    if (s.starts_with('(')) {
        std::size_t close = s.find(')');
        if (close == std::string_view::npos || !ParseNumber(s.substr(1, close - 1), value.type))
            return false;
        s.remove_prefix(close + 1);
    }
    return s.starts_with(':') && ParseHexList(s.substr(1), value.data);
}

bool ParseValueLine(std::string_view s, Value& value) {
    if (s.starts_with('@')) {
        value.name.clear();
        s.remove_prefix(1);
    } else if (!ParseQuoted(s, value.name)) {
        return false;
    }
    s = TrimLeft(s);
    return s.starts_with('=') && ParseData(Trim(s.substr(1)), value);
}

// Lines without their end (LF or CR LF); nullopt when a control byte other than a tab shows.
std::optional<std::vector<std::string_view>> SplitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        if (line.ends_with('\r')) line.remove_suffix(1);
        for (unsigned char c : line)
            if ((c < 0x20 && c != '\t') || c == 0x7f) return std::nullopt;
        lines.push_back(line);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    }
    return lines;
}

std::optional<Document> Parse(std::string_view text) {
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
    auto lines = SplitLines(text);
    if (!lines || lines->empty()) return std::nullopt;
    Document doc;
    doc.header = Trim((*lines)[0]);
    if (doc.header != kHeader4 && doc.header != kHeader5) return std::nullopt;

    std::size_t current = std::string_view::npos; // index of the section being read
    for (std::size_t i = 1; i < lines->size(); ++i) {
        std::string_view line = Trim((*lines)[i]);
        if (line.empty() || line.front() == ';') continue;
        if (line.front() == '[') {
            if (line.size() < 2 || !line.ends_with(']')) return std::nullopt;
            std::string_view path = line.substr(1, line.size() - 2);
            if (!IsValidKeyPath(path)) return std::nullopt;
            if (!FindKey(doc, path)) doc.keys.push_back(Key{std::string(path), {}});
            current = std::size_t(FindKey(doc, path) - doc.keys.data());
            continue;
        }
        std::string joined(line);
        while (joined.ends_with('\\')) { // a hex list goes on in the next line
            joined.pop_back();
            if (++i == lines->size()) return std::nullopt;
            joined += Trim((*lines)[i]);
        }
        Value value;
        if (current == std::string_view::npos || !ParseValueLine(joined, value))
            return std::nullopt;
        StoreValue(doc.keys[current].values, value);
    }
    return doc;
}

// ---- writing the file format ------------------------------------------------------------------

std::string Quoted(std::string_view s) {
    std::string out = "\"";
    for (char c : s) {
        if (c == '\\' || c == '"') out += '\\';
        out += c;
    }
    return out + '"';
}

// Type 1 is written as text when that reads back as the same bytes.
bool IsPlainString(const Value& value) {
    const std::string& d = value.data;
    return value.type == TypeString && !d.empty() && d.back() == '\0' &&
           IsText(std::string_view(d).substr(0, d.size() - 1));
}

void AppendValue(std::string& out, const Value& value) {
    static const char digits[] = "0123456789abcdef";
    std::string line = value.name.empty() ? "@=" : Quoted(value.name) + '=';
    char number[16];
    if (value.type == TypeDword && value.data.size() == 4) {
        std::uint32_t n;
        std::memcpy(&n, value.data.data(), 4); // stored little-endian, as this host is
        std::snprintf(number, sizeof number, "%08x", unsigned(n));
        out += line + "dword:" + number + '\n';
        return;
    }
    if (IsPlainString(value)) {
        out += line + Quoted(std::string_view(value.data).substr(0, value.data.size() - 1)) + '\n';
        return;
    }
    std::snprintf(number, sizeof number, "%x", unsigned(value.type));
    line += value.type == TypeBinary ? std::string("hex:") : "hex(" + std::string(number) + "):";
    for (std::size_t i = 0; i < value.data.size(); ++i) {
        unsigned char c = value.data[i];
        std::string item{digits[c >> 4], digits[c & 15]};
        if (i + 1 < value.data.size()) item += ',';
        if (line.size() + item.size() + 1 > kLineWidth && line != "  ") {
            out += line + "\\\n";
            line = "  ";
        }
        line += item;
    }
    out += line + '\n';
}

std::string Serialize(const Document& doc) {
    std::string out = doc.header + "\n\n";
    for (const Key& key : doc.keys) {
        out += '[' + key.path + "]\n";
        for (const Value& value : key.values)
            AppendValue(out, value);
        out += '\n';
    }
    return out;
}

// ---- the file system --------------------------------------------------------------------------

RegStatus FromErrno(int err) {
    switch (err) {
    case EACCES:
    case EPERM:
    case EROFS:
        return RegStatus::AccessDenied;
    case ENOENT:
        return RegStatus::NotFound;
    default:
        return RegStatus::IoError;
    }
}

std::string FolderOf(const std::string& path) {
    std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Creates every missing folder of `dir` with mode 0700; 0 or the errno of the failure.
int MakeFolders(const std::string& dir) {
    for (std::size_t end = dir.find('/', 1);; end = dir.find('/', end + 1)) {
        std::string prefix = dir.substr(0, end);
        if (mkdir(prefix.c_str(), 0700) != 0 && errno != EEXIST) return errno;
        if (end == std::string::npos) return 0;
    }
}

RegStatus SyncFolder(const std::string& dir) {
    int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return FromErrno(errno);
    RegStatus status = fsync(fd) == 0 ? RegStatus::Ok : RegStatus::IoError;
    close(fd);
    return status;
}

// Reads and parses the store: NotFound when it is missing, BadFile when damaged or too large.
RegStatus Load(const std::string& path, Document& doc) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return errno == ENOTDIR ? RegStatus::NotFound : FromErrno(errno);
    struct stat st;
    std::string text;
    RegStatus status = RegStatus::Ok;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        status = RegStatus::IoError;
    } else if (std::size_t(st.st_size) > kMaxFileSize) {
        status = RegStatus::BadFile;
    } else {
        text.reserve(std::size_t(st.st_size));
        char buffer[1 << 16];
        for (;;) { // the size may have changed since fstat
            ssize_t n = read(fd, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                if (n < 0) status = FromErrno(errno);
                break;
            }
            if (text.size() + std::size_t(n) > kMaxFileSize) {
                status = RegStatus::BadFile;
                break;
            }
            text.append(buffer, std::size_t(n));
        }
    }
    close(fd);
    if (status != RegStatus::Ok) return status;
    std::optional<Document> parsed = Parse(text);
    if (!parsed) return RegStatus::BadFile;
    doc = std::move(*parsed);
    return RegStatus::Ok;
}

// Renames a damaged store to "<path>.damaged-<local time>[-n]", never over an existing file.
RegStatus MoveAside(const std::string& path) {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
    std::string base = path + ".damaged-" + stamp;
    for (int n = 1; n <= 1000; ++n) {
        std::string target = n == 1 ? base : base + '-' + std::to_string(n);
        bool moved =
            renameat2(AT_FDCWD, path.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0;
        if (!moved && (errno == EINVAL || errno == ENOSYS)) // no no-replace renames here
            moved = link(path.c_str(), target.c_str()) == 0 && unlink(path.c_str()) == 0;
        if (moved) {
            SyncFolder(FolderOf(path)); // the file is aside either way
            return RegStatus::Ok;
        }
        if (errno != EEXIST) return FromErrno(errno);
    }
    return RegStatus::IoError;
}

// Holds the store's lock file, flock()ed exclusively, until destroyed.
class StoreLock {
public:
    StoreLock() = default;
    StoreLock(const StoreLock&) = delete;
    StoreLock& operator=(const StoreLock&) = delete;
    ~StoreLock() {
        if (m_fd >= 0) close(m_fd);
    }

    RegStatus Acquire(const std::string& storePath, std::chrono::milliseconds wait) {
        m_fd = open((storePath + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (m_fd < 0) return FromErrno(errno);
        auto deadline = std::chrono::steady_clock::now() + wait;
        for (;;) {
            if (flock(m_fd, LOCK_EX | LOCK_NB) == 0) return RegStatus::Ok;
            if (errno == EINTR) continue;
            if (errno != EWOULDBLOCK) return FromErrno(errno);
            auto left = deadline - std::chrono::steady_clock::now();
            if (left <= left.zero()) return RegStatus::Busy;
            std::this_thread::sleep_for(
                std::min<std::chrono::steady_clock::duration>(left, kLockRetry));
        }
    }

private:
    int m_fd = -1;
};

// With the lock held: the store as it is now; empty when missing or just renamed aside as
// damaged, which `fresh` then tells.
RegStatus LoadLocked(const std::string& path, Document& doc, bool& fresh) {
    RegStatus status = Load(path, doc);
    fresh = status != RegStatus::Ok;
    if (fresh) doc = Document{};
    if (status == RegStatus::BadFile) status = MoveAside(path);
    return status == RegStatus::NotFound ? RegStatus::Ok : status; // gone meanwhile: fresh too
}

bool WriteAll(int fd, std::string_view text) {
    while (!text.empty()) {
        ssize_t n = write(fd, text.data(), text.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        text.remove_prefix(std::size_t(n));
    }
    return true;
}

// Replaces the store with `text`: temporary file in the same folder, fsync, rename, fsync the
// folder. The old file stays as it was unless the rename happened.
RegStatus WriteStore(const std::string& path, std::string_view text) {
    std::string temp = path + ".tmp-XXXXXX";
    int fd = mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) return FromErrno(errno);
    bool ok = WriteAll(fd, text) && fsync(fd) == 0;
    int err = errno;
    if (close(fd) != 0 && ok) {
        ok = false;
        err = errno;
    }
    if (ok && rename(temp.c_str(), path.c_str()) != 0) {
        ok = false;
        err = errno;
    }
    if (!ok) {
        unlink(temp.c_str());
        return err == ENOENT ? RegStatus::IoError : FromErrno(err);
    }
    return SyncFolder(FolderOf(path));
}

} // namespace

// ---- handles ----------------------------------------------------------------------------------

struct RegKey::State {
    std::string storePath;
    std::string keyPath;
    bool created = false;       // by CreateKey: the close makes sure the key exists
    std::vector<Value> values;  // the key as this handle sees it
    std::vector<Value> pending; // what SetValue changed, to apply to the file at the close
};

RegKey::RegKey() noexcept = default;
RegKey::RegKey(RegKey&& other) noexcept = default;

RegKey& RegKey::operator=(RegKey&& other) noexcept {
    if (this != &other) {
        try {
            CloseKey(*this);
        } catch (...) {
        }
        m_state = std::move(other.m_state);
    }
    return *this;
}

RegKey::~RegKey() {
    try {
        CloseKey(*this);
    } catch (...) {
    }
}

namespace {

std::unique_ptr<RegKey::State> NewState(std::string storePath, Document& doc,
                                        std::string_view path) {
    auto state = std::make_unique<RegKey::State>();
    state->storePath = std::move(storePath);
    state->keyPath = path;
    if (const Key* key = FindKey(doc, path)) {
        state->keyPath = key->path;
        state->values = key->values;
    }
    return state;
}

// Saves the handle's changes: lock, re-read, apply, write when anything changed.
RegStatus Save(const RegKey::State& state, std::chrono::milliseconds lockWait) {
    if (int err = MakeFolders(FolderOf(state.storePath)))
        return err == ENOENT || err == ENOTDIR ? RegStatus::IoError : FromErrno(err);
    StoreLock lock;
    RegStatus status = lock.Acquire(state.storePath, lockWait);
    Document doc;
    bool changed = false;
    if (status == RegStatus::Ok) status = LoadLocked(state.storePath, doc, changed);
    if (status != RegStatus::Ok) return status;
    changed = EnsureKey(doc, state.keyPath, !state.pending.empty()) || changed;
    Key* key = FindKey(doc, state.keyPath);
    for (const Value& value : state.pending)
        if (key) changed = StoreValue(key->values, value) || changed;
    if (!changed) return RegStatus::Ok;
    std::string text = Serialize(doc);
    if (text.size() > kMaxFileSize) return RegStatus::InvalidParameter;
    return WriteStore(state.storePath, text);
}

} // namespace

const char* StatusText(RegStatus status) {
    static const char* const texts[] = {
        // in the order of RegStatus
        "success",
        "no such key or value",
        "the value is longer than the buffer",
        "access to the settings store was denied",
        "the settings store is damaged",
        "the settings store could not be read or written",
        "another program kept the settings store locked",
        "the key is not open",
        "invalid key path, value name or size",
    };
    std::size_t i = std::size_t(status);
    return i < std::size(texts) ? texts[i] : "unknown status";
}

std::string StorePath() {
    if (const char* path = std::getenv("WIRELOG_REGISTRY"); path && *path) return path;
    std::string config;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && xdg[0] == '/') {
        config = xdg;
    } else {
        const char* home = std::getenv("HOME");
        if (!home || !*home) {
            const passwd* user = getpwuid(getuid());
            home = user ? user->pw_dir : nullptr;
        }
        if (!home || !*home) return {};
        config = std::string(home) + "/.config";
    }
    return config + "/wirelog/registry.reg";
}

RegStatus OpenKey(std::string_view fullPath, RegKey& out) {
    out = RegKey();
    if (!IsValidKeyPath(fullPath)) return RegStatus::InvalidParameter;
    std::string storePath = StorePath();
    if (storePath.empty()) return RegStatus::NotFound;
    Document doc;
    if (RegStatus status = Load(storePath, doc); status != RegStatus::Ok) return status;
    if (!KeyExists(doc, fullPath)) return RegStatus::NotFound;
    out.m_state = NewState(std::move(storePath), doc, fullPath);
    return RegStatus::Ok;
}

RegStatus CreateKey(std::string_view fullPath, RegKey& out) {
    out = RegKey();
    if (!IsValidKeyPath(fullPath)) return RegStatus::InvalidParameter;
    std::string storePath = StorePath();
    if (storePath.empty()) return RegStatus::IoError;
    Document doc;
    RegStatus status = Load(storePath, doc);
    if (status == RegStatus::BadFile) { // set it aside now, under the lock, if still damaged
        StoreLock lock;
        bool fresh;
        status = lock.Acquire(storePath, kLockWait);
        if (status == RegStatus::Ok) status = LoadLocked(storePath, doc, fresh);
    } else if (status == RegStatus::NotFound) {
        status = RegStatus::Ok;
    }
    if (status != RegStatus::Ok) return status;
    out.m_state = NewState(std::move(storePath), doc, fullPath);
    out.m_state->created = true;
    return RegStatus::Ok;
}

RegStatus QueryValue(RegKey& key, std::string_view name, std::uint32_t* type, void* data,
                     std::uint32_t* size) {
    if (!key.m_state) return RegStatus::InvalidHandle;
    if (data && !size) return RegStatus::InvalidParameter;
    const Value* value = FindValue(key.m_state->values, name);
    if (!value) return RegStatus::NotFound;
    if (type) *type = value->type;
    auto length = std::uint32_t(value->data.size());
    RegStatus status = data && length > *size ? RegStatus::MoreData : RegStatus::Ok;
    if (data && status == RegStatus::Ok) std::memcpy(data, value->data.data(), length);
    if (size) *size = length;
    return status;
}

RegStatus SetValue(RegKey& key, std::string_view name, std::uint32_t type, const void* data,
                   std::uint32_t size) {
    if (!key.m_state) return RegStatus::InvalidHandle;
    if (size > kMaxValueSize || (size && !data) || name.size() > kMaxValueName || !IsText(name))
        return RegStatus::InvalidParameter;
    Value value{std::string(name), type, {}};
    if (size) value.data.assign(static_cast<const char*>(data), size);
    StoreValue(key.m_state->values, value);
    StoreValue(key.m_state->pending, value);
    return RegStatus::Ok;
}

RegStatus CloseKey(RegKey& key, std::chrono::milliseconds lockWait) {
    if (!key.m_state) return RegStatus::InvalidHandle;
    std::unique_ptr<RegKey::State> state = std::move(key.m_state);
    if (!state->created && state->pending.empty()) return RegStatus::Ok;
    return Save(*state, lockWait);
}

namespace detail {
std::optional<std::string> Rewrite(std::string_view text) {
    auto doc = Parse(text);
    if (!doc) return std::nullopt;
    return Serialize(*doc);
}
} // namespace detail

} // namespace settings
