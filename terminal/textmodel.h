#pragma once
// The terminal screen's text as an edit control holds it: 8-bit text in the program's code
// page with CR LF line breaks, positions counting bytes (a break counts two), and a selection
// that is also the caret. The widget only shows this model.
//
// Every change is recorded as "the first `removedFront()` bytes of what the widget shows went
// away, and everything after `stablePrefix()` changed", so that the widget can catch up in
// time proportional to what changed, never to the whole text.

#include "terminal/lineindex.h"
#include "terminal/textbuffer.h"
#include "terminal/utf8.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace terminal {

class TextModel {
public:
    // Told of every change as it happens, in the model's positions before the change.
    class Observer {
    public:
        virtual ~Observer() = default;
        virtual void textReplaced(std::size_t position, std::size_t removed,
                                  std::string_view inserted) = 0;
        virtual void frontTrimmed(std::size_t n) = 0;
        virtual void textReset(std::string_view text) = 0;
    };
    void setObserver(Observer* observer) { m_observer = observer; }

    std::size_t length() const { return m_text.size(); }
    std::string_view text() const { return m_text.view(); }
    // Room for `bytes` of text, so that growing to them moves nothing.
    void reserve(std::size_t bytes) { m_text.reserve(bytes); }
    // Where the lines start, always up to date with the text.
    const LineIndex& lines() const { return m_lines; }

    // How Backspace and Delete find a whole character (Western: one byte).
    void setCharacterSet(CharacterSet set) { m_set = set; }
    CharacterSet characterSet() const { return m_set; }

    // Replaces the whole text; the caret goes to the start.
    void setText(std::string_view text);

    // Drops the first `n` bytes, as setting the text to the rest would (caret to the start).
    void trimFront(std::size_t n);

    // Selects [start, end) with both clamped to the text; a reversed pair is put in order.
    void setSelection(std::size_t start, std::size_t end);
    std::size_t selectionStart() const { return m_selStart; }
    std::size_t selectionEnd() const { return m_selEnd; }

    // Replaces the selection with `text`; the caret ends after it.
    void replaceSelection(std::string_view text);

    // The edit control's own handling of a typed character: printable bytes replace the
    // selection, Enter (CR or LF) inserts CR LF, Tab a tab, Backspace erases the selection or
    // the character before the caret (a whole CR LF at once, a whole UTF-8 sequence); other
    // control characters are ignored.
    void typeChar(unsigned char c);
    // The Delete key: erases the selection or the character after the caret (a whole CR LF,
    // a whole UTF-8 sequence).
    void deleteForward();

    // --- change record for the widget ---
    bool changed() const { return m_reset || m_removedFront > 0 || m_tailChanged; }
    bool resetPending() const { return m_reset; }
    std::size_t removedFront() const { return m_removedFront; }
    std::size_t stablePrefix() const { return m_stablePrefix; }
    // The widget has caught up with the text.
    void markSynced();

private:
    void changedFrom(std::size_t position);

    TextBuffer m_text;
    Observer* m_observer = nullptr;
    CharacterSet m_set = CharacterSet::Western;
    LineIndex m_lines;
    std::size_t m_selStart = 0;
    std::size_t m_selEnd = 0;

    bool m_reset = false;           // the widget must take the whole text anew
    std::size_t m_removedFront = 0; // bytes to drop from the widget's front
    std::size_t m_stablePrefix = 0; // text[0, stablePrefix) is what the widget shows after the drop
    bool m_tailChanged = false;     // what follows stablePrefix changed, even if it is now empty
};

} // namespace terminal
