#include "terminal/showreceived.h"

#include "terminal/termedit.h"

#include <algorithm>
#include <string>

namespace terminal {
namespace {

// The screen is trimmed before a chunk is added once it holds more than this...
constexpr std::size_t kTrimAbove = 0x3FFF;
// ...by this many characters from the top, as often as it takes to come back under the limit.
constexpr std::size_t kTrimCount = 0x1001;

} // namespace

void ShowReceived(CTermEdit& screen, std::string_view received, bool hexView, TextBreaks& breaks,
                  std::int64_t arrived, LogText* log) {
    std::size_t length = screen.textLength();
    while (length > kTrimAbove) {
        screen.trimFront(kTrimCount);
        length = screen.textLength();
    }

    // The text view, and the log that writes what it shows, take the backspaces out; the
    // hexadecimal view shows every byte as it came, backspaces included, and erases nothing.
    std::string text(received);
    const std::size_t backspaces = ApplyBackspaces(text);
    const std::size_t erase = std::min(backspaces, length);
    // A backspace that reaches back before the chunk stands between a CR that ended the last
    // chunk and this chunk's first byte: they are no longer one CR LF.
    if (backspaces > 0) breaks.afterCR = false;
    if (!hexView || log)
        text = TextView(text, breaks);
    else
        breaks.afterCR = false;
    if (log) {
        log->erase = erase;
        // The text view shows the same text: keep a copy only where the screen needs it.
        log->text = hexView ? std::move(text) : text;
    }

    const LineStamps::ReceiveScope stamped(screen.stamps(), arrived);
    if (hexView) {
        screen.setSel(length, length);
        screen.scrollCaret();
        screen.replaceSel(HexView(received));
        return;
    }
    screen.setSel(length - erase, length);
    screen.scrollCaret();
    screen.replaceSel(text);
}

} // namespace terminal
