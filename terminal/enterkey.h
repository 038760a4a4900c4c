#pragma once
// What the Enter key puts on the line. Ctrl+M and Ctrl+J are not the Enter key: they type
// CR and LF as they always do.

#include <string_view>

class QKeyEvent;

namespace terminal {

enum class EnterSends { CR = 0, LF = 1, CRLF = 2 };

// The bytes for `mode`.
std::string_view EnterBytes(EnterSends mode);

// The bytes the key event types when it is the Enter key (Return or keypad Enter, with no
// modifier but Shift or Keypad); empty for any other key.
std::string_view EnterKeyBytes(const QKeyEvent& key, EnterSends mode);

} // namespace terminal
