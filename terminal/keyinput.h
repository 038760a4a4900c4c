#pragma once
// What a key press or an input method's commit types on the terminal: the decision alone,
// without a widget, so that it holds whatever view shows the screen.
//
// A key that carries text types that text in the screen's character set: UTF-8, or the
// program's code page one byte per character; a character the code page cannot hold goes out as '?', as the system's own
// conversion does, never silently dropped. Alt with a key is a menu key: it types nothing,
// whether or not a menu takes it. AltGr (the third-level shift of many European layouts) is
// not Alt: what it gives ('@', '{', '€' ...) is an ordinary typed character.

#include "terminal/utf8.h"

#include <QString>
#include <Qt>

#include <optional>
#include <string>

namespace terminal {

// True for a chord of Alt (without AltGr) that belongs to the menus, never to the screen.
// `altGr` tells that the platform reported the third-level shift as held; Qt's group-switch
// modifier counts as that too.
bool IsMenuChord(Qt::KeyboardModifiers modifiers, bool altGr = false);

// The bytes a key press types: none (an empty string) for a menu chord, the text's bytes
// otherwise; no value for a key without text (caret movement, function keys), which the
// widget may use for itself.
std::optional<std::string> TypedBytes(Qt::KeyboardModifiers modifiers, const QString& text,
                                      bool altGr = false,
                                      CharacterSet set = CharacterSet::Western);

// The bytes an input method's commit types: in Western every character, the unmappable ones
// as '?'; in UTF-8 every character's sequence.
std::string CommittedBytes(const QString& commit, CharacterSet set = CharacterSet::Western);

} // namespace terminal
