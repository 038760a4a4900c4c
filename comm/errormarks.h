#pragma once
// The in-band error marks that PARMRK puts into the input stream: a decoder, stateful so that
// a mark split across two reads decodes as if it had come in one, and the rules that tell,
// with the driver's error counts where it keeps them, what each mark was. Pure.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
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

// The driver's frame, parity and break counts that marks have not yet accounted for.
struct MarkBudget {
    std::uint32_t frame = 0, parity = 0, brk = 0;
};

enum class MarkError { Frame, Parity, Break };

// What one mark was. Counts not yet spent decide first, and the one that decides is spent: a
// break mark takes a break count, then (a bad NUL byte) a parity count, then a frame count; a
// bad byte takes a parity count, then a frame count. Without counts (`budget` empty) or once
// they are spent, a break mark is a break, a bad byte a parity error while parity is on and a
// frame error while it is off.
MarkError ClassifyMark(MarkEvent::Kind kind, std::optional<MarkBudget>& budget, bool parityOn);

// Appends `chunk` (what decode() gave for one read) to `in` with its `marks` applied, and the
// error of each mark to `errors`, in order. A break adds no byte; a bad byte, or a break mark
// that the counts call a bad NUL byte, adds the byte received, or for a parity error the first
// byte of `parityReplace` when it has one.
void ApplyMarks(std::string_view chunk, const std::vector<MarkEvent>& marks,
                std::optional<MarkBudget>& budget, bool parityOn, std::string_view parityReplace,
                std::string& in, std::vector<MarkError>& errors);

} // namespace comm
