#include "terminal/keyinput.h"

#include "framework/codepage.h"

#include <QList>

namespace terminal {

bool IsMenuChord(Qt::KeyboardModifiers modifiers, bool altGr) {
    if (altGr || modifiers.testFlag(Qt::GroupSwitchModifier)) return false;
    return modifiers.testFlag(Qt::AltModifier);
}

std::string CommittedBytes(const QString& commit, CharacterSet set) {
    if (set == CharacterSet::Utf8) return commit.toStdString();
    std::string bytes;
    bytes.reserve(static_cast<std::size_t>(commit.size()));
    // One '?' for a character outside the code page, also for one that takes two UTF-16
    // units (an emoji is one character, not two).
    for (const char32_t c : commit.toUcs4())
        bytes.push_back(c <= 0xFFFF && fw::IsAnsiRepresentable(static_cast<char16_t>(c))
                            ? static_cast<char>(fw::UnicodeToAnsi(static_cast<char16_t>(c)))
                            : '?');
    return bytes;
}

std::optional<std::string> TypedBytes(Qt::KeyboardModifiers modifiers, const QString& text,
                                      bool altGr, CharacterSet set) {
    if (text.isEmpty()) return std::nullopt;
    if (IsMenuChord(modifiers, altGr)) return std::string();
    return CommittedBytes(text, set);
}

} // namespace terminal
