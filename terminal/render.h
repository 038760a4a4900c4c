#pragma once
// How a received chunk becomes screen text, apart from the screen itself.

#include "terminal/utf8.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace terminal {

// Takes the backspaces out of `s`: each one erases the character before it within the chunk
// (in UTF-8 a whole sequence, in Western one byte); one with nothing before it is counted
// instead. Returns that count (the characters to erase from the screen).
std::size_t ApplyBackspaces(std::string& s, CharacterSet set = CharacterSet::Western);

// Where erasing `count` characters from the end of `text` leaves it: in Western `count` bytes
// (at most all), in UTF-8 whole characters.
std::size_t EraseStart(std::string_view text, std::size_t count, CharacterSet set);

// Text view: every CR, alone or followed by LF, becomes CR LF; an LF not after a CR and a NUL
// show as nothing.
std::string TextView(std::string_view s);

// Which received bytes break a line in the text view.
enum class LineBreaks {
    CR = 0,   // CR or CR LF; a lone LF shows as nothing (the view above)
    LF = 1,   // LF or CR LF; a lone CR shows as nothing
    Auto = 2, // CR, LF and CR LF each one break, even when the CR ends one chunk and the LF
              // starts the next; a run of CRs followed by LF (CR CR LF) is one break too
};

// The text view's rule and what one chunk leaves for the next.
struct TextBreaks {
    LineBreaks mode = LineBreaks::CR;
    bool afterCR = false; // Auto: the last byte shown was a CR, so a leading LF is its partner
    // Auto: CRs that followed that CR, not shown yet: an LF makes the whole run one break,
    // anything else shows them. Dropped when `afterCR` is cleared.
    std::size_t heldCRs = 0;
    // CR: the last byte was a CR (an LF right after it is its partner, not a lone one)...
    bool lastCR = false;
    // ...and an LF arrived without a CR before it: a device that ends its lines with LF alone.
    bool loneLF = false;
};

// Text view under `breaks.mode`: each break becomes CR LF, NULs show as nothing, everything
// else as it is. Updates `breaks.afterCR` and `breaks.heldCRs` for the next chunk.
std::string TextView(std::string_view s, TextBreaks& breaks);

// Hexadecimal view: "%02X " per byte, every byte (a backspace too), and a line break after
// every LF.
std::string HexView(std::string_view s);

} // namespace terminal
