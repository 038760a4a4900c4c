#include "terminal/vtguard.h"

#include "terminal/utf8.h"

#include <algorithm>

namespace terminal {

namespace {

constexpr std::size_t kMaxHeld = 4096;
// The most parameters the engine keeps room for.
constexpr long kMaxParams = 16;
constexpr char kEsc = '\x1b';
constexpr std::string_view kReplacement = "\xef\xbf\xbd";

} // namespace

void SequenceGuard::finish(char final, const Pass& pass, const Repeat& repeat) {
    if (final != 'b') {
        m_held += final;
        pass(m_held);
    } else {
        const std::string_view params = std::string_view(m_held).substr(2);
        if (std::all_of(params.begin(), params.end(), [](char c) { return c >= '0' && c <= '9'; })) {
            long count = 0;
            for (char c : params) count = std::min(count * 10 + (c - '0'), 65535L);
            repeat(static_cast<int>(std::max(count, 1L)));
        }
    }
    m_held.clear();
    m_state = State::Ground;
}

void SequenceGuard::dcsByte(char c, const Pass& pass) {
    // m_held is ESC P and what followed; only a status request is held to its end.
    static constexpr std::string_view kSound[] = {"m", "r", "s", " q", "\"q"};
    const auto u = static_cast<unsigned char>(c);
    if (c == '\0' || c == '\x7f') return; // the engine skips these inside a string
    if (c == '\x18' || c == '\x1a') { // cancelled
        pass(std::string_view(&c, 1));
        m_held.clear();
        m_state = State::Ground;
        return;
    }
    if (u < 0x20 && c != kEsc && c != '\x07') { // run where it stands; the request goes on
        pass(std::string_view(&c, 1));
        return;
    }
    if (m_state == State::DcsDrop) {
        if (c == '\x07') m_state = State::Ground;
        if (c == kEsc) {
            m_held.assign(1, kEsc);
            m_state = State::Esc;
        }
        return;
    }
    if (c == kEsc || c == '\x07') {
        const std::string_view request = std::string_view(m_held).substr(std::min<std::size_t>(4, m_held.size()));
        const bool sound = std::find(std::begin(kSound), std::end(kSound), request) != std::end(kSound);
        // The engine answers a request only when it comes whole in one write, with its end.
        if (!sound) m_held.clear();
        m_held += c;
        if (c == kEsc) {
            m_state = State::DcsEnd;
        } else {
            if (sound) pass(m_held);
            m_held.clear();
            m_state = State::Ground;
        }
        return;
    }
    m_held += c;
    const std::string_view body = std::string_view(m_held).substr(2);
    if (body.size() <= 2 && std::string_view("$q").substr(0, body.size()) == body) return;
    // The engine acts on no other string, and one that comes in more than one write can reach
    // it as a status request: it is dropped to its end.
    if (body.substr(0, 2) != "$q" || body.size() > 8) {
        m_held.clear();
        m_state = State::DcsDrop;
    }
}

void SequenceGuard::escByte(char c, const Pass& pass) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '[' || c == 'P') {
        // The engine starts the sequence whatever intermediates came before.
        m_held.assign(1, kEsc);
        m_held += c;
        m_separators = 0;
        m_state = c == '[' ? State::Csi : State::Dcs;
    } else if (c == kEsc) {
        // The escape is abandoned, and never handed on: the engine would wait inside it, and
        // read what comes after a sequence dropped here as its continuation.
        m_held.assign(1, kEsc);
    } else if (u >= 0x7f || c == '\0') {
        // skipped by the engine, which stays in the escape
    } else if (u < 0x20 && c != '\x18' && c != '\x1a') {
        pass(std::string_view(&c, 1)); // runs where it stands; the escape goes on
    } else if (u >= 0x20 && u < 0x30) {
        if (m_held.size() < 16) m_held += c; // an intermediate waits for the final byte
    } else {
        m_held += c;
        pass(m_held);
        m_held.clear();
        m_state = State::Ground;
    }
}

void SequenceGuard::dcsEndByte(char c, const Pass& pass) {
    // m_held is the sound request and its ESC, or ESC alone for a request already dropped.
    const auto u = static_cast<unsigned char>(c);
    if (c == '\0' || c == '\x7f') return;
    if (c == '\\') {
        if (m_held.size() > 1) pass(m_held + c);
    } else if (c == '\x18' || c == '\x1a') {
        pass(std::string_view(&c, 1));
    } else if (u < 0x20 && c != kEsc) {
        pass(std::string_view(&c, 1));
        return;
    } else { // the request is abandoned and this byte goes on in an escape
        m_held.assign(1, kEsc);
        m_state = State::Esc;
        if (c != kEsc) escByte(c, pass);
        return;
    }
    m_held.clear();
    m_state = State::Ground;
}

void SequenceGuard::feed(std::string_view bytes, const Pass& pass, const Repeat& repeat) {
    if (m_heldText.empty()) return feedRead(bytes, pass, repeat);
    // The character the last read cut short goes on in this one.
    std::string joined = std::move(m_heldText);
    m_heldText.clear();
    joined += bytes;
    feedRead(joined, pass, repeat);
}

void SequenceGuard::feedRead(std::string_view bytes, const Pass& pass, const Repeat& repeat) {
    std::size_t start = 0; // bytes from here on are handed on as they are
    for (std::size_t i = start; i < bytes.size(); ++i) {
        const char c = bytes[i];
        const auto u = static_cast<unsigned char>(c);
        if (m_state == State::Ground) {
            if (u >= 0x80) {
                const Utf8Char ch = DecodeUtf8At(bytes, i);
                // The engine reads U+0080..U+009F as a character of width -1: the cursor steps
                // back and the next character covers the one before it.
                const bool c1 = ch.valid && ch.code < 0xA0;
                if (ch.valid && !c1) {
                    i += ch.length - 1u;
                    continue;
                }
                if (i > start) pass(bytes.substr(start, i - start));
                if (Utf8Incomplete(bytes.substr(i))) {
                    m_heldText.assign(bytes.substr(i));
                    return;
                }
                pass(kReplacement);
                start = i + ch.length;
                i = start - 1;
                continue;
            }
            if (c != kEsc) continue;
            if (i > start) pass(bytes.substr(start, i - start));
            m_held.assign(1, kEsc);
            m_state = State::Esc;
        } else if (m_state == State::Esc) {
            escByte(c, pass);
        } else if (m_state == State::Dcs || m_state == State::DcsDrop) {
            dcsByte(c, pass);
        } else if (m_state == State::DcsEnd) {
            dcsEndByte(c, pass);
        } else if (c == kEsc || c == '\x18' || c == '\x1a') {
            // The sequence is abandoned (the engine would do nothing with it); ESC starts the
            // next one.
            if (c == kEsc) {
                m_held.assign(1, kEsc);
                m_state = State::Esc;
            } else {
                pass(bytes.substr(i, 1));
                m_held.clear();
                m_state = State::Ground;
            }
        } else if (u >= 0x40 && u <= 0x7E) {
            if (m_state == State::Csi) {
                finish(c, pass, repeat);
            } else {
                m_held.clear();
                m_state = State::Ground;
            }
        } else if (m_state == State::Csi) {
            m_held += c;
            // Too many parameters hurt the engine as they are read: it never sees them.
            if (c == ';' || c == ':') ++m_separators;
            if (m_held.size() > kMaxHeld || m_separators >= kMaxParams) {
                m_held.clear();
                m_state = State::Drop;
            }
        }
        start = i + 1;
    }
    if (m_state == State::Ground && start < bytes.size()) pass(bytes.substr(start));
}

} // namespace terminal
