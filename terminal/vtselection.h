#pragma once
// A selection on the terminal's lines (scrollback and screen), and the text it copies. Lines
// are numbered absolutely (the scrollback's first line ever is 0), so a selection stays on its
// text while newer lines arrive; lines that have left the scrollback are skipped.

#include "terminal/vtscreen.h"

#include <cstdint>
#include <string>
#include <utility>

namespace terminal {

struct VtPoint {
    std::uint64_t line = 0;
    int col = 0;
    auto operator<=>(const VtPoint&) const = default;
};

enum class SelectUnit { Cell, Word, Line };

struct VtSelection {
    VtPoint anchor, head;
    SelectUnit unit = SelectUnit::Cell;
    bool active = false;
    // [start, end) in cells, widened to whole words or lines as `unit` says.
    std::pair<VtPoint, VtPoint> range(const VtScreen& screen) const;
};

// [start, end) of the word (letters, digits and _-./~:@ ) or the run of blanks at `col`.
std::pair<int, int> WordAt(const VtRow& row, int col);

// The text from `from` to `to` (cells, end excluded): rows joined by line breaks, except where
// a row wrapped into the next; trailing blanks of each line dropped.
std::string SelectedText(const VtScreen& screen, VtPoint from, VtPoint to);

} // namespace terminal
