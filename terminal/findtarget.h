#pragma once
// What a view offers the find bar: its text as one run of bytes numbered absolutely (from the
// first byte it ever held, so that trimming older text keeps the numbers), what is on the
// glass, and a way to show matches. The log view and the terminal view both offer it.

#include "terminal/utf8.h"

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace terminal {

// Absolute byte positions [start, end).
struct FindRange {
    std::uint64_t start = 0, end = 0;
    bool operator==(const FindRange&) const = default;
};

struct FindText {
    std::string_view bytes;         // valid until the view next changes
    std::uint64_t origin = 0;       // the absolute position of bytes[0]
    std::uint64_t changedFrom = 0;  // bytes from here on were rewritten since the last call
};

class FindTarget {
public:
    virtual ~FindTarget() = default;
    // The text to search, brought up to date.
    virtual FindText findText() = 0;
    // How typed text becomes the view's bytes.
    virtual CharacterSet findCharacterSet() const = 0;
    // The absolute range on the glass now (as of the view's last catch-up).
    virtual FindRange shownRange() = 0;
    // The matches to highlight, and the current one (scrolled into view when `reveal`); an
    // empty list and no current match ends the highlighting.
    virtual void showMatches(std::vector<FindRange> matches, std::optional<FindRange> current,
                             bool reveal) = 0;
};

} // namespace terminal
