#pragma once
// The text log's lines, apart from the file: what the text view shows of each received line,
// one log line each, "YYYY-MM-DD HH:MM:SS.mmm  text".
//
// A line is stamped with the time its first byte arrived and written when its break arrives.
// A line still open when the data pauses, or one that grows past kMaxLine bytes, is written
// with a trailing "\" and goes on in the next log line with a fresh stamp. Bytes below 0x20
// and 0x7F are written as \xNN, and so is the backslash itself, so that a trailing "\" always
// means a cut; the rest is converted from the program's code page to UTF-8.
//
// The log only grows: backspaces that reach beyond the open line leave written lines alone.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace transfer {

inline constexpr std::size_t kMaxLine = 4096;

class LineCutter {
public:
    // One receive event at wall-clock `ms`: `erase` characters erased at the end of the text
    // first (what the event's leading backspaces erase from the screen), then `text` as the
    // text view shows it (breaks as CR LF). Appends the log lines it finishes to `out`.
    void received(std::string_view text, std::size_t erase, std::int64_t ms, std::string& out);
    // The data has paused: an open line is written, marked as cut.
    void pause(std::string& out);
    // The log ends: an open line is written as it stands.
    void finish(std::string& out);
    bool lineOpen() const { return m_open; }
    // How the lines' bytes are read when they are written: UTF-8 or the code page.
    void setUtf8(bool on) { m_utf8 = on; }

private:
    void write(bool cut, std::string& out);

    std::string m_line;
    std::int64_t m_stamp = 0;
    bool m_open = false;
    bool m_utf8 = false;
};

// One log line, with its line feed. The text's bytes are read in the code page, or as UTF-8
// (well-formed sequences kept as they are, every other byte from 0x80 up written \xNN).
std::string FormatLine(std::int64_t ms, std::string_view text, bool cut, bool utf8 = false);
// A line of the log's own (the port went away, came back): the stamp, a tab and the text
// between "-- " and " --". Received text never puts a raw tab there (it is written \x09), so
// such a line cannot be taken for something the device sent.
std::string FormatMark(std::int64_t ms, std::string_view text);

} // namespace transfer
