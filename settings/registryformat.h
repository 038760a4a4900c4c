#pragma once
// The settings store's text, in the registry-export format, and the rules for its names. Pure:
// nothing here touches the file system, so every rule is tested and fuzzed on strings alone.
//
//   REGEDIT4
//
//   [HKEY_USERS\.DEFAULT\Software\K-W\Wirelog\Settings]
//   "Echo"=dword:00000000
//   "Settings"=hex:39,36,30,30,2c,6e,2c,38,2c,31
//
// A value keeps its type and its exact bytes: dword: (type 4, 4 bytes), hex: (type 3),
// hex(N): (any other type or size), "text" (type 1 whose bytes are the text and one
// terminating zero). Text is 8-bit, in the program's code page. Key and value names match
// case-insensitively (ASCII letters only) and keep the spelling they were first written with.
//
// The reader takes either header ("REGEDIT4" or "Windows Registry Editor Version 5.00"), LF or
// CR LF line ends, a UTF-8 byte-order mark, blank lines, ';' comments, spaces and tabs around
// the parts of a line, hex lists continued with a trailing '\', and hex digits of either case.
// A repeated section or value merges into the first of its name; a later value wins. Anything
// else is damage: a wrong header, a line that is neither blank, a comment, a [key] nor a value,
// a malformed value, a value before the first key, control bytes other than a tab, a NUL.
//
// The writer always writes the same form for the same document: the header as read, sections
// in document order each followed by a blank line, lower-case hex, hex lists wrapped so that no
// line is longer than 80 characters. Whatever it writes reads back as the same document.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace settings {

// Value types the program uses; any other number is stored and written back unchanged.
enum ValueType : std::uint32_t { TypeString = 1, TypeBinary = 3, TypeDword = 4 };

inline constexpr std::size_t kMaxFileSize = 16u << 20; // a larger store counts as damaged
inline constexpr std::size_t kMaxValueSize = 1u << 20; // the longest value a store holds

struct RegValue {
    std::string name; // "" is the default value, written "@"
    std::uint32_t type = 0;
    std::string data; // the exact bytes
};

struct RegSection {
    std::string path; // "HKEY_USERS\\.DEFAULT\\Software", spelt as first written
    std::vector<RegValue> values;
};

struct RegDocument {
    std::string header = "REGEDIT4";
    std::vector<RegSection> sections; // in file order
};

// ---- names ------------------------------------------------------------------------------------

// Equal but for the case of ASCII letters.
bool SameName(std::string_view a, std::string_view b);

// 8-bit text without control characters (below 0x20, 0x7f): what a name or a text value holds.
bool IsText(std::string_view s);

// A key path: a root (HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_USERS,
// HKEY_CURRENT_CONFIG, any case), then '\'-separated non-empty parts of at most 255 bytes,
// all text, 32767 bytes in all.
bool IsValidKeyPath(std::string_view path);

// A value name: text of at most 16383 bytes ("" names the default value).
bool IsValidValueName(std::string_view name);

// ---- the document -----------------------------------------------------------------------------

RegSection* FindSection(RegDocument& doc, std::string_view path);

// A key exists when it is a root, has a section, or is the parent of one.
bool KeyExists(const RegDocument& doc, std::string_view path);

// Adds a section for every missing key on the way to `path` (roots have none of their own), and
// for `path` itself when `withSection` and it has none yet. Returns whether it added anything.
bool EnsureKey(RegDocument& doc, std::string_view path, bool withSection);

const RegValue* FindValue(const std::vector<RegValue>& values, std::string_view name);

// Creates or replaces a value, keeping the spelling of an existing name. Returns whether the
// values changed.
bool PutValue(std::vector<RegValue>& values, const RegValue& value);

// ---- the text ---------------------------------------------------------------------------------

// The document `text` holds; none when it is damaged. Takes no size limit of its own.
std::optional<RegDocument> ParseDocument(std::string_view text);

// The text of `doc`, which ParseDocument reads back as `doc`.
std::string SerializeDocument(const RegDocument& doc);

} // namespace settings
