#pragma once
// Small data helpers that many tests share.

#include <string>

// Every byte value once, 0 to 255.
inline std::string AllBytes() {
    std::string s(256, '\0');
    for (int b = 0; b < 256; ++b)
        s[static_cast<std::size_t>(b)] = static_cast<char>(b);
    return s;
}
