#include "framework/codepage.h"

#include <array>

namespace fw {
namespace {

// 0x80..0x9F; the rest of the code page is the same as Latin-1.
constexpr std::array<char16_t, 32> kHigh = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, //
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F, //
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, //
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178, //
};

int HighIndexOf(char16_t unit) {
    for (int i = 0; i < static_cast<int>(kHigh.size()); ++i)
        if (kHigh[i] == unit) return i;
    return -1;
}

} // namespace

char16_t AnsiToUnicode(unsigned char byte) {
    if (byte >= 0x80 && byte <= 0x9F) return kHigh[byte - 0x80];
    return byte;
}

bool IsAnsiRepresentable(char16_t unit) {
    if (unit < 0x80 || (unit >= 0xA0 && unit <= 0xFF)) return true;
    return HighIndexOf(unit) >= 0;
}

unsigned char UnicodeToAnsi(char16_t unit, unsigned char fallback) {
    if (unit < 0x80 || (unit >= 0xA0 && unit <= 0xFF)) return static_cast<unsigned char>(unit);
    const int i = HighIndexOf(unit);
    return i < 0 ? fallback : static_cast<unsigned char>(0x80 + i);
}

QString FromAnsi(std::string_view text) {
    QString out(static_cast<qsizetype>(text.size()), Qt::Uninitialized);
    QChar* dst = out.data();
    for (const char c : text)
        *dst++ = QChar(AnsiToUnicode(static_cast<unsigned char>(c)));
    return out;
}

std::string ToAnsi(const QString& text, unsigned char fallback) {
    std::string out;
    out.reserve(static_cast<std::size_t>(text.size()));
    for (const QChar c : text)
        out.push_back(static_cast<char>(UnicodeToAnsi(c.unicode(), fallback)));
    return out;
}

} // namespace fw
