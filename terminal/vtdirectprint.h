#pragma once
// Whether printable ASCII may be written straight into the grid, past the engine: true while the
// engine would print each such byte as itself, one cell after the other, from the cursor on.
// That holds unless the character sets map ASCII to other glyphs (a line-drawing set, or a
// national one, shifted in), insert mode pushes the row's cells right, left and right margins
// may end the line early, or the text is inside a string (a window title) the engine reads
// to its end. The gate follows what was written to the engine: every
// sequence (as the sequence guard hands it on) and every run of text.
//
// It errs one way only: whatever it cannot be sure of keeps the engine printing.

#include <array>
#include <string_view>

namespace terminal {

// A byte the engine prints as a character of its own (in ASCII, one cell).
inline bool IsPrintableAscii(char c) { return c >= 0x20 && c < 0x7f; }

class DirectPrintGate {
public:
    // A whole sequence, ESC first.
    void sequence(std::string_view seq);
    // Bytes written to the engine as text (controls among them).
    void text(std::string_view bytes);
    // After the engine's hard reset.
    void reset() { *this = DirectPrintGate{}; }
    // The engine's left and right margins are off (it was told so).
    void marginsOff() { m_margins = false; }

    // ASCII prints as itself, one cell each.
    bool open() const {
        return m_sets[static_cast<std::size_t>(m_shift)] && !m_insert && !m_margins && !m_string;
    }
    // The next printable byte must still go to the engine: a single shift waits for it. (Text
    // reaches the engine as whole, well-formed characters, so its UTF-8 reader holds nothing
    // between writes.)
    bool engineFirst() const { return m_engineFirst; }

private:
    void control(char c);
    void modes(std::string_view params, char final);

    std::array<bool, 4> m_sets{true, true, true, true}; // G0-G3 hold ASCII
    int m_shift = 0;                                    // the set shifted in
    bool m_insert = false, m_margins = false, m_engineFirst = false, m_string = false;
};

} // namespace terminal
