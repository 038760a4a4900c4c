#pragma once
// Lines that scrolled off the top of the normal screen, kept compactly: each line is one
// string holding its attribute runs and then its text in UTF-8 (trailing default blanks
// dropped), about 1.5-2 bytes per cell of a coloured log line instead of 16.
//
// The oldest lines go once the limit is reached; lines are numbered from the first line ever
// kept, so a view can hold on to a line while newer ones push older ones out.

#include "terminal/vtcell.h"

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>

namespace terminal {

// The scrollback limits the user may choose, and the default.
constexpr std::size_t kScrollbackDefault = 10000;
constexpr std::size_t kScrollbackMax = 1000000;

// A row in the compact form, and back; a row decodes to `cols` cells (cut or padded with
// default blanks). Damaged input decodes to what it still holds, never beyond its end.
std::string EncodeRow(const VtRow& row);
VtRow DecodeRow(std::string_view line, int cols);
// The row's text in UTF-8, trailing blanks dropped.
std::string RowText(const VtRow& row);
void AppendUtf8(std::string& out, char32_t c);

class VtScrollback {
public:
    explicit VtScrollback(std::size_t limit = kScrollbackDefault);

    // Clamped to 1..kScrollbackMax; the oldest lines beyond it go at once.
    void setLimit(std::size_t limit);
    std::size_t limit() const { return m_limit; }
    std::size_t size() const { return m_lines.size(); }
    // How many lines have gone off the front since the start (the number of line 0).
    std::uint64_t dropped() const { return m_dropped; }

    void push(const VtRow& row);
    VtRow line(std::size_t i, int cols) const { return DecodeRow(m_lines.at(i), cols); }
    std::string text(std::size_t i) const;
    // Every line gone; the numbering goes on.
    void clear();
    // Bytes held: the strings' heap blocks and the strings themselves.
    std::size_t bytes() const { return m_bytes; }

private:
    static std::size_t costOf(const std::string& s);
    std::deque<std::string> m_lines;
    std::size_t m_limit;
    std::uint64_t m_dropped = 0;
    std::size_t m_bytes = 0;
};

} // namespace terminal
