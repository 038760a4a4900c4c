#include "settings/registrystore.h"

#include "comm/configfolder.h"

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
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace settings {

namespace {

constexpr auto kLockRetry = std::chrono::milliseconds(5);

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
RegStatus Load(const std::string& path, RegDocument& doc) {
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
    std::optional<RegDocument> parsed = ParseDocument(text);
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
RegStatus LoadLocked(const std::string& path, RegDocument& doc, bool& fresh) {
    RegStatus status = Load(path, doc);
    fresh = status != RegStatus::Ok;
    if (fresh) doc = RegDocument{};
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
    bool created = false;          // by CreateKey: the close makes sure the key exists
    std::vector<RegValue> values;  // the key as this handle sees it
    std::vector<RegValue> pending; // what SetValue changed, to apply to the file at the close
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

std::unique_ptr<RegKey::State> NewState(std::string storePath, RegDocument& doc,
                                        std::string_view path) {
    auto state = std::make_unique<RegKey::State>();
    state->storePath = std::move(storePath);
    state->keyPath = path;
    if (const RegSection* key = FindSection(doc, path)) {
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
    RegDocument doc;
    bool changed = false;
    if (status == RegStatus::Ok) status = LoadLocked(state.storePath, doc, changed);
    if (status != RegStatus::Ok) return status;
    changed = EnsureKey(doc, state.keyPath, !state.pending.empty()) || changed;
    RegSection* key = FindSection(doc, state.keyPath);
    for (const RegValue& value : state.pending)
        if (key) changed = PutValue(key->values, value) || changed;
    if (!changed) return RegStatus::Ok;
    std::string text = SerializeDocument(doc);
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
    const std::string config = comm::ConfigFolder();
    return config.empty() ? config : config + "/registry.reg";
}

RegStatus OpenKey(std::string_view fullPath, RegKey& out) {
    out = RegKey();
    if (!IsValidKeyPath(fullPath)) return RegStatus::InvalidParameter;
    std::string storePath = StorePath();
    if (storePath.empty()) return RegStatus::NotFound;
    RegDocument doc;
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
    RegDocument doc;
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
    const RegValue* value = FindValue(key.m_state->values, name);
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
    if (size > kMaxValueSize || (size && !data) || !IsValidValueName(name))
        return RegStatus::InvalidParameter;
    RegValue value{std::string(name), type, {}};
    if (size) value.data.assign(static_cast<const char*>(data), size);
    PutValue(key.m_state->values, value);
    PutValue(key.m_state->pending, value);
    return RegStatus::Ok;
}

RegStatus CloseKey(RegKey& key, std::chrono::milliseconds lockWait) {
    if (!key.m_state) return RegStatus::InvalidHandle;
    std::unique_ptr<RegKey::State> state = std::move(key.m_state);
    if (!state->created && state->pending.empty()) return RegStatus::Ok;
    return Save(*state, lockWait);
}

} // namespace settings
