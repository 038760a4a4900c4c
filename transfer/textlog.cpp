#include "transfer/textlog.h"

#include "framework/clock.h"
#include "framework/codepage.h"

#include <algorithm>

namespace transfer {
namespace {

// The length of the well-formed UTF-8 sequence that starts at `at`; 0 when the byte there
// starts none (overlong forms, surrogates, C0, C1, F5..FF, lone continuations, a cut tail).
std::size_t Utf8SequenceAt(std::string_view text, std::size_t at) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    unsigned char low = 0x80, high = 0xBF;
    std::size_t length = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : low;
        high = lead == 0xED ? 0x9F : high;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : low;
        high = lead == 0xF4 ? 0x8F : high;
    }
    if (length == 0 || at + length > text.size()) return 0;
    if (byte(at + 1) < low || byte(at + 1) > high) return 0;
    for (std::size_t i = 2; i < length; ++i)
        if (byte(at + i) < 0x80 || byte(at + i) > 0xBF) return 0;
    return length;
}

void AppendEscaped(std::string_view text, std::string& out, bool utf8 = false) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const auto b = static_cast<unsigned char>(c);
        const std::size_t sequence = utf8 && b >= 0x80 ? Utf8SequenceAt(text, i) : 0;
        if (sequence > 0) {
            out.append(text.substr(i, sequence));
            i += sequence - 1;
        } else if (b < 0x20 || b == 0x7F || b == '\\' || utf8 && b >= 0x80) {
            out.append("\\x");
            out.push_back(kDigits[b >> 4]);
            out.push_back(kDigits[b & 0xF]);
        } else if (b < 0x80) {
            out.push_back(c);
        } else {
            // Every byte of the code page is one UTF-16 unit of the Basic Multilingual Plane.
            const char16_t u = fw::AnsiToUnicode(b);
            if (u < 0x800) {
                out.push_back(static_cast<char>(0xC0 | (u >> 6)));
            } else {
                out.push_back(static_cast<char>(0xE0 | (u >> 12)));
                out.push_back(static_cast<char>(0x80 | ((u >> 6) & 0x3F)));
            }
            out.push_back(static_cast<char>(0x80 | (u & 0x3F)));
        }
    }
}

} // namespace

std::string FormatLine(std::int64_t ms, std::string_view text, bool cut, bool utf8) {
    std::string line = fw::FormatDateTime(ms);
    line.append("  ");
    AppendEscaped(text, line, utf8);
    if (cut) line.push_back('\\');
    line.push_back('\n');
    return line;
}

std::string FormatMark(std::int64_t ms, std::string_view text) {
    std::string line = fw::FormatDateTime(ms);
    line.append("\t-- ");
    AppendEscaped(text, line);
    line.append(" --\n");
    return line;
}

void LineCutter::write(bool cut, std::string& out) {
    out += FormatLine(m_stamp, m_line, cut, m_utf8);
    m_line.clear();
    m_open = false;
}

void LineCutter::received(std::string_view text, std::size_t erase, std::int64_t ms,
                          std::string& out) {
    if (m_open && erase > 0) {
        m_line.resize(m_line.size() - std::min(erase, m_line.size()));
        // A line erased entirely is as if it had never begun.
        if (m_line.empty()) m_open = false;
    }
    std::size_t i = 0;
    while (i < text.size()) {
        if (!m_open) {
            m_open = true;
            m_stamp = ms;
        }
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            // A break is CR LF in the text view; either half ends the line once.
            const bool pair = c == '\r' && i + 1 < text.size() && text[i + 1] == '\n';
            write(false, out);
            i += pair ? 2 : 1;
            continue;
        }
        if (m_line.size() == kMaxLine) {
            write(true, out);
            continue;
        }
        const std::size_t room = kMaxLine - m_line.size();
        std::size_t run = i;
        while (run < text.size() && run - i < room && text[run] != '\r' && text[run] != '\n')
            ++run;
        m_line.append(text.substr(i, run - i));
        i = run;
    }
}

void LineCutter::pause(std::string& out) {
    if (m_open) write(true, out);
}

void LineCutter::finish(std::string& out) {
    if (m_open) write(false, out);
}

} // namespace transfer
