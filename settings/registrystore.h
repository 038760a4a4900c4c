#pragma once
// The settings store: the five registry operations of the settings code, kept in one text file
// in the registry-export format (settings/registryformat.h), every key of the program in it.
// The file is StorePath(), looked up afresh by every OpenKey and CreateKey.
//
// A handle reads the file once, when it is opened, and works on that picture; its changes reach
// the file in one save when it is closed. A save takes an flock on "<file>.lock" (waiting at
// most a bound, never for ever; the lock file stays), re-reads the file, applies only this
// handle's changes to it, writes "<file>.tmp-XXXXXX", flushes it to disk and renames it over
// the old one. Missing folders are created with mode 0700. So the file is never torn, two programs
// saving in turn lose nothing but the values the later one replaced, and a failed save leaves the
// old file as it was.
//
// A file that cannot be parsed (see ParseDocument), or of more than kMaxFileSize bytes, is
// never overwritten: OpenKey fails with BadFile, and CreateKey or a save first renames it
// to "<file>.damaged-YYYYMMDD-HHMMSS" (with "-2", "-3"... when taken) and starts a fresh file.
//
// No state is shared between handles; a handle is used by one thread at a time.

#include "settings/registryformat.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace settings {

enum class RegStatus {
    Ok = 0,
    NotFound,         // no such key or value; the store file is missing
    MoreData,         // the value is longer than the buffer offered
    AccessDenied,     // the system refused to read or write the store
    BadFile,          // the store file cannot be parsed
    IoError,          // any other failure of the system
    Busy,             // another program held the store's lock for the whole wait
    InvalidHandle,    // the handle is not open
    InvalidParameter, // malformed key path or value name, value too large
};

// One line of English for a status, e.g. for a test's failure message.
const char* StatusText(RegStatus status);

inline constexpr std::chrono::milliseconds kLockWait{2000}; // the longest a save waits

// $WIRELOG_REGISTRY when set, else "registry.reg" in comm::ConfigFolder(), which is
// $XDG_CONFIG_HOME/wirelog or ~/.config/wirelog. Empty when no home folder is known.
std::string StorePath();

class RegKey;

// Key paths start with the root name, e.g. "HKEY_USERS\\.DEFAULT\\Software"; the roots are
// HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_USERS, HKEY_CURRENT_CONFIG.
// Both calls first close the handle `out` held; on failure `out` stays closed.
//
// OpenKey opens an existing key: one with a section in the file or below which a section lies.
// It reads the file and changes nothing on disk, not even on failure: NotFound when the file or
// the key is missing, BadFile when the file is damaged, InvalidParameter for a malformed path.
RegStatus OpenKey(std::string_view fullPath, RegKey& out);

// CreateKey opens the key, which the close then writes with every missing parent. A damaged
// file is renamed aside now and the handle starts from an empty key; when that cannot be done
// (AccessDenied, Busy, IoError) the call fails and the file stays where it is.
RegStatus CreateKey(std::string_view fullPath, RegKey& out);

// Copies value `name` of the key as this handle sees it. `*size` goes in as the capacity of
// `data`. Ok when the value exists and fits: its bytes are copied and `*size` is its length.
// MoreData when it is longer: nothing is copied, `*size` is set to the length needed. NotFound
// when missing, with nothing changed. `type` (when not null) receives the value's type on Ok
// and MoreData. With `data` null only the type and length are reported.
RegStatus QueryValue(RegKey& key, std::string_view name, std::uint32_t* type, void* data,
                     std::uint32_t* size);

// Creates or replaces value `name` ("" is the default value) with this type and exactly these
// `size` bytes, in this handle; the close writes it. InvalidParameter (nothing changed) for a
// value above kMaxValueSize or a name with control characters.
RegStatus SetValue(RegKey& key, std::string_view name, std::uint32_t type, const void* data,
                   std::uint32_t size);

// Releases the handle, always, and saves its changes when it has any (a created key counts as
// one; a save that would change nothing writes nothing). On failure the file on disk is as it
// was, or renamed aside when it was damaged. `lockWait` bounds the wait for the lock (Busy).
RegStatus CloseKey(RegKey& key, std::chrono::milliseconds lockWait = kLockWait);

// An open key or nothing. Movable; the destructor and move assignment close the key they held
// (as CloseKey, the result dropped).
class RegKey {
public:
    RegKey() noexcept;
    RegKey(RegKey&& other) noexcept;
    RegKey& operator=(RegKey&& other) noexcept;
    ~RegKey();

    bool IsOpen() const noexcept { return m_state != nullptr; }

    struct State;

private:
    std::unique_ptr<State> m_state;

    friend RegStatus OpenKey(std::string_view, RegKey&);
    friend RegStatus CreateKey(std::string_view, RegKey&);
    friend RegStatus QueryValue(RegKey&, std::string_view, std::uint32_t*, void*, std::uint32_t*);
    friend RegStatus SetValue(RegKey&, std::string_view, std::uint32_t, const void*, std::uint32_t);
    friend RegStatus CloseKey(RegKey&, std::chrono::milliseconds);
};

} // namespace settings
