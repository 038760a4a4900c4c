// Sending a text file through the port, chunk by chunk, while the frame is disabled.

#include "framework/file.h"
#include "framework/filedialog.h"
#include "mainframe/mainframe.h"
#include "transfer/transmitdlg.h"

#include <QPointer>

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

    std::vector<char> buffer(static_cast<std::size_t>(n));
    const auto sendChunk = [&](std::size_t size) {
        // Exactly the bytes the file gave: a file that shrinks sends what it still holds.
        const std::size_t got = ReadChunk(file, buffer.data(), size);
        if (got == 0) return false;
        m_wndComm.SetOutput(std::string_view(buffer.data(), got));
        while (m_wndComm.GetOutBufferCount() > 0) {
            if (m_bCancel) break;
            PumpPendingMessages();
        }
        return got == size;
    };

    const std::int64_t chunks = length / n;
    const auto tail = static_cast<std::size_t>(length % n);
    for (std::int64_t i = 0; i < chunks; ++i) {
        if (m_bCancel || !sendChunk(static_cast<std::size_t>(n))) return;
    }
    if (tail > 0 && !m_bCancel) sendChunk(tail);
}
