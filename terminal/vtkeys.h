#pragma once
// What a key press sends to a device when the terminal view has the focus, decided without a
// widget or the engine: text as UTF-8, Ctrl chords as control characters, Enter, Backspace,
// Tab and Escape as bytes of their own; the cursor, editing, keypad and function keys as keys
// the engine encodes (they depend on the modes the device set). F10 belongs to the menu bar.

#include "terminal/enterkey.h"

#include <QString>
#include <Qt>

#include <cstdint>
#include <string>

namespace terminal {

enum class VtKey : std::uint16_t {
    None, Up, Down, Left, Right, Insert, Delete, Home, End, PageUp, PageDown,
    F1, F2, F3, F4, F5, F6, F7, F8, F9, F10, F11, F12,
    Kp0, Kp1, Kp2, Kp3, Kp4, Kp5, Kp6, Kp7, Kp8, Kp9,
    KpMult, KpPlus, KpComma, KpMinus, KpPeriod, KpDivide, KpEnter, KpEqual,
};

// Modifier bits of a key the engine encodes.
enum VtMod : std::uint8_t { kModShift = 1, kModAlt = 2, kModCtrl = 4 };

enum class BackspaceSends { DEL = 0, BS = 1 };

struct KeyOptions {
    EnterSends enter = EnterSends::CR;
    BackspaceSends backspace = BackspaceSends::DEL;
};

struct KeyAction {
    enum Kind { Ignore, Bytes, Key } kind = Ignore;
    std::string bytes;      // for Bytes
    VtKey key = VtKey::None; // for Key
    std::uint8_t mods = 0;  // for Key
};

// The action for a key press. `alt` says Alt is held and no menu took the chord: bytes then
// go out after ESC. Ignore means the key is not the terminal's (F10, a bare modifier).
KeyAction EncodeKey(int qtKey, Qt::KeyboardModifiers modifiers, const QString& text, bool alt,
                    const KeyOptions& options);

// The control character of a Ctrl chord, or -1 when the key makes none.
int CtrlChord(int qtKey);

} // namespace terminal
