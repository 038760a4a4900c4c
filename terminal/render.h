#pragma once
// How a received chunk becomes screen text, apart from the screen itself.

#include <cstddef>
#include <string>
#include <string_view>

namespace render {

// Takes the backspaces out of `s`: each one erases the character before it within the chunk;
// one with nothing before it is counted instead. Returns that count (the characters to erase
// from the screen).
std::size_t ApplyBackspaces(std::string& s);

// Text view: every CR, alone or followed by LF, becomes CR LF; an LF not after a CR and a NUL
// show as nothing.
std::string TextView(std::string_view s);

// Hexadecimal view: "%02X " per byte, every byte (a backspace too), and a line break after
// every LF.
std::string HexView(std::string_view s);

} // namespace render
