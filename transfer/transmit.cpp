// Sending a text file through the port, chunk by chunk, while the frame is disabled.

#include "framework/file.h"
#include "framework/filedialog.h"
#include "framework/stringtable.h"
#include "mainframe/mainframe.h"
#include "res/resource.h"
#include "transfer/transmitdlg.h"

#include <QPointer>

#include <algorithm>

#include <vector>

namespace {

constexpr const char* kTextFilter = "Text Files (*.txt) | *.txt | All Files (*.*) | *.* ||";

// Whatever way the transmission ends, the frame comes back as it was: progress dialog gone,
// file closed, frame enabled, typing to the screen.
class TransmissionScope {
public:
    TransmissionScope(CMainFrame& frame, fw::File& file)
        : m_frame(frame)
        , m_file(file) {
        m_frame.setEnabled(false);
        m_frame.m_bCancel = 0;
        m_dialog = new CTransmitDlg(&m_frame);
        m_dialog->Create();
    }
    ~TransmissionScope() {
        if (m_dialog && !m_dialog->IsGone()) m_dialog->OnCancel();
        m_file.abort();
        m_frame.setEnabled(true);
        m_frame.m_wndEdit.setFocus();
    }
    TransmissionScope(const TransmissionScope&) = delete;
    TransmissionScope& operator=(const TransmissionScope&) = delete;

private:
    CMainFrame& m_frame;
    fw::File& m_file;
    QPointer<CTransmitDlg> m_dialog;
};

// Reads up to `n` bytes; fewer only at the end of the file (for instance when it shrank).
std::size_t ReadChunk(fw::File& file, char* buffer, std::size_t n) {
    std::size_t got = 0;
    while (got < n) {
        const std::size_t part = file.read(buffer + got, n - got);
        if (part == 0) break;
        got += part;
    }
    return got;
}

} // namespace

void CMainFrame::OnTransmitTextFile() {
    const auto path = fw::GetOpenFileName(this, "txt", kTextFilter, /*pathMustExist=*/true);
    if (!path) return;
    fw::File file;
    file.open(*path, fw::File::Read | fw::File::Exclusive);

    TransmissionScope scope(*this, file);
    const short n = m_wndComm.GetOutBufferSize();
    const std::int64_t length = file.length();
    if (n <= 0) return;

    // The port may close under the transmission (a line-error box's Cancel, the device gone):
    // then it ends as if cancelled, and says how much of the file got out.
    std::int64_t handed = 0; // bytes given to the control
    short unsent = 0;        // of those, what the control last reported as not yet out
    bool portClosed = false;
    const auto output = [&](std::string_view bytes) {
        try {
            if (m_wndComm.GetPortOpen()) {
                m_wndComm.SetOutput(bytes);
                handed += static_cast<std::int64_t>(bytes.size());
                unsent = m_wndComm.GetOutBufferCount();
            }
        } catch (const fw::ControlError&) {
            if (m_wndComm.GetPortOpen()) throw;
        }
        portClosed = !m_wndComm.GetPortOpen();
        return !portClosed;
    };

    std::vector<char> buffer(static_cast<std::size_t>(n));
    const auto sendChunk = [&](std::size_t size) {
        // Exactly the bytes the file gave: a file that shrinks sends what it still holds.
        const std::size_t got = ReadChunk(file, buffer.data(), size);
        if (got == 0 || !output(std::string_view(buffer.data(), got))) return false;
        while (!m_bCancel) {
            if (!m_wndComm.GetPortOpen()) {
                portClosed = true;
                return false;
            }
            unsent = m_wndComm.GetOutBufferCount();
            if (unsent <= 0) break;
            PumpPendingMessages();
        }
        return got == size;
    };

    const std::int64_t chunks = length / n;
    const auto tail = static_cast<std::size_t>(length % n);
    bool going = true;
    for (std::int64_t i = 0; going && i < chunks; ++i)
        going = !m_bCancel && sendChunk(static_cast<std::size_t>(n));
    if (going && tail > 0 && !m_bCancel) sendChunk(tail);

    if (portClosed) {
        m_bCancel = 1;
        const std::int64_t out = std::max<std::int64_t>(0, handed - std::max<short>(unsent, 0));
        m_wndStatusBar.SetPaneText(
            0, fw::FormatString(IDS_TRANSMIT_PORT_CLOSED,
                                {std::to_string(out), std::to_string(length)}));
    }
}
