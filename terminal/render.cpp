#include "terminal/render.h"

#include <algorithm>

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
    std::size_t erase = 0;
    std::size_t kept = 0;
    for (const char c : s) {
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

std::string TextView(std::string_view s) {
    std::string out;
    out.reserve(s.size() + s.size() / 8);
    for (const char c : s) {
        if (c == '\n' || c == '\0') continue;
        out.push_back(c);
        if (c == '\r') out.push_back('\n');
    }
    return out;
}

std::string TextView(std::string_view s, TextBreaks& breaks) {
    switch (breaks.mode) {
    case LineBreaks::CR:
        breaks.afterCR = false;
        breaks.heldCRs = 0;
        for (const char c : s) {
            if (c == '\0') continue; // keeps a CR LF together, as it shows
            breaks.loneLF = breaks.loneLF || (c == '\n' && !breaks.lastCR);
            breaks.lastCR = c == '\r';
        }
        return TextView(s);
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
