#pragma once
// How the screen stays bounded: before each chunk is added, bytes go from the top.
//
// The screen's size is set in KB, from kSmallestScreenKB to kLargestScreenKB. At the smallest
// size the screen is trimmed once it holds more than 16383 bytes, by 4097 bytes at a time, as
// often as it takes to come back under; a larger screen, once it holds more than its size,
// loses the oldest quarter of its size at a time, as often as it takes. The cut falls at that
// byte count wherever it is, inside a line or a character alike.

#include <cstddef>

namespace terminal {

inline constexpr std::size_t kSmallestScreenKB = 16;
inline constexpr std::size_t kLargestScreenKB = 262144;

// The bytes to cut off the top of a screen of `length` bytes whose size is `sizeKB`.
std::size_t TrimBeforeAdding(std::size_t length, std::size_t sizeKB);

} // namespace terminal
