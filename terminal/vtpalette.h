#pragma once
// The colours a terminal cell is painted in: the 256-colour palette (16 ANSI colours, the
// 6x6x6 cube, 24 greys), 24-bit colours as they are, and the defaults from the caller (the
// desktop's text and base colours, so a dark desktop gets a dark terminal).

#include "terminal/vtcell.h"

#include <cstdint>

namespace terminal {

// 0xRRGGBB of a palette index.
std::uint32_t PaletteRgb(std::uint8_t index);

struct CellColors {
    std::uint32_t fg, bg;
};

// The ink and paper of a cell, with reverse video (the cell's or the whole screen's) applied.
// On a dark paper (the screen's, as shown) the ANSI blue is a lighter one, to stay readable.
CellColors ColorsOf(const VtCell& cell, std::uint32_t defaultFg, std::uint32_t defaultBg,
                    bool screenReverse);

} // namespace terminal
