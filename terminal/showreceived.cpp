// The receive road's last step: a chunk of received bytes to the dump and the screen.

#include "mainframe/mainframe.h"
#include "terminal/render.h"
#include "transfer/dumpfile.h"

namespace {

// The screen is trimmed before a chunk is added once it holds more than this...
constexpr std::size_t kTrimAbove = 0x3FFF;
// ...by this many characters from the top, as often as it takes to come back under the limit.
constexpr std::size_t kTrimCount = 0x1001;

} // namespace

void CMainFrame::ShowReceived(std::string_view received) {
    CTermEdit& screen = m_wndEdit;
    std::size_t length = screen.textLength();
    while (length > kTrimAbove) {
        screen.trimFront(kTrimCount);
        length = screen.textLength();
    }

    std::string s(received);
    if (!m_strDumpFile.empty()) WriteDump(*this, s);

    // The hexadecimal view shows every byte as it came, backspaces included: no erasing.
    const std::size_t erase = m_bHexView ? 0 : std::min(render::ApplyBackspaces(s), length);
    screen.setSel(length - erase, length);
    screen.scrollCaret();
    screen.replaceSel(m_bHexView ? render::HexView(s) : render::TextView(s));
}
