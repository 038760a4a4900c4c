#include "transfer/transmission.h"

#include "framework/errors.h"
#include "framework/file.h"
#include "framework/filedialog.h"
#include "framework/stringtable.h"
#include "res/resource.h"
#include "transfer/openfailure.h"
#include "transfer/transmitdlg.h"

#include <QPointer>

#include <algorithm>
#include <vector>

namespace transfer {
namespace {

constexpr const char* kTextFilter = "Text Files (*.txt) | *.txt | All Files (*.*) | *.* ||";

// Whatever way the transmission ends, the window comes back as it was: progress dialog gone,
// file closed, window enabled, typing to the screen.
class TransmissionScope {
public:
    TransmissionScope(const Transmission& t, fw::File& file)
        : m_t(t)
        , m_file(file) {
        m_t.window.setEnabled(false);
        m_t.cancel = 0;
        m_dialog = new CTransmitDlg(&m_t.window, m_t.cancel);
        m_dialog->Create();
    }
    ~TransmissionScope() {
        if (m_dialog && !m_dialog->IsGone()) m_dialog->OnCancel();
        m_t.out.drop();
        m_file.abort();
        m_t.window.setEnabled(true);
        m_t.restoreFocus();
    }
    TransmissionScope(const TransmissionScope&) = delete;
    TransmissionScope& operator=(const TransmissionScope&) = delete;

private:
    const Transmission& m_t;
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

// The sending itself, chunk by chunk, counting what got out.
class Sender {
public:
    Sender(const Transmission& t, fw::File& file, std::size_t chunk)
        : m_t(t)
        , m_file(file)
        , m_buffer(chunk) {}

    void run(std::int64_t length) {
        const auto n = static_cast<std::int64_t>(m_buffer.size());
        const std::int64_t chunks = length / n;
        const auto tail = static_cast<std::size_t>(length % n);
        bool going = true;
        for (std::int64_t i = 0; going && i < chunks; ++i)
            going = !m_t.cancel && sendChunk(m_buffer.size());
        if (going && tail > 0 && !m_t.cancel) sendChunk(tail);
        if (m_portClosed) reportClosed(length);
    }

private:
    // Hands `bytes` to the port while it is open; false once it has closed.
    bool output(std::string_view bytes) {
        if (m_t.out.open()) {
            m_t.out.send(bytes);
            m_handed += static_cast<std::int64_t>(bytes.size());
            m_unsent = m_t.out.unsent();
        }
        m_portClosed = !m_t.out.open();
        return !m_portClosed;
    }

    // One chunk out, then the wait until it has gone; false when the transmission ends.
    bool sendChunk(std::size_t size) {
        // Exactly the bytes the file gave: a file that shrinks sends what it still holds.
        const std::size_t got = ReadChunk(m_file, m_buffer.data(), size);
        if (got == 0 || !output(std::string_view(m_buffer.data(), got))) return false;
        while (!m_t.cancel) {
            if (!m_t.out.open()) {
                m_portClosed = true;
                return false;
            }
            m_unsent = m_t.out.unsent();
            if (m_unsent <= 0) break;
            m_t.pump();
        }
        return got == size;
    }

    void reportClosed(std::int64_t length) {
        m_t.cancel = 1;
        const std::int64_t out =
            std::max<std::int64_t>(0, m_handed - std::max<std::int64_t>(m_unsent, 0));
        m_t.status(fw::FormatString(IDS_TRANSMIT_PORT_CLOSED,
                                    {std::to_string(out), std::to_string(length)}));
    }

    const Transmission& m_t;
    fw::File& m_file;
    std::vector<char> m_buffer;
    std::int64_t m_handed = 0; // bytes given to the control
    std::int64_t m_unsent = 0; // of those, what was last reported as not yet out
    bool m_portClosed = false;
};

} // namespace

void TransmitTextFile(const Transmission& t) {
    const auto path = fw::GetOpenFileName(&t.window, "txt", kTextFilter, /*pathMustExist=*/true);
    if (!path) return;
    fw::File file;
    try {
        file.open(*path, fw::File::Read | fw::File::Exclusive);
    } catch (const fw::FileError& e) {
        ShowOpenFailure(e, fw::Icon::Stop);
        return;
    }

    TransmissionScope scope(t, file);
    const int n = t.out.chunkSize();
    const std::int64_t length = file.length();
    if (n <= 0) return;
    Sender(t, file, static_cast<std::size_t>(n)).run(length);
}

} // namespace transfer
