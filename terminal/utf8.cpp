#include "terminal/utf8.h"

#include <algorithm>
#include <iterator>
#include <string>

namespace terminal {
namespace {

bool IsContinuation(unsigned char b) {
    return (b & 0xC0) == 0x80;
}

struct Range {
    char32_t first, last;
};

// Wide characters, ascending.
constexpr Range kWide[] = {
    {0x1100, 0x115F},   {0x231A, 0x231B},   {0x2329, 0x232A},   {0x23E9, 0x23EC},
    {0x23F0, 0x23F0},   {0x23F3, 0x23F3},   {0x25FD, 0x25FE},   {0x2614, 0x2615},
    {0x2648, 0x2653},   {0x267F, 0x267F},   {0x2693, 0x2693},   {0x26A1, 0x26A1},
    {0x26AA, 0x26AB},   {0x26BD, 0x26BE},   {0x26C4, 0x26C5},   {0x26CE, 0x26CE},
    {0x26D4, 0x26D4},   {0x26EA, 0x26EA},   {0x26F2, 0x26F5},   {0x26FA, 0x26FA},
    {0x26FD, 0x26FD},   {0x2705, 0x2705},   {0x270A, 0x270B},   {0x2728, 0x2728},
    {0x274C, 0x274C},   {0x274E, 0x274E},   {0x2753, 0x2755},   {0x2757, 0x2757},
    {0x2795, 0x2797},   {0x27B0, 0x27B0},   {0x27BF, 0x27BF},   {0x2B1B, 0x2B1C},
    {0x2B50, 0x2B50},   {0x2B55, 0x2B55},   {0x2E80, 0x303E},   {0x3041, 0x33FF},
    {0x3400, 0x4DBF},   {0x4E00, 0x9FFF},   {0xA000, 0xA4CF},   {0xA960, 0xA97F},
    {0xAC00, 0xD7A3},   {0xF900, 0xFAFF},   {0xFE10, 0xFE19},   {0xFE30, 0xFE6F},
    {0xFF00, 0xFF60},   {0xFFE0, 0xFFE6},   {0x16FE0, 0x16FE4}, {0x17000, 0x18CFF},
    {0x1B000, 0x1B2FF}, {0x1F004, 0x1F004}, {0x1F0CF, 0x1F0CF}, {0x1F18E, 0x1F18E},
    {0x1F191, 0x1F19A}, {0x1F200, 0x1F251}, {0x1F300, 0x1F64F}, {0x1F680, 0x1F6FF},
    {0x1F7E0, 0x1F7EB}, {0x1F90C, 0x1F9FF}, {0x1FA70, 0x1FAFF}, {0x20000, 0x2FFFD},
    {0x30000, 0x3FFFD},
};

// Characters that take no cell of their own, ascending.
constexpr Range kZeroWidth[] = {
    {0x0300, 0x036F}, {0x0483, 0x0489}, {0x0591, 0x05BD}, {0x0610, 0x061A},
    {0x064B, 0x065F}, {0x200B, 0x200F}, {0x2028, 0x202E}, {0x2060, 0x2064},
    {0x20D0, 0x20FF}, {0xFE00, 0xFE0F}, {0xFE20, 0xFE2F}, {0xFEFF, 0xFEFF},
    {0xE0100, 0xE01EF},
};

template <std::size_t N>
bool InRanges(const Range (&ranges)[N], char32_t code) {
    const auto it = std::upper_bound(std::begin(ranges), std::end(ranges), code,
                                     [](char32_t c, const Range& r) { return c < r.first; });
    return it != std::begin(ranges) && code <= std::prev(it)->last;
}

// Bytes in the character a lead byte begins; 0 for a byte that begins none (a continuation,
// C0 and C1, which are always overlong, F5..FF).
std::size_t LeadLength(unsigned char lead) {
    return lead >= 0xC2 && lead <= 0xDF   ? 2
           : lead >= 0xE0 && lead <= 0xEF ? 3
           : lead >= 0xF0 && lead <= 0xF4 ? 4
                                          : 0;
}

} // namespace

Utf8Char DecodeUtf8At(std::string_view text, std::size_t at) {
    const auto lead = static_cast<unsigned char>(text[at]);
    if (lead < 0x80) return {lead, 1, true};
    const Utf8Char bad{lead, 1, false};
    const std::size_t length = LeadLength(lead);
    if (length == 0 || text.size() - at < length) return bad;
    static constexpr char32_t kLowest[] = {0, 0, 0x80, 0x800, 0x10000};
    const char32_t lowest = kLowest[length];
    char32_t code = lead & (0x7Fu >> length);
    for (std::size_t i = 1; i < length; ++i) {
        const auto b = static_cast<unsigned char>(text[at + i]);
        if (!IsContinuation(b)) return bad;
        code = code << 6 | (b & 0x3F);
    }
    if (code < lowest || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return bad;
    return {code, static_cast<std::uint8_t>(length), true};
}

bool Utf8Incomplete(std::string_view tail) {
    if (tail.empty()) return false;
    return tail.size() < LeadLength(static_cast<unsigned char>(tail[0])) &&
           std::all_of(tail.begin() + 1, tail.end(), [](char b) { return IsContinuation(static_cast<unsigned char>(b)); });
}

std::size_t Utf8PreviousStart(std::string_view text, std::size_t end) {
    // A character is at most four bytes: try the longest lead first, so that the bytes before
    // `end` that belong together go together.
    for (std::size_t back = std::min<std::size_t>(4, end); back > 1; --back) {
        const std::size_t start = end - back;
        if (IsContinuation(static_cast<unsigned char>(text[start]))) continue;
        const Utf8Char c = DecodeUtf8At(text.substr(0, end), start);
        if (c.valid && c.length == back) return start;
    }
    return end - 1;
}

int Utf8Cells(char32_t code) {
    if (code < 0x300) return 1;
    if (InRanges(kZeroWidth, code)) return 0;
    return InRanges(kWide, code) ? 2 : 1;
}

} // namespace terminal

namespace terminal {

std::size_t NextCharStart(std::string_view text, std::size_t at, CharacterSet set) {
    if (at >= text.size()) return text.size();
    return at + (set == CharacterSet::Utf8 ? DecodeUtf8At(text, at).length : 1);
}

CharacterSet LocaleCharacterSet(const char* lcAll, const char* lcCtype, const char* lang) {
    std::string_view name = "C";
    for (const char* candidate : {lcAll, lcCtype, lang}) {
        if (candidate && *candidate) {
            name = candidate;
            break;
        }
    }
    const auto dot = name.find('.');
    if (dot == std::string_view::npos) return CharacterSet::Western;
    std::string_view codeset = name.substr(dot + 1);
    codeset = codeset.substr(0, codeset.find('@'));
    std::string folded;
    for (const char c : codeset)
        if (c != '-' && c != '_') folded.push_back(static_cast<char>(c | 0x20));
    return folded == "utf8" ? CharacterSet::Utf8 : CharacterSet::Western;
}

std::size_t PreviousCharStart(std::string_view text, std::size_t end, CharacterSet set) {
    if (end == 0) return 0;
    return set == CharacterSet::Utf8 ? Utf8PreviousStart(text, end) : end - 1;
}

} // namespace terminal
