// The receive road's last step: a chunk of received bytes to the dump, the text log and the
// screen, all stamped with one reading of the clock taken as the chunk arrives.

#include "framework/clock.h"
#include "mainframe/mainframe.h"
#include "terminal/render.h"
#include "transfer/dumpfile.h"
#include "transfer/logfile.h"

namespace {

// The screen is trimmed before a chunk is added once it holds more than this...
constexpr std::size_t kTrimAbove = 0x3FFF;
// ...by this many characters from the top, as often as it takes to come back under the limit.
constexpr std::size_t kTrimCount = 0x1001;

} // namespace

void CMainFrame::ShowReceived(std::string_view received) {
    const std::int64_t arrived = fw::NowMs();
    CTermEdit& screen = m_wndEdit;
    std::size_t length = screen.textLength();
    while (length > kTrimAbove) {
        screen.trimFront(kTrimCount);
        length = screen.textLength();
    }

    std::string s(received);
    if (!m_strDumpFile.empty()) WriteDump(*this, s);

    // The text view, and the log that writes what it shows, take the backspaces out; the
    // hexadecimal view shows every byte as it came, backspaces included, and erases nothing.
    std::string text(s);
    const std::size_t backspaces = render::ApplyBackspaces(text);
    const std::size_t erase = std::min(backspaces, length);
    // A backspace that reaches back before the chunk stands between a CR that ended the last
    // chunk and this chunk's first byte: they are no longer one CR LF.
    if (backspaces > 0) m_textBreaks.afterCR = false;
    const bool logging = !m_strLogFile.empty();
    if (!m_bHexView || logging)
        text = render::TextView(text, m_textBreaks);
    else
        m_textBreaks.afterCR = false;
    if (logging) WriteLog(*this, text, erase, arrived);

    const LineStamps::ReceiveScope stamped(screen.stamps(), arrived);
    if (m_bHexView) {
        screen.setSel(length, length);
        screen.scrollCaret();
        screen.replaceSel(render::HexView(s));
        return;
    }
    screen.setSel(length - erase, length);
    screen.scrollCaret();
    screen.replaceSel(text);
}
