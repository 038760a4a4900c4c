// The in-band error-mark decoder: however the stream is split into reads, it decodes to the
// same data and the same marks, never grows the data, and holds back at most two bytes.
// Applying the marks gives one error per mark, spends no count it was not given, and adds a
// byte only for a break mark that counts called a bad byte; silent counts change nothing.

#include "comm/errormarks.h"
#include "tests/fuzz/fuzzcheck.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace {

bool SameEvents(const std::vector<comm::MarkEvent>& a, const std::vector<comm::MarkEvent>& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (a[i].kind != b[i].kind || a[i].position != b[i].position ||
            (a[i].kind == comm::MarkEvent::BadByte && a[i].byte != b[i].byte))
            return false;
    return true;
}

// Applies the marks with counts taken from `cut` and checks what any application must hold.
void CheckApplied(const std::string& chunk, const std::vector<comm::MarkEvent>& marks,
                  unsigned cut) {
    const bool parityOn = cut & 1;
    std::optional<comm::MarkBudget> budget =
        comm::MarkBudget{(cut >> 1) & 3, (cut >> 3) & 3, (cut >> 5) & 3};
    const comm::MarkBudget given = *budget;
    std::string in;
    std::vector<comm::MarkError> errors;
    comm::ApplyMarks(chunk, marks, budget, parityOn, "?", in, errors);
    FUZZ_CHECK(errors.size() == marks.size());
    FUZZ_CHECK(budget->frame <= given.frame && budget->parity <= given.parity &&
               budget->brk <= given.brk);
    std::size_t added = 0;
    for (std::size_t i = 0; i < marks.size(); ++i)
        added += marks[i].kind == comm::MarkEvent::Break && errors[i] != comm::MarkError::Break;
    FUZZ_CHECK(in.size() == chunk.size() + added);

    std::optional<comm::MarkBudget> none, silent = comm::MarkBudget{};
    std::string inNone, inSilent;
    std::vector<comm::MarkError> errorsNone, errorsSilent;
    comm::ApplyMarks(chunk, marks, none, parityOn, "?", inNone, errorsNone);
    comm::ApplyMarks(chunk, marks, silent, parityOn, "?", inSilent, errorsSilent);
    FUZZ_CHECK(inNone == inSilent && errorsNone == errorsSilent);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    // The first byte chooses how the rest is cut into reads.
    const unsigned cut = data[0];
    const char* stream = reinterpret_cast<const char*>(data + 1);
    const std::size_t n = size - 1;

    comm::ErrorMarkDecoder whole;
    std::string wholeOut;
    std::vector<comm::MarkEvent> wholeEvents;
    whole.decode(stream, n, wholeOut, wholeEvents);
    FUZZ_CHECK(whole.pending() <= 2);
    FUZZ_CHECK(wholeOut.size() <= n);

    comm::ErrorMarkDecoder pieces;
    std::string piecesOut;
    std::vector<comm::MarkEvent> piecesEvents;
    std::size_t at = 0, step = 0;
    while (at < n) {
        const std::size_t len = std::min<std::size_t>(n - at, 1 + (cut >> (step++ % 8)) % 7);
        pieces.decode(stream + at, len, piecesOut, piecesEvents);
        FUZZ_CHECK(pieces.pending() <= 2);
        at += len;
    }
    FUZZ_CHECK(piecesOut == wholeOut);
    FUZZ_CHECK(SameEvents(piecesEvents, wholeEvents));
    FUZZ_CHECK(pieces.pending() == whole.pending());

    for (const comm::MarkEvent& e : wholeEvents) {
        if (e.kind == comm::MarkEvent::BadByte) {
            FUZZ_CHECK(e.position < wholeOut.size());
            FUZZ_CHECK(static_cast<unsigned char>(wholeOut[e.position]) == e.byte);
        } else {
            FUZZ_CHECK(e.position <= wholeOut.size());
        }
    }
    CheckApplied(wholeOut, wholeEvents, cut);

    // A stream without 0xFF is plain data.
    bool anyMark = false;
    for (std::size_t i = 0; i < n; ++i)
        anyMark = anyMark || static_cast<unsigned char>(stream[i]) == 0xFF;
    if (!anyMark) FUZZ_CHECK(wholeOut == std::string(stream, n) && wholeEvents.empty());
    return 0;
}
