#pragma once
// What the log view keeps beside its text without it being text: the places where a
// separator is drawn (the port went away, came back), and how far back the text was rewritten
// since someone last asked (for a search that follows the text). It hears every change of the
// text before the next listener does, and passes it on.

#include "terminal/textmodel.h"

#include <cstddef>
#include <string_view>
#include <vector>

namespace terminal {

class ScreenMarks : public TextModel::Observer {
public:
    explicit ScreenMarks(TextModel::Observer* next) : m_next(next) {}

    // A separator at `position` (one at most per place); marks stay in ascending order.
    void addSeparator(std::size_t position);
    // Where separators are, as positions in the text; a separator whose place was trimmed away
    // is gone.
    const std::vector<std::size_t>& separators() const { return m_separators; }

    // The first position rewritten since the last call (the text's end when text was only
    // added or cut from the front), and the record starts afresh at `length`.
    std::size_t takeRewrittenFrom(std::size_t length);

    void textReplaced(std::size_t position, std::size_t removed, std::string_view inserted) override;
    void frontTrimmed(std::size_t n) override;
    void textReset(std::string_view text) override;

private:
    TextModel::Observer* m_next;
    std::vector<std::size_t> m_separators;
    std::size_t m_rewritten = static_cast<std::size_t>(-1);
    std::size_t m_length = 0; // the text's length as the changes tell it
};

} // namespace terminal
