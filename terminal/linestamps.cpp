#include "terminal/linestamps.h"

#include <algorithm>
#include <cstring>

namespace terminal {

LineStamps::LineStamps() {
    m_lines.push_back({0, kNoStamp, false});
}

std::size_t LineStamps::indexOf(std::uint64_t absolute) const {
    const auto after = std::upper_bound(
        m_lines.begin(), m_lines.end(), absolute,
        [](std::uint64_t position, const Line& line) { return position < line.start; });
    return after == m_lines.begin() ? 0 : static_cast<std::size_t>(after - m_lines.begin()) - 1;
}

void LineStamps::start(Line& line, bool hasBytes) const {
    if (line.started || !hasBytes) return;
    line.started = true;
    line.stamp = m_receiveMs ? *m_receiveMs : kNoStamp;
}

std::optional<std::int64_t> LineStamps::stampAt(std::size_t offset) const {
    const Line& line = m_lines[indexOf(m_base + offset)];
    if (line.stamp == kNoStamp) return std::nullopt;
    return line.stamp;
}

std::size_t LineStamps::lineStart(std::uint64_t n) const {
    const Line& line = m_lines[static_cast<std::size_t>(n - m_firstLine)];
    return static_cast<std::size_t>(std::max(line.start, m_base) - m_base);
}

std::optional<std::int64_t> LineStamps::lineStamp(std::uint64_t n) const {
    const Line& line = m_lines[static_cast<std::size_t>(n - m_firstLine)];
    if (line.stamp == kNoStamp) return std::nullopt;
    return line.stamp;
}

void LineStamps::textReplaced(std::size_t position, std::size_t removed,
                              std::string_view inserted) {
    const std::uint64_t from = m_base + position;
    const std::uint64_t to = from + removed;
    const std::size_t at = indexOf(from);

    // Lines whose break the edit removes are gone; those below move with the text.
    auto first = m_lines.begin() + static_cast<std::ptrdiff_t>(at) + 1;
    auto last = first;
    while (last != m_lines.end() && last->start <= to)
        ++last;
    first = m_lines.erase(first, last);
    for (auto it = first; it != m_lines.end(); ++it)
        it->start = it->start - removed + inserted.size();
    m_end = m_end - removed + inserted.size();

    // Every LF inserted starts a new line.
    std::size_t added = 0;
    for (const char* p = inserted.data(); p != inserted.data() + inserted.size();) {
        const auto* lf = static_cast<const char*>(
            std::memchr(p, '\n', static_cast<std::size_t>(inserted.data() + inserted.size() - p)));
        if (!lf) break;
        const std::uint64_t lineStart = from + static_cast<std::uint64_t>(lf - inserted.data()) + 1;
        first = m_lines.insert(first, Line{lineStart, kNoStamp, false}) + 1;
        ++added;
        p = lf + 1;
    }

    // The lines the inserted bytes went into begin now, unless they had begun before.
    if (!inserted.empty()) start(m_lines[at], true);
    for (std::size_t i = at + 1; i <= at + added; ++i) {
        const std::uint64_t end = i + 1 < m_lines.size() ? m_lines[i + 1].start : m_end;
        start(m_lines[i], m_lines[i].start < end);
    }

    // A last line left without bytes is as if it had never begun.
    Line& tail = m_lines.back();
    if (std::max(tail.start, m_base) == m_end) {
        tail.started = false;
        tail.stamp = kNoStamp;
    }
}

void LineStamps::frontTrimmed(std::size_t n) {
    m_base = std::min(m_base + n, m_end);
    while (m_lines.size() >= 2 && m_lines[1].start <= m_base) {
        m_lines.pop_front();
        ++m_firstLine;
    }
}

void LineStamps::textReset(std::string_view text) {
    m_firstLine += m_lines.size();
    m_lines.clear();
    m_base = 0;
    m_end = 0;
    m_lines.push_back({0, kNoStamp, false});
    textReplaced(0, 0, text);
}

} // namespace terminal
