#pragma once
// Finding a pattern in a view's text, without a widget: the pattern from what the user typed
// (text or hexadecimal bytes), the next and previous match, the matches in a stretch (for
// highlighting), and a list of all matches kept up to date as text is added at the end, cut
// from the front or rewritten, a bounded amount of work at a time.
//
// Positions in a MatchList are absolute: the view numbers its bytes from the first it ever
// held, so a match keeps its number while older text is trimmed.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

namespace terminal {

inline constexpr std::size_t kNoMatch = std::string_view::npos;

// A hexadecimal pattern: pairs of digits, spaces between bytes allowed ("0D 0a", "0d0a").
// On a bad character or a lone last digit, `bytes` is empty and `badAt` is where it is.
struct HexPattern {
    std::string bytes;
    std::size_t badAt = kNoMatch;
    bool ok() const { return badAt == kNoMatch; }
};
HexPattern ParseHexPattern(std::u16string_view typed);

// The first match starting at or after `from`, or kNoMatch. Without `matchCase` the letters
// A-Z and a-z match either way; other bytes match only themselves. An empty pattern matches
// nowhere.
std::size_t FindForward(std::string_view text, std::string_view pattern, std::size_t from,
                        bool matchCase);
// The last match starting before `before`, or kNoMatch.
std::size_t FindBackward(std::string_view text, std::string_view pattern, std::size_t before,
                         bool matchCase);
// The starts of the matches (overlapping ones too) that start in [from, to), at most `limit`.
std::vector<std::size_t> MatchesBetween(std::string_view text, std::string_view pattern,
                                        std::size_t from, std::size_t to, bool matchCase,
                                        std::size_t limit);

// Every match of one pattern in a text that grows at its end and is cut at its front, counted
// up to kLimit (beyond that the list is full and says so).
class MatchList {
public:
    static constexpr std::size_t kLimit = 10000;

    void reset(std::string pattern, bool matchCase);
    const std::string& pattern() const { return m_pattern; }
    bool matchCase() const { return m_matchCase; }

    // Catches up with `text`, whose first byte is absolute `origin`, after the bytes from
    // absolute `changedFrom` on were rewritten (the end of the text when only added to):
    // matches cut off the front go, matches the rewrite touched go, and at most `budget`
    // further bytes are looked at. True once the whole text is looked at or the list is full.
    bool update(std::string_view text, std::uint64_t origin, std::uint64_t changedFrom,
                std::size_t budget);

    std::size_t count() const { return m_starts.size(); }
    bool full() const { return m_starts.size() >= kLimit; }
    bool done() const { return m_done; }
    const std::deque<std::uint64_t>& starts() const { return m_starts; }
    // How many listed matches start before absolute `position`.
    std::size_t countBefore(std::uint64_t position) const;

private:
    std::string m_pattern;
    bool m_matchCase = false;
    std::deque<std::uint64_t> m_starts;
    std::uint64_t m_scanned = 0; // the first absolute start not looked at yet
    bool m_done = false;
};

} // namespace terminal
