#pragma once
// UTF-8 as the log view reads the screen's bytes: one character per well-formed sequence, and
// every byte that is not part of one on its own, to be shown as a control character is (a box
// with its value). The screen keeps the bytes as they came, so a sequence that arrived in two
// reads is one sequence on the screen.
//
// Well-formed is the shortest encoding of a code point up to U+10FFFF that is not a surrogate:
// overlong encodings, surrogates (ED A0..BF), the bytes C0, C1 and F5..FF, continuation bytes
// without a lead and leads without their continuation are each bad, one byte at a time.

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace terminal {

struct Utf8Char {
    char32_t code = 0;       // the character; for a bad byte, the byte's value
    std::uint8_t length = 1; // bytes it takes (always 1 for a bad byte)
    bool valid = false;
};

// The character or bad byte that starts at `at` (< text.size()).
Utf8Char DecodeUtf8At(std::string_view text, std::size_t at);

// The bytes are a lead and fewer continuation bytes than it needs: the start of a character
// that bytes still to come may complete.
bool Utf8Incomplete(std::string_view tail);

// Where the character or bad byte that ends right before `end` starts (end > 0): what one
// backspace erases.
std::size_t Utf8PreviousStart(std::string_view text, std::size_t end);

// Cells a character takes: two for the wide characters of East Asian scripts, full-width forms
// and emoji, none for combining marks and zero-width characters, one otherwise.
int Utf8Cells(char32_t code);

} // namespace terminal

namespace terminal {

// How the log view reads its bytes and how typed text becomes bytes.
enum class CharacterSet { Western = 0, Utf8 = 1 };

// The start of the character after the one at `at`, and before it: whole characters in
// UTF-8 (a bad byte on its own), single bytes in Western.
std::size_t NextCharStart(std::string_view text, std::size_t at, CharacterSet set);
std::size_t PreviousCharStart(std::string_view text, std::size_t end, CharacterSet set);

// The character set a locale name implies ("de_DE.UTF-8", "C.utf8": UTF-8; "C", "POSIX",
// "en_US.ISO-8859-1": Western). The first of `lcAll`, `lcCtype`, `lang` that is set and not
// empty names the locale, as the C library takes them; none means "C".
CharacterSet LocaleCharacterSet(const char* lcAll, const char* lcCtype, const char* lang);

} // namespace terminal
