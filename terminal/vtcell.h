#pragma once
// The cells of the terminal grid and the pen that writes them. A cell is 16 bytes: its first
// code point (combining marks are kept by the row), two colours and the attributes. A wide
// character takes two cells: the first says width 2, the one it covers width 0.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace terminal {

// A colour as the device chose it: the default one, an index of the 256-colour palette, or
// 24-bit red-green-blue.
class VtColor {
public:
    enum Kind : std::uint8_t { Default = 0, Indexed = 1, Rgb = 2 };
    constexpr VtColor() = default;
    static constexpr VtColor indexed(std::uint8_t i) { return VtColor(Indexed, i); }
    static constexpr VtColor rgb(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
        return VtColor(Rgb, (std::uint32_t{r} << 16) | (std::uint32_t{g} << 8) | b);
    }
    constexpr Kind kind() const { return static_cast<Kind>(m_v >> 24); }
    constexpr std::uint8_t index() const { return static_cast<std::uint8_t>(m_v); }
    constexpr std::uint32_t rgbValue() const { return m_v & 0xFFFFFFu; }
    constexpr std::uint32_t raw() const { return m_v; }
    static constexpr VtColor fromRaw(std::uint32_t v) { return VtColor(v); }
    constexpr bool operator==(const VtColor&) const = default;

private:
    constexpr explicit VtColor(std::uint32_t v) : m_v(v) {}
    constexpr VtColor(Kind k, std::uint32_t v) : m_v((std::uint32_t{k} << 24) | v) {}
    std::uint32_t m_v = 0;
};

enum VtAttr : std::uint8_t {
    kAttrBold = 1,
    kAttrUnderline = 2,
    kAttrItalic = 4,
    kAttrReverse = 8,
    kAttrBlink = 16,
    kAttrStrike = 32,
};

struct VtPen {
    VtColor fg, bg;
    std::uint8_t attrs = 0;
    bool operator==(const VtPen&) const = default;
};

struct VtCell {
    char32_t ch = U' ';
    VtColor fg, bg;
    std::uint8_t attrs = 0;
    std::uint8_t width = 1;
    VtPen pen() const { return {fg, bg, attrs}; }
    bool operator==(const VtCell&) const = default;
};

// A blank in the pen's background (erasing keeps the background, not the other attributes).
inline VtCell BlankCell(const VtPen& pen) { return VtCell{U' ', {}, pen.bg, 0, 1}; }

// A row of cells; `marks` holds the combining marks of the few cells that have them.
struct VtRow {
    std::vector<VtCell> cells;
    std::vector<std::pair<std::uint16_t, std::u32string>> marks;
    bool wrapped = false; // the text goes on in the next row without a line break
};

// Rows [startRow, endRow) and columns [startCol, endCol).
struct VtRect {
    int startRow = 0, endRow = 0, startCol = 0, endCol = 0;
};

} // namespace terminal
