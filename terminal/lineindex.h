#pragma once
// Where each line of the screen's text starts, kept up to date as the text changes, in time
// proportional to the change: a line ends after each LF (a CR on its own is not a break, and
// the CR of a CR LF belongs to the line it ends). The text always has at least one line.
//
// Positions are byte offsets into the current text. Internally each break is kept as an
// absolute position (counted from the first byte the text ever held), so cutting bytes off the
// front only drops the breaks it passes and moves one origin.
//
// Data kept per line (say a time stamp) can live in a store parallel to the breaks and follow
// `trimFront` and `replaceFrom` the same way: `lineId(i)` names a line for as long as it lives.

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace terminal {

class LineIndex {
public:
    // Index of `text` from scratch. Its positions are new: none of the old text's absolute
    // positions names a byte of it.
    void reset(std::string_view text);

    // The first `n` bytes went away.
    void trimFront(std::size_t n);

    // Everything from `position` on changed; `text` is the whole text after the change.
    void replaceFrom(std::size_t position, std::string_view text);

    std::size_t count() const { return m_breaks.size() - m_first + 1; }
    // First byte of line `i` (0 <= i < count()).
    std::size_t start(std::size_t i) const {
        return i == 0 ? 0 : static_cast<std::size_t>(m_breaks[m_first + i - 1] - m_origin);
    }
    // One past the last byte of line `i`, its LF included; `length` is the text's length.
    std::size_t end(std::size_t i, std::size_t length) const {
        return i + 1 < count() ? start(i + 1) : length;
    }
    // The line holding byte `position` (a position at a line's very start belongs to it).
    std::size_t lineOf(std::size_t position) const;
    // A name of line `i` that stays the same while the line lives, whatever is cut before it.
    std::uint64_t lineId(std::size_t i) const {
        return i == 0 ? m_origin : m_breaks[m_first + i - 1];
    }
    // The absolute position of the text's first byte: absolute = origin() + position.
    std::uint64_t origin() const { return m_origin; }
    // False while the first line is what a trim left of a longer line.
    bool firstLineWhole() const { return m_firstWhole; }
    // The first line that starts where a line really started: 0, or 1 after a trim that cut
    // into a line (0 again when that cut line is the only one).
    std::size_t firstWholeLine() const { return m_firstWhole || count() == 1 ? 0 : 1; }

private:
    void compact();

    std::vector<std::uint64_t> m_breaks; // absolute position right after each LF, ascending
    std::size_t m_first = 0;             // breaks before this one were cut off
    std::uint64_t m_origin = 0;          // absolute position of the text's first byte
    std::uint64_t m_end = 0;             // absolute position one past its last byte
    bool m_firstWhole = true;            // the first line starts at a line's start
};

} // namespace terminal
