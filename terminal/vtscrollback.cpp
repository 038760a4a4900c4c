#include "terminal/vtscrollback.h"

#include "terminal/vtgrid.h"

#include <algorithm>
#include <cstring>

namespace terminal {

namespace {

// The header's top bit: the row wraps into the next.
constexpr std::uint16_t kWrappedBit = 0x8000;
enum RunFlag : std::uint8_t { kRunWide = 1, kRunCluster = 2 };

// One run of cells with one pen, packed into 12 bytes. For a cluster (one character with
// combining marks) `count` is its number of code points; otherwise its number of characters.
struct Run {
    std::uint16_t count;
    std::uint8_t attrs;
    std::uint8_t flags;
    std::uint32_t fg, bg;
};
static_assert(sizeof(Run) == 12);

bool IsDefaultBlank(const VtCell& c) {
    return c.ch == U' ' && c.width == 1 && c.attrs == 0 && c.fg == VtColor{} && c.bg == VtColor{};
}

char32_t NextUtf8(std::string_view s, std::size_t& i) {
    const auto b = static_cast<unsigned char>(s[i++]);
    int extra = b >= 0xF0 ? 3 : b >= 0xE0 ? 2 : b >= 0xC0 ? 1 : 0;
    char32_t c = extra == 3 ? b & 0x07u : extra == 2 ? b & 0x0Fu : extra == 1 ? b & 0x1Fu : b;
    for (; extra > 0 && i < s.size(); --extra) c = (c << 6) | (static_cast<unsigned char>(s[i++]) & 0x3Fu);
    return c;
}

} // namespace

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | ((c >> 18) & 0x07));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

namespace {

// Writes `c` as UTF-8 at `p`; returns the end.
char* PutUtf8(char* p, char32_t c) {
    if (c < 0x80) {
        *p++ = static_cast<char>(c);
    } else if (c < 0x800) {
        *p++ = static_cast<char>(0xC0 | (c >> 6));
        *p++ = static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        *p++ = static_cast<char>(0xE0 | (c >> 12));
        *p++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        *p++ = static_cast<char>(0x80 | (c & 0x3F));
    } else {
        *p++ = static_cast<char>(0xF0 | ((c >> 18) & 0x07));
        *p++ = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        *p++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        *p++ = static_cast<char>(0x80 | (c & 0x3F));
    }
    return p;
}

// Cells [0, end) of a row without combining marks, the text written at `p`; returns its end.
char* EncodePlainCells(const VtRow& row, int end, std::vector<Run>& runs, char* p) {
    const VtCell* cells = row.cells.data();
    Run run{0, 0, 0, 0, 0};
    for (int c = 0; c < end; ++c) {
        const VtCell& cell = cells[c];
        char32_t ch = cell.ch;
        std::uint8_t width = cell.width;
        if (width == 0) {
            if (c > 0 && cells[c - 1].width == 2) continue;
            ch = U' '; // a tail without its head
            width = 1;
        }
        p = ch < 0x80 ? (*p = static_cast<char>(ch), p + 1) : PutUtf8(p, ch);
        const std::uint8_t flags = width == 2 ? kRunWide : 0;
        const std::uint32_t fg = cell.fg.raw(), bg = cell.bg.raw();
        if (run.count && run.flags == flags && run.attrs == cell.attrs && run.fg == fg &&
            run.bg == bg && run.count < 0xFFFF) {
            ++run.count;
            continue;
        }
        if (run.count) runs.push_back(run);
        run = Run{1, cell.attrs, flags, fg, bg};
    }
    if (run.count) runs.push_back(run);
    return p;
}

// Cells [0, end) as runs and text. A line feed pushes a row, so this runs for every line of a
// flood: the text is written through a pointer into room made once, not a byte at a time.
void EncodeCells(const VtRow& row, int end, std::vector<Run>& runs, std::string& text) {
    std::size_t room = static_cast<std::size_t>(end) * 4;
    for (const auto& m : row.marks) room += m.second.size() * 4;
    text.resize(room);
    char* p = text.data();
    if (row.marks.empty()) {
        p = EncodePlainCells(row, end, runs, p);
        text.resize(static_cast<std::size_t>(p - text.data()));
        return;
    }
    for (int c = 0; c < end; ++c) {
        VtCell cell = row.cells[static_cast<std::size_t>(c)];
        if (cell.width == 0) {
            if (c > 0 && row.cells[static_cast<std::size_t>(c - 1)].width == 2) continue;
            cell = VtCell{U' ', cell.fg, cell.bg, cell.attrs, 1}; // a tail without its head
        }
        const std::u32string marks = row.marks.empty() ? std::u32string() : MarksAt(row, c);
        const std::uint8_t flags = (cell.width == 2 ? kRunWide : 0) | (marks.empty() ? 0 : kRunCluster);
        p = PutUtf8(p, cell.ch);
        for (char32_t m : marks) p = PutUtf8(p, m);
        Run* last = runs.empty() ? nullptr : &runs.back();
        if (!marks.empty()) {
            runs.push_back({static_cast<std::uint16_t>(1 + marks.size()), cell.attrs, flags,
                            cell.fg.raw(), cell.bg.raw()});
        } else if (last && last->flags == flags && last->attrs == cell.attrs &&
                   last->fg == cell.fg.raw() && last->bg == cell.bg.raw() && last->count < 0xFFFF) {
            ++last->count;
        } else {
            runs.push_back({1, cell.attrs, flags, cell.fg.raw(), cell.bg.raw()});
        }
    }
    text.resize(static_cast<std::size_t>(p - text.data()));
}

} // namespace

