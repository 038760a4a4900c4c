#pragma once
// The log view's screen without a widget: the text with its line index and each line's time
// stamp, the user's selection with the end its caret is at, the caret moves that need no
// layout, and the text as the clipboard and screen readers get it. The widget over it only
// lays out, paints and takes input.
//
// Positions are byte offsets into the text (a CR LF break counts two). An absolute position
// names a byte for as long as it lives, whatever is trimmed off the front.

#include "terminal/linestamps.h"
#include "terminal/screenmarks.h"
#include "terminal/screentrim.h"
#include "terminal/textmodel.h"

#include <QString>

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <utility>
#include <vector>

namespace terminal {

class ScreenModel {
public:
    ScreenModel();
    ScreenModel(const ScreenModel&) = delete;
    ScreenModel& operator=(const ScreenModel&) = delete;

    TextModel& text() { return m_text; }
    const TextModel& text() const { return m_text; }
    LineStamps& stamps() { return m_stamps; }
    const LineStamps& stamps() const { return m_stamps; }
    std::size_t length() const { return m_text.length(); }
    std::string_view slice(std::size_t start, std::size_t end) const {
        return m_text.text().substr(start, end - start);
    }

    // The screen's size in KB (terminal/screentrim.h), clamped to the sizes it may have.
    std::size_t sizeKB() const { return m_sizeKB; }
    void setSizeKB(std::size_t kb);

    // How the bytes read as characters (Western: one byte each).
    CharacterSet characterSet() const { return m_text.characterSet(); }
    void setCharacterSet(CharacterSet set) { m_text.setCharacterSet(set); }

    // --- beside the text: separators, and how far back it was rewritten ---
    // A separator drawn at the text's end now (not part of the text; it goes with its place).
    void addSeparator() { m_marks.addSeparator(m_text.length()); }
    const std::vector<std::size_t>& separators() const { return m_marks.separators(); }
    // The first absolute position rewritten since the last call (the end when text was only
    // added or trimmed).
    std::uint64_t takeRewrittenFrom() { return absolute(m_marks.takeRewrittenFrom(m_text.length())); }

    // --- the selection: from the anchor to the caret ---
    std::size_t caret() const;
    std::size_t anchor() const;
    // The user's selection (both clamped to the text); the caret may be before the anchor.
    void select(std::size_t anchor, std::size_t caret);
    // A selection made by an edit operation: the caret at its end.
    void setSelection(std::size_t start, std::size_t end);
    bool hasSelection() const { return m_text.selectionEnd() > m_text.selectionStart(); }

    // --- positions that outlive trims ---
    std::uint64_t absolute(std::size_t position) const;
    // A position trimmed away is the text's start; one past the end is the end.
    std::size_t fromAbsolute(std::uint64_t position) const;

    // --- caret moves and ranges that need no layout ---
    // Where Left or Right takes the caret: without `extend` a selection ends at the side the
    // arrow points to; a CR LF break is one step.
    std::size_t horizontalMove(std::size_t at, bool right, bool extend) const;
    // The run of word characters (or of other characters) around `position`, within its line;
    // at least one character unless at the end.
    std::pair<std::size_t, std::size_t> wordAt(std::size_t position) const;
    // The line holding `position`, without its break.
    std::pair<std::size_t, std::size_t> lineAt(std::size_t position) const;

    // --- the text for others ---
    // The selection for the clipboard: each CR or CR LF as "\n", NULs left out, the rest as
    // characters of the character set (a bad UTF-8 byte as U+FFFD).
    QString copyText() const;
    // The screen's text as a reader reads it: line breaks as "\n", no CR, control characters
    // as their Unicode pictures, every other character as it is (a bad UTF-8 byte as U+FFFD).
    static QString Render(std::string_view bytes, CharacterSet set = CharacterSet::Western);
    QString readerText() const { return Render(m_text.text(), characterSet()); }
    // Where a model position falls in the reader's text, and back.
    int readerOffset(std::size_t position) const;
    std::size_t modelPosition(int readerOffset) const;

private:
    TextModel m_text;
    LineStamps m_stamps;
    ScreenMarks m_marks{&m_stamps};
    bool m_caretAtStart = false;
    std::size_t m_sizeKB = kSmallestScreenKB;
};

} // namespace terminal
