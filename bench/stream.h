#pragma once
// The benchmark's data: streams whose every byte is a function of its position, so that the
// far end can send them in any pieces and the receiving side can check what it recorded
// without keeping a copy. Nothing here allocates (the far end runs in a forked child).

#include <cstddef>
#include <cstdint>

namespace bench {

enum class Stream { Text, Random, Colour };

// Colour: log lines of kColourLine bytes as boards print them, a 256-colour level, a coloured
// module and text, about a third of each line escape sequences.
constexpr std::size_t kColourLine = 100;

// Line `n` of the colour stream into `line` (kColourLine bytes).
inline void ColourLine(std::uint64_t n, char* line) {
    static const char kLevels[4][6] = {"INFO ", "WARN ", "ERROR", "DEBUG"};
    static const char kColours[4][4] = {"034", "226", "196", "244"};
    static const char kHead[] = "\x1b[38;5;000m.....\x1b[0m \x1b[36meth0\x1b[0m: rx ";
    std::size_t at = 0;
    for (const char* c = kHead; *c; ++c) line[at++] = *c;
    for (int i = 0; i < 3; ++i) line[7 + i] = kColours[n % 4][i];
    for (int i = 0; i < 5; ++i) line[11 + i] = kLevels[n % 4][i];
    line[at - 10] = static_cast<char>('0' + n % 4);
    for (std::uint64_t d = 1000000000; d; d /= 10) line[at++] = static_cast<char>('0' + n / d % 10);
    static const char kTail[] = " packets, queue of 256, link up 1000 Mb/s full duplex";
    for (const char* c = kTail; *c && at < kColourLine - 2; ++c) line[at++] = *c;
    while (at < kColourLine - 2) line[at++] = '.';
    line[kColourLine - 2] = '\r';
    line[kColourLine - 1] = '\n';
}

// Text: lines of 70 printable characters ending in CR LF. Random: every byte value.
inline void FillStream(Stream kind, std::uint64_t offset, char* out, std::size_t n) {
    if (kind == Stream::Colour) {
        char line[kColourLine];
        std::uint64_t number = offset / kColourLine;
        std::size_t col = offset % kColourLine;
        ColourLine(number, line);
        for (std::size_t i = 0; i < n; ++i) {
            out[i] = line[col];
            if (++col == kColourLine) {
                col = 0;
                ColourLine(++number, line);
            }
        }
        return;
    }
    if (kind == Stream::Text) {
        constexpr std::uint64_t kLine = 72;
        std::uint64_t col = offset % kLine;
        unsigned v = static_cast<unsigned>(((offset / kLine) * 7 + col * 3) % 95);
        for (std::size_t i = 0; i < n; ++i) {
            if (col == kLine - 2)
                out[i] = '\r';
            else if (col == kLine - 1)
                out[i] = '\n';
            else
                out[i] = static_cast<char>(0x20 + v);
            v = (v + 3) % 95;
            if (++col == kLine) {
                col = 0;
                v = (v + 95 * 3 - static_cast<unsigned>(kLine * 3 % 95) + 7) % 95;
            }
        }
        return;
    }
    std::size_t i = 0;
    while (i < n) {
        const std::uint64_t p = offset + i;
        std::uint64_t z = (p >> 3) + 0x9E3779B97F4A7C15ull;
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        z ^= z >> 31;
        for (unsigned b = static_cast<unsigned>(p & 7); b < 8 && i < n; ++b, ++i)
            out[i] = static_cast<char>(z >> (b * 8));
    }
}

} // namespace bench
