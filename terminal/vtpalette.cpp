#include "terminal/vtpalette.h"

#include <array>
#include <utility>

namespace terminal {

namespace {

constexpr std::array<std::uint32_t, 16> kAnsi{
    0x000000, 0xCD0000, 0x00CD00, 0xCDCD00, 0x0000EE, 0xCD00CD, 0x00CDCD, 0xE5E5E5,
    0x7F7F7F, 0xFF0000, 0x00FF00, 0xFFFF00, 0x5C5CFF, 0xFF00FF, 0x00FFFF, 0xFFFFFF,
};

// The ANSI blue is too dark to read on a dark paper (directories in a listing are blue):
// there it is lifted to a lighter blue.
constexpr std::uint32_t kBlueOnDark = 0x3B78FF;

bool IsDark(std::uint32_t rgb) {
    const std::uint32_t r = rgb >> 16 & 0xFF, g = rgb >> 8 & 0xFF, b = rgb & 0xFF;
    return r * 299 + g * 587 + b * 114 < 128 * 1000;
}

std::uint32_t Resolve(VtColor c, std::uint32_t fallback, bool darkPaper) {
    switch (c.kind()) {
    case VtColor::Indexed:
        return darkPaper && c.index() == 4 ? kBlueOnDark : PaletteRgb(c.index());
    case VtColor::Rgb: return c.rgbValue();
    case VtColor::Default: break;
    }
    return fallback;
}

} // namespace

std::uint32_t PaletteRgb(std::uint8_t index) {
    if (index < 16) return kAnsi[index];
    if (index >= 232) {
        const std::uint32_t v = 8 + 10u * (index - 232u);
        return (v << 16) | (v << 8) | v;
    }
    const int i = index - 16;
    const auto level = [](int n) -> std::uint32_t { return n == 0 ? 0 : 55 + 40 * n; };
    return (level(i / 36) << 16) | (level(i / 6 % 6) << 8) | level(i % 6);
}

CellColors ColorsOf(const VtCell& cell, std::uint32_t defaultFg, std::uint32_t defaultBg,
                    bool screenReverse) {
    const bool dark = IsDark(screenReverse ? defaultFg : defaultBg);
    if (screenReverse) std::swap(defaultFg, defaultBg);
    CellColors c{Resolve(cell.fg, defaultFg, dark), Resolve(cell.bg, defaultBg, dark)};
    if (cell.attrs & kAttrReverse) std::swap(c.fg, c.bg);
    return c;
}

} // namespace terminal
