#pragma once
// The settings kept between runs under the program's key: read while the main window is made
// and written when it closes. Which values they are, and what they bind to, is the caller's.

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>

namespace settings {

// A number: how to read it for saving (none keeps what the store holds) and how to apply a
// stored one.
struct NumberSetting {
    const char* name;
    std::function<std::optional<std::int32_t>()> read;
    std::function<void(std::int32_t)> apply;
};

// A short text, kept in at most kStringCapacity bytes.
struct TextSetting {
    const char* name;
    std::function<std::string()> read;
    std::function<void(const std::string&)> apply;
    std::uint32_t capacity = 19; // longer texts are cut to this many bytes
};

inline constexpr std::uint32_t kStringCapacity = 19;

// Applies every value the store holds, in the order given. A value the control refuses is
// skipped, so that a damaged store never keeps the program from starting. 0, or the store's
// status when the key cannot be opened.
long LoadSettings(std::span<const NumberSetting> numbers, std::span<const TextSetting> texts);

// Writes every value; a store that cannot be written is told in a box, since the settings go
// nowhere else.
void SaveSettings(std::span<const NumberSetting> numbers, std::span<const TextSetting> texts);

} // namespace settings
