#include "terminal/render.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace terminal {

std::size_t EraseStart(std::string_view text, std::size_t count, CharacterSet set) {
    if (set == CharacterSet::Western) return text.size() - std::min(count, text.size());
    std::size_t at = text.size();
    for (; count > 0 && at > 0; --count)
        at = Utf8PreviousStart(text, at);
    return at;
}

std::size_t ApplyBackspaces(std::string& s, CharacterSet set) {
    // Erasing the character before each backspace, from the first backspace on, is the same
    // as one pass that keeps what survives.
    // Most chunks have none: everything before the first one is kept as it is.
    const void* first = std::memchr(s.data(), '\b', s.size());
    if (!first) return 0;
    std::size_t erase = 0;
    std::size_t kept = static_cast<std::size_t>(static_cast<const char*>(first) - s.data());
    for (const char c : std::string_view(s).substr(kept)) {
        if (c != '\b') {
            s[kept++] = c;
        } else if (kept > 0) {
            kept = set == CharacterSet::Western ? kept - 1
                                                : Utf8PreviousStart(std::string_view(s.data(), kept), kept);
        } else {
            ++erase;
        }
    }
    s.resize(kept);
    return erase;
}

namespace {

// Bytes that the CR view does not copy as they are: CR, LF and NUL.
constexpr std::array<bool, 256> kCrSpecial = [] {
    std::array<bool, 256> t{};
    t['\r'] = t['\n'] = t['\0'] = true;
    return t;
}();

// The CR view of `s` appended to `out`, the runs between special bytes copied whole. With
// `breaks`, it notes whether the last byte shown was a CR and whether an LF came without one.
void AppendCrView(std::string_view s, std::string& out, TextBreaks* breaks) {
    const char* p = s.data();
    const char* const end = p + s.size();
    bool lastCR = breaks && breaks->lastCR;
    bool loneLF = breaks && breaks->loneLF;
    while (p < end) {
        const char* q = p;
        while (q < end && !kCrSpecial[static_cast<unsigned char>(*q)])
            ++q;
        if (q > p) {
            out.append(p, q);
            lastCR = false;
        }
        if (q == end) break;
        if (*q == '\r') {
            out.append("\r\n");
            lastCR = true;
        } else if (*q == '\n') {
            loneLF = loneLF || !lastCR;
            lastCR = false;
        } // a NUL shows as nothing, and keeps a CR LF together
        p = q + 1;
    }
    if (breaks) {
        breaks->lastCR = lastCR;
        breaks->loneLF = loneLF;
    }
}

} // namespace

std::string TextView(std::string_view s) {
    std::string out;
    out.reserve(s.size() + s.size() / 8);
    AppendCrView(s, out, nullptr);
    return out;
}

std::string TextView(std::string_view s, TextBreaks& breaks) {
    switch (breaks.mode) {
    case LineBreaks::CR: {
        breaks.afterCR = false;
        breaks.heldCRs = 0;
        std::string out;
        out.reserve(s.size() + s.size() / 8);
        AppendCrView(s, out, &breaks);
        return out;
    }
    case LineBreaks::LF: {
        breaks.afterCR = false;
        breaks.heldCRs = 0;
        std::string out;
        out.reserve(s.size() + s.size() / 8);
        for (const char c : s) {
            if (c == '\r' || c == '\0') continue;
            if (c == '\n') out.push_back('\r');
            out.push_back(c);
        }
        return out;
    }
    case LineBreaks::Auto:
        break;
    }
    std::string out;
    out.reserve(s.size() + s.size() / 8);
    bool afterCR = breaks.afterCR;
    // The first CR of a run breaks at once; the rest wait to see whether an LF ends the run
    // (CR CR LF from a cooked tty is one break) or something else does (each its own break).
    std::size_t held = afterCR ? breaks.heldCRs : 0;
    for (const char c : s) {
        if (c == '\0') continue; // shows as nothing, and keeps a CR LF together
        if (c == '\r' && afterCR) {
            ++held;
            continue;
        }
        if (c == '\n' && afterCR) {
            afterCR = false;
            held = 0;
            continue;
        }
        for (; held > 0; --held)
            out.append("\r\n");
        afterCR = c == '\r';
        if (c == '\r' || c == '\n')
            out.append("\r\n");
        else
            out.push_back(c);
    }
    breaks.afterCR = afterCR;
    breaks.heldCRs = held;
    return out;
}

std::string HexView(std::string_view s) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    // Sized once and written through a pointer: this runs on every chunk of a flood.
    const auto breaks = static_cast<std::size_t>(std::count(s.begin(), s.end(), '\n'));
    std::string out(s.size() * 3 + breaks * 2, '\0');
    char* dst = out.data();
    for (const char c : s) {
        const auto b = static_cast<unsigned char>(c);
        *dst++ = kDigits[b >> 4];
        *dst++ = kDigits[b & 0xF];
        *dst++ = ' ';
        if (b == '\n') {
            *dst++ = '\r';
            *dst++ = '\n';
        }
    }
    return out;
}

} // namespace terminal
