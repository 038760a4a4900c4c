#pragma once
// Keeps from the engine what it handles unsoundly, across chunk boundaries:
// - "repeat the last character" (CSI n b): after a reset, or after a zero-width character, the
//   engine repeats a character of width zero and never gets to the end of the row; the caller
//   repeats the last character itself;
// - sequences of more than 16 parameters, which the engine writes past its own table with
//   (they are dropped; no terminal acts on so many);
// - strings (DCS ... ST) other than the status requests the engine answers soundly (m, r, s,
//   SP q, " q): the engine formats other requests from memory it never set, and takes a string
//   that spans writes for a request; it acts on no other string;
// - text that is not well-formed UTF-8: the engine shows it differently as it is split between
//   writes (a replacement character lost here, two there), and after some runs of it hands over
//   a code point it never decoded. Every bad byte becomes the replacement character, and a
//   character cut by the end of a read waits for the next one, so the engine only ever reads
//   whole, well-formed characters;
// - C1 controls sent as UTF-8, which the engine takes for characters of width -1 (shown as the
//   replacement character instead).
//
// Every other byte is handed on unchanged and in order. A sequence longer than 4 KB is dropped
// whole, whatever its final byte.

#include <functional>
#include <string>
#include <string_view>

namespace terminal {

class SequenceGuard {
public:
    using Pass = std::function<void(std::string_view)>;
    using Repeat = std::function<void(int count)>;

    // `pass` gets the bytes to hand on, `repeat` the count of each repeat sequence (1 and up;
    // a repeat with parameters other than one number is dropped).
    void feed(std::string_view bytes, const Pass& pass, const Repeat& repeat);

private:
    void feedRead(std::string_view bytes, const Pass& pass, const Repeat& repeat);
    void finish(char final, const Pass& pass, const Repeat& repeat);
    void escByte(char c, const Pass& pass);
    void dcsByte(char c, const Pass& pass);
    void dcsEndByte(char c, const Pass& pass);
    enum class State { Ground, Esc, Csi, Drop, Dcs, DcsDrop, DcsEnd } m_state = State::Ground;
    std::string m_held;
    long m_separators = 0;
    std::string m_heldText; // a character the last read cut short
};

} // namespace terminal
