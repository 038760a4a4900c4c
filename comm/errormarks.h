#pragma once
// Decoder of the in-band error marks that PARMRK puts into the input stream. Stateful, so
// that a mark split across two reads decodes as if it had come in one.

#include <cstddef>
#include <string>
#include <vector>

namespace comm {

struct MarkEvent {
    enum Kind { BadByte, Break } kind;
    std::size_t position; // index in the output of decode() at which the event happened
    unsigned char byte;   // the byte received with the error (BadByte only)
};

class ErrorMarkDecoder {
public:
    // Appends the plain data of `in` to `out` (0xFF 0xFF becomes one 0xFF, marks are taken
    // out) and the marks found to `events`. A bad byte is appended to `out` as received, at
    // `position`, so that the caller may replace it; a break adds nothing to `out`.
    // Bytes that may begin an unfinished mark are held until the next call.
    void decode(const char* in, std::size_t n, std::string& out, std::vector<MarkEvent>& events);

    // Bytes held back (0, 1 or 2).
    std::size_t pending() const { return m_state; }
    void reset() { m_state = 0; }

private:
    std::size_t m_state = 0; // 0 plain, 1 after 0xFF, 2 after 0xFF 0x00
};

} // namespace comm
