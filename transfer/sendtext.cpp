#include "transfer/sendtext.h"

#include <cstdio>

namespace transfer {
namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool IsSeparator(char c) {
    return c == ' ' || c == '\t' || c == ',';
}

// A character as an error message shows it: itself when printable, else its number.
std::string Shown(char c) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte != 0x7f) return std::string("'") + c + "'";
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", byte);
    return text;
}

ParseError ErrorAt(std::size_t position, const std::string& what) {
    return {position, what + " at column " + std::to_string(position + 1)};
}

bool StartsPrefix(std::string_view s, std::size_t i) {
    return i + 1 < s.size() && (s[i] == '0' || s[i] == '\\') &&
           (s[i + 1] == 'x' || s[i + 1] == 'X');
}

// One escape of a macro at text[i] == '\\': appends its step and returns where the text goes
// on, or the error.
std::variant<std::size_t, ParseError> Escape(std::string_view text, std::size_t i,
                                             SendItems& items) {
    const auto addByte = [&items](char byte) {
        if (items.empty() || items.back().kind != SendItem::Kind::Bytes) items.push_back({});
        items.back().bytes += byte;
    };
    if (i + 1 == text.size()) return ErrorAt(i, "A backslash ends the text");
    switch (const char e = text[i + 1]) {
    case 'r':
        addByte('\r');
        return i + 2;
    case 'n':
        addByte('\n');
        return i + 2;
    case 't':
        addByte('\t');
        return i + 2;
    case 'b':
        addByte('\b');
        return i + 2;
    case '\\':
        addByte('\\');
        return i + 2;
    case 'B':
        items.push_back({SendItem::Kind::Break, {}, kBreakMs});
        return i + 2;
    case 'x': {
        const int high = i + 2 < text.size() ? HexValue(text[i + 2]) : -1;
        const int low = i + 3 < text.size() ? HexValue(text[i + 3]) : -1;
        if (high < 0 || low < 0) return ErrorAt(i, "\\x needs two hex digits");
        addByte(static_cast<char>(high << 4 | low));
        return i + 4;
    }
    case 'd': {
        std::size_t j = i + 2;
        std::int64_t ms = 0;
        for (; j < text.size() && text[j] >= '0' && text[j] <= '9'; ++j)
            if (ms <= kMaxPauseMs) ms = ms * 10 + (text[j] - '0');
        if (j == i + 2) return ErrorAt(i, "\\d needs a number of milliseconds");
        if (ms > kMaxPauseMs)
            return ErrorAt(i, "A pause longer than " + std::to_string(kMaxPauseMs) + " ms");
        items.push_back({SendItem::Kind::Pause, {}, static_cast<int>(ms)});
        return j;
    }
    default:
        return ErrorAt(i, "Unknown escape \\" + std::string(1, e));
    }
}

} // namespace

Parsed<std::string> ParseHex(std::string_view field) {
    std::string out;
    std::size_t i = 0;
    while (i < field.size()) {
        if (IsSeparator(field[i])) {
            ++i;
            continue;
        }
        const std::size_t start = i;
        const bool prefixed = StartsPrefix(field, i);
        if (prefixed) i += 2;
        std::size_t end = i;
        while (end < field.size() && HexValue(field[end]) >= 0)
            ++end;
        // A number ends at a separator, the end, or the next "\x".
        const bool ended = end == field.size() || IsSeparator(field[end]) ||
                           (end > i && StartsPrefix(field, end) && field[end] == '\\');
        if (!ended) return ErrorAt(end, "Not a hex digit: " + Shown(field[end]));
        if (end == i)
            return ErrorAt(start, "\"" + std::string(field.substr(start, 2)) + "\" with no digits");
        if ((end - i) % 2 != 0)
            return ErrorAt(start, "An odd number of hex digits (" + std::to_string(end - i) + ")");
        for (; i < end; i += 2)
            out += static_cast<char>(HexValue(field[i]) << 4 | HexValue(field[i + 1]));
    }
    return out;
}

Parsed<SendItems> ParseMacro(std::string_view text) {
    SendItems items;
    std::size_t i = 0;
    while (i < text.size()) {
        if (text[i] != '\\') {
            // Plain characters go out as they are, gathered into one Bytes step.
            std::size_t end = text.find('\\', i);
            if (end == std::string_view::npos) end = text.size();
            if (items.empty() || items.back().kind != SendItem::Kind::Bytes) items.push_back({});
            items.back().bytes.append(text.substr(i, end - i));
            i = end;
            continue;
        }
        auto next = Escape(text, i, items);
        if (auto* error = std::get_if<ParseError>(&next)) return *error;
        i = std::get<std::size_t>(next);
    }
    return items;
}

std::string ItemBytes(const SendItems& items) {
    std::string bytes;
    for (const SendItem& item : items)
        if (item.kind == SendItem::Kind::Bytes) bytes += item.bytes;
    return bytes;
}

std::string DescribeItems(const SendItems& items, std::size_t maxBytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    std::size_t shown = 0, total = 0;
    const auto add = [&out](const std::string& part) {
        if (!out.empty()) out += ' ';
        out += part;
    };
    for (const SendItem& item : items) {
        total += item.bytes.size();
        if (shown >= maxBytes) continue;
        if (item.kind == SendItem::Kind::Pause) add("[pause " + std::to_string(item.ms) + " ms]");
        if (item.kind == SendItem::Kind::Break) add("[Break]");
        for (std::size_t k = 0; k < item.bytes.size() && shown < maxBytes; ++k, ++shown) {
            const auto byte = static_cast<unsigned char>(item.bytes[k]);
            add(std::string{digits[byte >> 4], digits[byte & 15]});
        }
    }
    if (total > shown) add("... (" + std::to_string(total) + " bytes in all)");
    return out;
}

std::string_view LineEndingBytes(LineEnding ending) {
    constexpr std::string_view kBytes[kLineEndingCount] = {"", "\r", "\n", "\r\n"};
    const auto index = static_cast<int>(ending);
    return index >= 0 && index < kLineEndingCount ? kBytes[index] : std::string_view();
}

PastePlan PlanPaste(std::string_view text, std::string_view enter) {
    PastePlan plan;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            plan.bytes += enter;
            continue;
        }
        const auto byte = static_cast<unsigned char>(c);
        if ((byte < 0x20 && c != '\t') || byte == 0x7f) plan.controls = true;
        plan.bytes += c;
    }
    plan.mustAsk = plan.controls || plan.bytes.size() > kPasteAskAbove;
    return plan;
}

} // namespace transfer
