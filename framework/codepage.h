#pragma once
// The program's code page: Windows-1252, with the five bytes it leaves unassigned (0x81, 0x8D,
// 0x8F, 0x90, 0x9D) mapped to the C1 controls of the same number, so that every byte has
// exactly one UTF-16 unit and back. Every conversion between program text and Qt text goes
// through here.

#include <QString>

#include <string>
#include <string_view>

namespace fw {

// The UTF-16 unit of one byte.
char16_t AnsiToUnicode(unsigned char byte);

// The byte of a UTF-16 unit; `fallback` for a unit the code page cannot hold.
unsigned char UnicodeToAnsi(char16_t unit, unsigned char fallback = '?');
bool IsAnsiRepresentable(char16_t unit);

QString FromAnsi(std::string_view text);
std::string ToAnsi(const QString& text, unsigned char fallback = '?');

} // namespace fw
