#pragma once
// When each screen line began to arrive: per line of the screen's text (lines end at LF, so a
// CR LF break belongs to the line it ends), the wall-clock time in milliseconds at which the
// line's first received byte arrived. The store follows the text's edits as the text model
// reports them; it is not part of the text.
//
// A line gets its stamp from the first edit that puts bytes into it while a receive is under
// way (ReceiveScope). A line that typing started keeps no stamp, even when received bytes
// follow. A line that an edit empties (it ends the text and has nothing left) loses its stamp,
// so that the next bytes stamp it anew; a line that an edit only shortens keeps it. Lines the
// front trim removes take their stamps with them; a line the trim cuts into keeps its stamp.
//
// A view shows a stamp with fw::FormatTimeOfDay (framework/clock.h): "HH:MM:SS.mmm".
//
// Costs: an edit at the end of the text costs time in proportion to the inserted text; the
// trim in proportion to the lines it removes; a look-up is a binary search.

#include "terminal/textmodel.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <string_view>

namespace terminal {

class LineStamps final : public TextModel::Observer {
public:
    LineStamps();

    // Edits made while a scope lives are received bytes, stamped `ms`.
    class ReceiveScope {
    public:
        ReceiveScope(LineStamps& stamps, std::int64_t ms)
            : m_stamps(stamps) {
            m_stamps.m_receiveMs = ms;
        }
        ~ReceiveScope() { m_stamps.m_receiveMs.reset(); }
        ReceiveScope(const ReceiveScope&) = delete;
        ReceiveScope& operator=(const ReceiveScope&) = delete;

    private:
        LineStamps& m_stamps;
    };

    // The stamp of the line that holds text position `offset` (a position as the text model
    // counts it now); none for a line that typing started or that has no bytes yet.
    std::optional<std::int64_t> stampAt(std::size_t offset) const;

    // Lines, counted from a base that stays put across trims: line `firstLine()` is the one
    // at the top of the text, line numbers of the lines below it never change while they live.
    std::uint64_t firstLine() const { return m_firstLine; }
    std::uint64_t endLine() const { return m_firstLine + m_lines.size(); }
    // Start of line `n` as a text position (0 for the top line, even when the trim has cut
    // into it) and its stamp; `n` must lie in [firstLine(), endLine()).
    std::size_t lineStart(std::uint64_t n) const;
    std::optional<std::int64_t> lineStamp(std::uint64_t n) const;

    // --- TextModel::Observer ---
    void textReplaced(std::size_t position, std::size_t removed,
                      std::string_view inserted) override;
    void frontTrimmed(std::size_t n) override;
    void textReset(std::string_view text) override;

private:
    static constexpr std::int64_t kNoStamp = INT64_MIN;
    struct Line {
        std::uint64_t start; // absolute: counted from the start of everything ever held
        std::int64_t stamp;  // kNoStamp when none
        bool started;        // some byte has gone into it
    };
    std::size_t indexOf(std::uint64_t absolute) const; // the line holding that position
    void start(Line& line, bool hasBytes) const;

    std::deque<Line> m_lines;
    std::uint64_t m_base = 0; // absolute position of text position 0
    std::uint64_t m_end = 0;  // absolute position of the end of the text
    std::uint64_t m_firstLine = 0;
    std::optional<std::int64_t> m_receiveMs;
};

} // namespace terminal
