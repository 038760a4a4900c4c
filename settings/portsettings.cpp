#include "settings/portsettings.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <vector>

namespace {

constexpr int kButtonsBaud = 8;
constexpr char kParityLetters[] = {'N', 'O', 'E'};

// The leading decimal number of `text` like "%d" reads it: blanks, an optional sign, digits.
// No digits: none. Values beyond the int range are clamped.
std::optional<long> LeadingNumber(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    if (i >= text.size() || !std::isdigit(static_cast<unsigned char>(text[i]))) return std::nullopt;
    long value = 0;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i)
        value = std::min(value * 10 + (text[i] - '0'), 0x7FFFFFFFL);
    return negative ? -value : value;
}

std::vector<std::string_view> Fields(std::string_view text) {
    std::vector<std::string_view> fields;
    std::size_t begin = 0;
    for (;;) {
        const auto comma = text.find(',', begin);
        fields.push_back(
            text.substr(begin, comma == std::string_view::npos ? comma : comma - begin));
        if (comma == std::string_view::npos) return fields;
        begin = comma + 1;
    }
}

int CharAt(std::string_view text, long position) {
    if (position < 0 || position >= static_cast<long>(text.size())) return -1;
    return static_cast<unsigned char>(text[static_cast<std::size_t>(position)]);
}

} // namespace

std::optional<int> BaudButton(long rate) {
    for (int index = 0; index < kButtonsBaud; ++index)
        if (300L << index == rate) return index;
    return std::nullopt;
}

PortDialogValues StartValues(std::string_view settings, short commPort, std::int32_t handshaking,
                             Bool32 echo) {
    PortDialogValues v;
    const auto comma = settings.find(',');
    const long p = comma == std::string_view::npos ? -1 : static_cast<long>(comma);

    const long rate =
        p < 0 ? 0 : LeadingNumber(settings.substr(0, static_cast<std::size_t>(p))).value_or(0);
    // A rate without a button of its own opens under "Other", exactly: rounding it to a
    // button would change a rate the user never touched.
    if (const auto button = BaudButton(rate)) {
        v.baud = *button;
    } else if (rate > 0) {
        v.baud = kOtherBaud;
        v.otherRate = rate;
    } else {
        v.baud = kNoSelection;
    }

    switch (CharAt(settings, p + 1)) {
    case 'N':
    case 'n':
        v.parity = 0;
        break;
    case 'O':
    case 'o':
        v.parity = 1;
        break;
    case 'E':
    case 'e':
        v.parity = 2;
        break;
    default:
        v.parity = kNoSelection;
        break;
    }
    const int data = CharAt(settings, p + 3);
    v.dataBits = data < 0 ? kNoSelection : data - '7';
    // Only a one-character field is 1 or 2: the "1" of "1.5" is not the 1-bit button.
    const int stop = CharAt(settings, p + 5);
    v.stopBits = stop < 0 || CharAt(settings, p + 6) >= 0 ? kNoSelection : stop - '1';

    v.echo = echo;
    v.flowControl = handshaking;
    v.port = commPort;
    v.portText = std::to_string(v.port);
    return v;
}

std::optional<int> ParsePortNumber(std::string_view text) {
    const auto number = LeadingNumber(text);
    if (!number || *number < 1 || *number > 99) return std::nullopt;
    return static_cast<int>(*number);
}

std::optional<long> ParseOtherBaud(std::string_view text, long opened) {
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!text.empty() && blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && blank(text.back()))
        text.remove_suffix(1);
    if (text.empty()) return std::nullopt;
    long value = 0;
    for (const char c : text) {
        if (!std::isdigit(static_cast<unsigned char>(c))) return std::nullopt;
        value = std::min(value * 10 + (c - '0'), kMaxOtherBaud + 1); // no overflow
    }
    if (opened > 0 && value == opened) return value;
    if (value < kMinOtherBaud || value > kMaxOtherBaud) return std::nullopt;
    return value;
}

std::string BuildSettings(const PortDialogValues& v, std::string_view current) {
    const auto fields = Fields(current);
    const auto field = [&](std::size_t i, const char* fallback) {
        return i < fields.size() && !fields[i].empty() ? std::string(fields[i])
                                                       : std::string(fallback);
    };
    const bool baudChosen = v.baud >= 0 && v.baud < kButtonsBaud;
    const bool parityChosen = v.parity >= 0 && v.parity <= 2;
    const bool dataChosen = v.dataBits == 0 || v.dataBits == 1;
    const bool stopChosen = v.stopBits == 0 || v.stopBits == 1;

    std::string text = v.baud == kOtherBaud ? std::to_string(v.otherRate)
                       : baudChosen         ? std::to_string(300L << v.baud)
                                            : field(0, "9600");
    text += ',';
    text += parityChosen
                ? kParityLetters[v.parity]
                : static_cast<char>(std::toupper(static_cast<unsigned char>(field(1, "N")[0])));
    text += ',';
    text += dataChosen ? std::to_string(v.dataBits + 7) : field(2, "8");
    text += ',';
    text += stopChosen ? std::to_string(v.stopBits + 1) : field(3, "1");
    return text;
}
