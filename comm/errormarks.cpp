#include "comm/errormarks.h"

#include <cstring>

namespace comm {

void ErrorMarkDecoder::decode(const char* in, std::size_t n, std::string& out,
                              std::vector<MarkEvent>& events) {
    constexpr char kMark = '\xFF';
    for (std::size_t i = 0; i < n; ++i) {
        if (m_state == 0) {
            // Plain data up to the next mark goes over in one piece: a flood has no marks.
            const void* mark = std::memchr(in + i, kMark, n - i);
            const std::size_t end = mark ? static_cast<std::size_t>(static_cast<const char*>(mark) - in) : n;
            out.append(in + i, end - i);
            if (!mark) return;
            m_state = 1;
            i = end;
            continue;
        }
        const char c = in[i];
        switch (m_state) {
        case 1:
            if (c == kMark) {
                out += kMark; // a doubled 0xFF is one data byte
                m_state = 0;
            } else if (c == '\0') {
                m_state = 2;
            } else {
                // Not a mark the line discipline makes: keep both bytes as data.
                out += kMark;
                out += c;
                m_state = 0;
            }
            break;
        default:
            if (c == '\0') {
                events.push_back({MarkEvent::Break, out.size(), 0});
            } else {
                events.push_back({MarkEvent::BadByte, out.size(), static_cast<unsigned char>(c)});
                out += c;
            }
            m_state = 0;
            break;
        }
    }
}

namespace {

bool Spend(std::optional<MarkBudget>& budget, std::uint32_t MarkBudget::*count) {
    if (!budget || (*budget).*count == 0) return false;
    --((*budget).*count);
    return true;
}

} // namespace

MarkError ClassifyMark(MarkEvent::Kind kind, std::optional<MarkBudget>& budget, bool parityOn) {
    const bool isBreak = kind == MarkEvent::Break;
    if (isBreak && Spend(budget, &MarkBudget::brk)) return MarkError::Break;
    if (Spend(budget, &MarkBudget::parity)) return MarkError::Parity;
    if (Spend(budget, &MarkBudget::frame)) return MarkError::Frame;
    if (isBreak) return MarkError::Break;
    return parityOn ? MarkError::Parity : MarkError::Frame;
}

void ApplyMarks(std::string_view chunk, const std::vector<MarkEvent>& marks,
                std::optional<MarkBudget>& budget, bool parityOn, std::string_view parityReplace,
                std::string& in, std::vector<MarkError>& errors) {
    std::size_t from = 0;
    for (const MarkEvent& m : marks) {
        in.append(chunk, from, m.position - from);
        from = m.position;
        const MarkError error = ClassifyMark(m.kind, budget, parityOn);
        errors.push_back(error);
        if (error == MarkError::Break) continue; // a break carries no data byte
        // A mark that the counts call a bad NUL byte stands for that byte.
        const bool replace = error == MarkError::Parity && !parityReplace.empty();
        in += replace ? parityReplace.front() : static_cast<char>(m.byte);
        if (m.kind == MarkEvent::BadByte) ++from;
    }
    in.append(chunk, from);
}

} // namespace comm
