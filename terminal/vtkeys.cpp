#include "terminal/vtkeys.h"

#include <array>
#include <utility>

namespace terminal {

namespace {

struct KeyRow {
    int qt;
    VtKey key;
};

// Keys whose sequences depend on the device's modes: the engine encodes them.
constexpr std::array kEngineKeys{
    KeyRow{Qt::Key_Up, VtKey::Up},         KeyRow{Qt::Key_Down, VtKey::Down},
    KeyRow{Qt::Key_Left, VtKey::Left},     KeyRow{Qt::Key_Right, VtKey::Right},
    KeyRow{Qt::Key_Insert, VtKey::Insert}, KeyRow{Qt::Key_Delete, VtKey::Delete},
    KeyRow{Qt::Key_Home, VtKey::Home},     KeyRow{Qt::Key_End, VtKey::End},
    KeyRow{Qt::Key_PageUp, VtKey::PageUp}, KeyRow{Qt::Key_PageDown, VtKey::PageDown},
    KeyRow{Qt::Key_F1, VtKey::F1},         KeyRow{Qt::Key_F2, VtKey::F2},
    KeyRow{Qt::Key_F3, VtKey::F3},         KeyRow{Qt::Key_F4, VtKey::F4},
    KeyRow{Qt::Key_F5, VtKey::F5},         KeyRow{Qt::Key_F6, VtKey::F6},
    KeyRow{Qt::Key_F7, VtKey::F7},         KeyRow{Qt::Key_F8, VtKey::F8},
    KeyRow{Qt::Key_F9, VtKey::F9},         KeyRow{Qt::Key_F11, VtKey::F11},
    KeyRow{Qt::Key_F12, VtKey::F12},
};

// Keypad keys (Num Lock on), told apart from the main keys by the keypad modifier.
constexpr std::array kKeypadKeys{
    KeyRow{Qt::Key_0, VtKey::Kp0},           KeyRow{Qt::Key_1, VtKey::Kp1},
    KeyRow{Qt::Key_2, VtKey::Kp2},           KeyRow{Qt::Key_3, VtKey::Kp3},
    KeyRow{Qt::Key_4, VtKey::Kp4},           KeyRow{Qt::Key_5, VtKey::Kp5},
    KeyRow{Qt::Key_6, VtKey::Kp6},           KeyRow{Qt::Key_7, VtKey::Kp7},
    KeyRow{Qt::Key_8, VtKey::Kp8},           KeyRow{Qt::Key_9, VtKey::Kp9},
    KeyRow{Qt::Key_Asterisk, VtKey::KpMult}, KeyRow{Qt::Key_Plus, VtKey::KpPlus},
    KeyRow{Qt::Key_Comma, VtKey::KpComma},   KeyRow{Qt::Key_Minus, VtKey::KpMinus},
    KeyRow{Qt::Key_Period, VtKey::KpPeriod}, KeyRow{Qt::Key_Slash, VtKey::KpDivide},
    KeyRow{Qt::Key_Equal, VtKey::KpEqual},
};

// Ctrl with a key that is not a letter, as VT keyboards and their emulators send them.
constexpr std::array<std::pair<int, int>, 16> kCtrlPunctuation{{
    {Qt::Key_BracketLeft, 0x1B}, {Qt::Key_Backslash, 0x1C}, {Qt::Key_BracketRight, 0x1D},
    {Qt::Key_AsciiCircum, 0x1E}, {Qt::Key_Underscore, 0x1F}, {Qt::Key_Space, 0x00},
    {Qt::Key_At, 0x00}, {Qt::Key_2, 0x00}, {Qt::Key_3, 0x1B}, {Qt::Key_4, 0x1C},
    {Qt::Key_5, 0x1D}, {Qt::Key_6, 0x1E}, {Qt::Key_7, 0x1F}, {Qt::Key_Minus, 0x1F},
    {Qt::Key_Slash, 0x1F}, {Qt::Key_Question, 0x7F},
}};

std::uint8_t ModsOf(Qt::KeyboardModifiers m, bool alt) {
    return static_cast<std::uint8_t>(((m & Qt::ShiftModifier) ? kModShift : 0) |
                                     (alt ? kModAlt : 0) |
                                     ((m & Qt::ControlModifier) ? kModCtrl : 0));
}

KeyAction Send(std::string bytes, bool alt) {
    if (alt) bytes.insert(bytes.begin(), '\x1b');
    return {KeyAction::Bytes, std::move(bytes)};
}

std::string Utf8Of(const QString& text) {
    const QByteArray utf8 = text.toUtf8();
    return std::string(utf8.constData(), static_cast<std::size_t>(utf8.size()));
}

} // namespace

int CtrlChord(int qtKey) {
    if (qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z) return qtKey - Qt::Key_A + 1;
    for (const auto& [key, code] : kCtrlPunctuation)
        if (key == qtKey) return code;
    return -1;
}

KeyAction EncodeKey(int qtKey, Qt::KeyboardModifiers modifiers, const QString& text, bool alt,
                    const KeyOptions& options) {
    const bool ctrl = modifiers & Qt::ControlModifier;
    if (modifiers & Qt::KeypadModifier)
        for (const KeyRow& row : kKeypadKeys)
            if (row.qt == qtKey) return {KeyAction::Key, {}, row.key, ModsOf(modifiers, alt)};
    for (const KeyRow& row : kEngineKeys)
        if (row.qt == qtKey) return {KeyAction::Key, {}, row.key, ModsOf(modifiers, alt)};
    switch (qtKey) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return Send(std::string(EnterBytes(options.enter)), alt);
    case Qt::Key_Backspace: {
        // Ctrl+Backspace sends the other of the two erase characters.
        const bool del = (options.backspace == BackspaceSends::DEL) != ctrl;
        return Send(del ? "\x7f" : "\b", alt);
    }
    case Qt::Key_Tab:
        return Send((modifiers & Qt::ShiftModifier) ? "\x1b[Z" : "\t", alt);
    case Qt::Key_Backtab:
        return Send("\x1b[Z", alt);
    case Qt::Key_Escape:
        return Send("\x1b", alt);
    default:
        break;
    }
    if (ctrl) {
        const int code = CtrlChord(qtKey);
        if (code >= 0) return Send(std::string(1, static_cast<char>(code)), alt);
    }
    // Text (the layout's character, AltGr's too); control characters that no chord above
    // made are not typed.
    if (!text.isEmpty() && !text.at(0).isNull() && text.at(0).unicode() >= 0x20 &&
        text.at(0).unicode() != 0x7F)
        return Send(Utf8Of(text), alt);
    return {};
}

} // namespace terminal
