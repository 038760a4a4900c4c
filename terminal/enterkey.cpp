#include "terminal/enterkey.h"

#include <QKeyEvent>

namespace terminal {

std::string_view EnterBytes(EnterSends mode) {
    switch (mode) {
    case EnterSends::LF:
        return "\n";
    case EnterSends::CRLF:
        return "\r\n";
    case EnterSends::CR:
        break;
    }
    return "\r";
}

std::string_view EnterKeyBytes(const QKeyEvent& key, EnterSends mode) {
    if (key.key() != Qt::Key_Return && key.key() != Qt::Key_Enter) return {};
    if (key.modifiers() & ~(Qt::ShiftModifier | Qt::KeypadModifier)) return {};
    return EnterBytes(mode);
}

} // namespace terminal