std::string EncodeRow(const VtRow& row) {
    int end = static_cast<int>(row.cells.size());
    while (end > 0 && IsDefaultBlank(row.cells[static_cast<std::size_t>(end - 1)]) &&
           (row.marks.empty() || MarksAt(row, end - 1).empty()))
        --end;
    // Kept between calls so that encoding a row allocates only the line it returns.
    thread_local std::vector<Run> runs;
    thread_local std::string text;
    runs.clear();
    EncodeCells(row, end, runs, text);
    std::string out;
    out.reserve(2 + runs.size() * sizeof(Run) + text.size());
    const std::uint16_t header =
        static_cast<std::uint16_t>(std::min<std::size_t>(runs.size(), 0x7FFF)) | (row.wrapped ? kWrappedBit : 0);
    out.append(reinterpret_cast<const char*>(&header), sizeof header);
    out.append(reinterpret_cast<const char*>(runs.data()), runs.size() * sizeof(Run));
    out += text;
    return out;
}

VtRow DecodeRow(std::string_view line, int cols) {
    VtRow row = BlankRow(cols);
    std::uint16_t header = 0;
    if (line.size() < sizeof header) return row;
    std::memcpy(&header, line.data(), sizeof header);
    row.wrapped = (header & kWrappedBit) != 0;
    const std::size_t runCount = std::min<std::size_t>(header & 0x7FFF, (line.size() - 2) / sizeof(Run));
    std::size_t at = 2 + runCount * sizeof(Run);
    int col = 0;
    for (std::size_t r = 0; r < runCount && col < cols; ++r) {
        Run run;
        std::memcpy(&run, line.data() + 2 + r * sizeof(Run), sizeof run);
        const VtPen pen{VtColor::fromRaw(run.fg), VtColor::fromRaw(run.bg), run.attrs};
        const int width = (run.flags & kRunWide) ? 2 : 1;
        const int chars = (run.flags & kRunCluster) ? 1 : run.count;
        for (int k = 0; k < chars && at < line.size() && col < cols; ++k) {
            std::u32string cluster(1, NextUtf8(line, at));
            if (run.flags & kRunCluster)
                for (int m = 1; m < run.count && at < line.size(); ++m) cluster += NextUtf8(line, at);
            const int w = col + width <= cols ? width : 1;
            auto& cell = row.cells[static_cast<std::size_t>(col)];
            cell = VtCell{cluster[0], pen.fg, pen.bg, pen.attrs, static_cast<std::uint8_t>(w)};
            if (w == 2) row.cells[static_cast<std::size_t>(col + 1)] = VtCell{0, pen.fg, pen.bg, pen.attrs, 0};
            if (cluster.size() > 1) row.marks.emplace_back(static_cast<std::uint16_t>(col), cluster.substr(1));
            col += w;
        }
    }
    return row;
}

std::string RowText(const VtRow& row) {
    std::string out;
    for (std::size_t c = 0; c < row.cells.size(); ++c) {
        const VtCell& cell = row.cells[c];
        if (cell.width == 0) continue;
        AppendUtf8(out, cell.ch == 0 ? U' ' : cell.ch);
        for (char32_t m : MarksAt(row, static_cast<int>(c))) AppendUtf8(out, m);
    }
    while (!out.empty() && out.back() == ' ') out.pop_back();
    return out;
}

VtScrollback::VtScrollback(std::size_t limit) { setLimit(limit); }

std::size_t VtScrollback::costOf(const std::string& s) {
    // The string object, and its heap block when the text does not fit inside it.
    return sizeof(std::string) + (s.capacity() > 15 ? (s.capacity() + 1 + 15) / 16 * 16 : 0);
}

void VtScrollback::setLimit(std::size_t limit) {
    m_limit = std::clamp<std::size_t>(limit, 1, kScrollbackMax);
    while (m_lines.size() > m_limit) {
        m_bytes -= costOf(m_lines.front());
        m_lines.pop_front();
        ++m_dropped;
    }
}

void VtScrollback::push(const VtRow& row) {
    if (m_lines.size() >= m_limit) {
        m_bytes -= costOf(m_lines.front());
        m_lines.pop_front();
        ++m_dropped;
    }
    m_lines.push_back(EncodeRow(row));
    m_lines.back().shrink_to_fit();
    m_bytes += costOf(m_lines.back());
}

std::string VtScrollback::text(std::size_t i) const {
    const std::string& line = m_lines.at(i);
    std::uint16_t header = 0;
    if (line.size() < 2) return {};
    std::memcpy(&header, line.data(), 2);
    const std::size_t start = std::min(line.size(), 2 + (header & 0x7FFFu) * sizeof(Run));
    std::string out = line.substr(start);
    while (!out.empty() && out.back() == ' ') out.pop_back();
    return out;
}

void VtScrollback::clear() {
    m_dropped += m_lines.size();
    m_lines.clear();
    m_bytes = 0;
}

} // namespace terminal
