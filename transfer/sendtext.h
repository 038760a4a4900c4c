#pragma once
// What the user asks to send, turned into what goes on the line. Pure: strings in, bytes and
// timed steps out, no port and no widgets, so that every rule is tested on strings alone.
//
// - Hex fields: "41 42 0D", "41420d", "0x41 0x42", "\x41\x42" (blanks and commas separate).
// - Macro texts: C escapes (\r \n \t \b \\ \xNN), \dN pauses N milliseconds, \B sends a Break.
// - Line endings added to what the send bar sends.
// - Pasted text: its line breaks made what the Enter key sends, and whether to ask first.
//
// A parse that fails returns an error with the character position it points at and a text
// that names it; it never returns the bytes it got as far as, so nothing half-read is sent.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace transfer {

// Where an input is wrong: `position` counts characters from 0; `message` says what and
// where for the user (positions there count from 1).
struct ParseError {
    std::size_t position = 0;
    std::string message;
    friend bool operator==(const ParseError&, const ParseError&) = default;
};

// One step of a send: bytes, a pause, or a Break of the line.
struct SendItem {
    enum class Kind { Bytes, Pause, Break };
    Kind kind = Kind::Bytes;
    std::string bytes; // Kind::Bytes only
    int ms = 0;        // Kind::Pause and Kind::Break: how long
    friend bool operator==(const SendItem&, const SendItem&) = default;
};
using SendItems = std::vector<SendItem>;

inline constexpr int kBreakMs = 250;             // how long a Break holds the line
inline constexpr int kMaxPauseMs = 24 * 3600000; // the longest \d a macro may ask for

// A result or the error that stopped the parse.
template <class T> using Parsed = std::variant<T, ParseError>;

// The bytes a hex field stands for. Errors: a character that is no hex digit, a number with an
// odd count of digits, a "0x" or "\x" with no digits after it.
Parsed<std::string> ParseHex(std::string_view field);

// The steps of a macro text, neighbouring bytes in one Bytes item. Errors: an unknown escape,
// a lone backslash at the end, \x without two hex digits, \d without digits or beyond
// kMaxPauseMs.
Parsed<SendItems> ParseMacro(std::string_view text);

// Every byte the items send, in order, for a preview: pauses and Breaks left out.
std::string ItemBytes(const SendItems& items);

// A readable form of the items for the macro editor's preview: bytes as two-digit hex, pauses
// as "[pause 500 ms]", Breaks as "[Break]"; past `maxBytes` bytes only the count in all.
std::string DescribeItems(const SendItems& items, std::size_t maxBytes = 256);

enum class LineEnding { None = 0, CR = 1, LF = 2, CRLF = 3 };
inline constexpr int kLineEndingCount = 4;

// What the line ending puts on the line after a sent field.
std::string_view LineEndingBytes(LineEnding ending);

// The bytes a pasted text sends: each line break (LF, CR LF or CR) becomes `enter`.
struct PastePlan {
    std::string bytes;
    bool controls = false; // holds control characters other than line breaks and Tab
    bool mustAsk = false;  // too long or holding control characters: the user confirms first
};
inline constexpr std::size_t kPasteAskAbove = 4096;
PastePlan PlanPaste(std::string_view text, std::string_view enter);

} // namespace transfer
