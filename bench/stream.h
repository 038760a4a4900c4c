#pragma once
// The benchmark's data: streams whose every byte is a function of its position, so that the
// far end can send them in any pieces and the receiving side can check what it recorded
// without keeping a copy. Nothing here allocates (the far end runs in a forked child).

#include <cstddef>
#include <cstdint>

namespace bench {

enum class Stream { Text, Random };

// Text: lines of 70 printable characters ending in CR LF. Random: every byte value.
inline void FillStream(Stream kind, std::uint64_t offset, char* out, std::size_t n) {
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
