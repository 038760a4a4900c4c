#pragma once
// The settings kept between runs under the program's key: read while the main window is made
// and written when it closes. Which values they are, and what they bind to, is the caller's.

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

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

// A text of any length up to `maxSize` bytes (the send history, the macros), kept as a string
// value. `apply` sees only a string value of at most `maxSize` bytes with no control character
// but Tab; anything else in the store is damage and is skipped, and the rest still loads.
struct LongTextSetting {
    std::string name;
    std::size_t maxSize;
    std::function<std::string()> read;
    std::function<void(const std::string&)> apply;
};

// True for what a LongTextSetting stores and takes back: at most `maxSize` bytes, no control
// character but Tab.
bool IsStorableText(std::string_view text, std::size_t maxSize);

// Applies every value the store holds, in the order given. A value the control refuses is
// skipped, so that a damaged store never keeps the program from starting. 0, or the store's
// status when the key cannot be opened.
long LoadSettings(std::span<const NumberSetting> numbers, std::span<const TextSetting> texts,
                  std::span<const LongTextSetting> longTexts = {});

// Writes every value; a store that cannot be written is told in a box, since the settings go
// nowhere else.
// A long text that is not storable is written empty.
void SaveSettings(std::span<const NumberSetting> numbers, std::span<const TextSetting> texts,
                  std::span<const LongTextSetting> longTexts = {});

} // namespace settings
