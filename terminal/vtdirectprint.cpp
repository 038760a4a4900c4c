#include "terminal/vtdirectprint.h"

namespace terminal {

namespace {

constexpr char kEsc = '\x1b';

} // namespace

void DirectPrintGate::control(char c) {
    if (c == '\x0e') m_shift = 1; // shift out: G1
    if (c == '\x0f') m_shift = 0; // shift in: G0
    // BEL ends a string; CAN and SUB cancel it.
    if (c == '\x07' || c == '\x18' || c == '\x1a') m_string = false;
}

void DirectPrintGate::text(std::string_view bytes) {
    for (char c : bytes) {
        // A single shift waits for the next character printed (inside a string nothing is).
        if (IsPrintableAscii(c) && !m_string)
            m_engineFirst = false;
        else
            control(c);
    }
}

void DirectPrintGate::modes(std::string_view params, char final) {
    // Set or reset mode: only the plain forms switch a mode off here; any other form that
    // names it may have switched it on.
    const bool dec = !params.empty() && params[0] == '?';
    if (dec) {
        if (params.find("69") != std::string_view::npos)
            m_margins = !(final == 'l' && params == "?69");
    } else if (params.find('4') != std::string_view::npos) {
        m_insert = !(final == 'l' && params == "4");
    }
}

void DirectPrintGate::sequence(std::string_view seq) {
    for (char c : seq) control(c); // controls inside a CSI run where they stand
    if (seq.size() < 2 || seq[0] != kEsc) return;
    const char kind = seq[1], final = seq.back();
    // Any escape ends a string; ESC ] begins one, after intermediates too (the engine reads no
    // other kind).
    m_string = kind != '[' && kind != 'P' && final == ']';
    if (kind == '[') {
        if (seq.size() >= 3 && (final == 'h' || final == 'l'))
            modes(seq.substr(2, seq.size() - 3), final);
        return;
    }
    if (seq.size() == 2) {
        switch (kind) {
        case 'c': reset(); break;                   // hard reset
        case 'n': m_shift = 2; break;               // G2 shifted in
        case 'o': m_shift = 3; break;               // G3 shifted in
        case 'N': case 'O': m_engineFirst = true; break; // one character from G2 or G3
        default: break;
        }
        return;
    }
    // Designations: ( ) * + name a set of 94 for G0-G3, - . / one of 96 for G1-G3. Only
    // ASCII named plainly ("ESC ( B") keeps a set plain.
    static constexpr std::string_view kDesignators = "()*+-./";
    const std::size_t d = kDesignators.find(kind);
    if (d == std::string_view::npos) return;
    const std::size_t set = d < 4 ? d : d - 3;
    m_sets[set] = d < 4 && seq.size() == 3 && final == 'B';
}

} // namespace terminal
