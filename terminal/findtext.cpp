#include "terminal/findtext.h"

#include <algorithm>
#include <functional>
#include <iterator>

namespace terminal {
namespace {

// Work allowed for the matches of one call that lists them: a long pattern that matches
// everywhere costs its whole length at each match.
constexpr std::size_t kListWork = std::size_t{32} << 20;

// How many matches one listing may hold.
std::size_t ListLimit(std::size_t patternSize, std::size_t limit) {
    return std::min(limit, std::max<std::size_t>(1, kListWork / patternSize));
}

unsigned char Fold(char c) {
    const auto b = static_cast<unsigned char>(c);
    return b >= 'A' && b <= 'Z' ? static_cast<unsigned char>(b + ('a' - 'A')) : b;
}

struct FoldHash {
    std::size_t operator()(char c) const { return Fold(c); }
};
struct FoldEqual {
    bool operator()(char a, char b) const { return Fold(a) == Fold(b); }
};

// The first match starting in [from, endStart) (starts only: the text beyond is read as the
// match needs it), or kNoMatch.
template <typename Searcher>
std::size_t SearchIn(const Searcher& searcher, std::string_view text, std::size_t patternSize,
                     std::size_t from, std::size_t endStart) {
    if (from >= endStart || patternSize > text.size()) return kNoMatch;
    const std::size_t stop = std::min(text.size(), endStart + patternSize - 1);
    const char* first = text.data() + from;
    const char* last = text.data() + stop;
    const auto [at, atEnd] = searcher(first, last);
    return at == last ? kNoMatch : static_cast<std::size_t>(at - text.data());
}

template <typename Fn>
auto WithSearcher(std::string_view pattern, bool matchCase, Fn&& fn) {
    if (matchCase)
        return fn(std::boyer_moore_horspool_searcher(pattern.begin(), pattern.end()));
    return fn(std::boyer_moore_horspool_searcher(pattern.begin(), pattern.end(), FoldHash{},
                                                 FoldEqual{}));
}

int HexDigit(char16_t c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

} // namespace

HexPattern ParseHexPattern(std::u16string_view typed) {
    HexPattern out;
    std::size_t pairStart = kNoMatch;
    int high = 0;
    for (std::size_t i = 0; i < typed.size(); ++i) {
        if (typed[i] == ' ' || typed[i] == '\t') {
            if (pairStart != kNoMatch) return {{}, pairStart}; // a lone digit before the space
            continue;
        }
        const int digit = HexDigit(typed[i]);
        if (digit < 0) return {{}, i};
        if (pairStart == kNoMatch) {
            pairStart = i;
            high = digit;
        } else {
            out.bytes.push_back(static_cast<char>(high * 16 + digit));
            pairStart = kNoMatch;
        }
    }
    if (pairStart != kNoMatch) return {{}, pairStart};
    return out;
}

std::size_t FindForward(std::string_view text, std::string_view pattern, std::size_t from,
                        bool matchCase) {
    if (pattern.empty()) return kNoMatch;
    return WithSearcher(pattern, matchCase, [&](const auto& searcher) {
        return SearchIn(searcher, text, pattern.size(), from, text.size());
    });
}

std::size_t FindBackward(std::string_view text, std::string_view pattern, std::size_t before,
                         bool matchCase) {
    if (pattern.empty() || pattern.size() > text.size()) return kNoMatch;
    // The text and the pattern read backwards: the first match found is the last one.
    const std::size_t stop = std::min(text.size(), std::min(before, text.size()) + pattern.size() - 1);
    if (stop < pattern.size()) return kNoMatch;
    const auto rfirst = std::make_reverse_iterator(text.data() + stop);
    const auto rlast = std::make_reverse_iterator(text.data());
    const auto found = matchCase
        ? std::boyer_moore_horspool_searcher(pattern.rbegin(), pattern.rend())(rfirst, rlast).first
        : std::boyer_moore_horspool_searcher(pattern.rbegin(), pattern.rend(), FoldHash{},
                                             FoldEqual{})(rfirst, rlast).first;
    if (found == rlast) return kNoMatch;
    return static_cast<std::size_t>(found.base() - text.data()) - pattern.size();
}

std::vector<std::size_t> MatchesBetween(std::string_view text, std::string_view pattern,
                                        std::size_t from, std::size_t to, bool matchCase,
                                        std::size_t limit) {
    std::vector<std::size_t> out;
    if (pattern.empty()) return out;
    limit = ListLimit(pattern.size(), limit);
    to = std::min(to, text.size());
    WithSearcher(pattern, matchCase, [&](const auto& searcher) {
        for (std::size_t at = from; out.size() < limit;) {
            at = SearchIn(searcher, text, pattern.size(), at, to);
            if (at == kNoMatch) break;
            out.push_back(at++);
        }
        return 0;
    });
    return out;
}

void MatchList::reset(std::string pattern, bool matchCase) {
    m_pattern = std::move(pattern);
    m_matchCase = matchCase;
    m_starts.clear();
    m_scanned = 0;
    m_done = m_pattern.empty();
}

bool MatchList::update(std::string_view text, std::uint64_t origin, std::uint64_t changedFrom,
                       std::size_t budget) {
    if (m_pattern.empty()) return m_done = true;
    while (!m_starts.empty() && m_starts.front() < origin)
        m_starts.pop_front();
    // A match that reaches into the rewritten bytes is looked at again.
    const std::uint64_t touched = changedFrom >= m_pattern.size() - 1 ? changedFrom - (m_pattern.size() - 1) : 0;
    while (!m_starts.empty() && m_starts.back() >= touched)
        m_starts.pop_back();
    m_scanned = std::clamp(m_scanned, origin, std::max(origin, touched));
    const std::size_t from = static_cast<std::size_t>(m_scanned - origin);
    const std::size_t lastStart = text.size() >= m_pattern.size() ? text.size() - m_pattern.size() + 1 : 0;
    const std::size_t end = std::min(lastStart, from + budget);
    const std::size_t cap = ListLimit(m_pattern.size(), kLimit - count());
    const std::vector<std::size_t> found =
        end > from ? MatchesBetween(text, m_pattern, from, end, m_matchCase, cap)
                   : std::vector<std::size_t>{};
    for (const std::size_t at : found)
        m_starts.push_back(origin + at);
    // A listing cut short (the list full, or its work bound) goes on after its last match.
    m_scanned = origin + (found.size() == cap ? found.back() + 1 : std::max(from, end));
    m_done = full() || m_scanned - origin >= lastStart;
    return m_done;
}

std::size_t MatchList::countBefore(std::uint64_t position) const {
    return static_cast<std::size_t>(
        std::lower_bound(m_starts.begin(), m_starts.end(), position) - m_starts.begin());
}

} // namespace terminal
