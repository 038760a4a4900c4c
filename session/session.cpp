#include "session/session.h"

#include "comm/ccommctrl.h"
#include "framework/clock.h"
#include "framework/errors.h"
#include "framework/msgbox.h"
#include "framework/stringtable.h"
#include "res/resource.h"
#include "terminal/commevents.h"
#include "terminal/showreceived.h"
#include "terminal/termedit.h"

#include <QElapsedTimer>

#include <algorithm>

namespace session {
namespace {

constexpr std::size_t kSlice = 4096;

// The queue's view of the control: refusals are a closed port, never an exception.
class CommSendPort final : public SendPort {
public:
    explicit CommSendPort(CCommCtrl& comm)
        : m_comm(comm) {}
    bool isOpen() const override { return m_comm.IsCreated() && m_comm.GetPortOpen(); }
    int unsent() const override { return m_comm.GetOutBufferCount(); }
    int bufferSize() const override { return m_comm.GetOutBufferSize(); }
    bool write(std::string_view bytes) override {
        return attempt([&] { m_comm.SetOutput(bytes); });
    }
    bool setBreak(bool on) override {
        return attempt([&] { m_comm.SetBreak(on); });
    }

private:
    template <typename F> bool attempt(F f) {
        try {
            f();
            return true;
        } catch (const fw::ControlError&) {
            return false;
        }
    }
    CCommCtrl& m_comm;
};

} // namespace

Session::Session(CCommCtrl& comm, CTermEdit& screen, QObject* parent)
    : QObject(parent)
    , m_comm(comm)
    , m_screen(screen)
    , m_port(std::make_unique<CommSendPort>(comm))
    , m_queue(std::make_unique<SendQueue>(*m_port, nullptr, this))
    , m_dump{m_dumpFile, m_dumpPath, parent, [this] {
                 if (m_filesChanged) m_filesChanged();
             }}
    , m_log{m_logFile, m_logPath, m_logLines, m_logPause, parent, [this] {
                if (m_filesChanged) m_filesChanged();
            }} {
    m_noteTimer.setSingleShot(true);
    m_noteTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_noteTimer, &QTimer::timeout, this, [this] {
        const std::int64_t now = monotonicMs();
        if (const auto until = m_pane.expiry(now))
            m_noteTimer.start(static_cast<int>(*until - now));
        else
            showStatus();
    });
    connect(&m_logPause, &QTimer::timeout, this, [this] {
        // Entered from the event loop by the timer: nothing may escape into Qt.
        fw::Guard(fw::Entry::WindowMessage, [this] { transfer::LogPause(m_log); });
    });
}

Session::~Session() {
    // The queue's last word (a break under way ends) goes to a port that is still there.
    m_queue.reset();
}

void Session::attach() {
    m_comm.SetEventSink([this] { fw::Guard(fw::Entry::ControlEvent, [this] { onCommEvent(); }); });
    if (comm::SerialControl* control = m_comm.control()) {
        SendQueue* queue = m_queue.get();
        connect(control, &comm::SerialControl::outputProgress, queue, &SendQueue::outputMoved);
        connect(control, &comm::SerialControl::outputDrained, queue, &SendQueue::outputMoved);
    }
}

void Session::setStatusSink(std::function<void(const std::string&)> sink) {
    m_status = std::move(sink);
}

void Session::setFilesChanged(std::function<void()> changed) {
    m_filesChanged = std::move(changed);
}

void Session::setTerminalSink(std::function<void(std::string_view)> sink) {
    m_terminal = std::move(sink);
}

// --- the receive road ----------------------------------------------------------------------

void Session::onCommEvent() {
    handleEvent(m_comm.GetCommEvent());
}

void Session::handleEvent(short code) {
    const terminal::CommEventText* entry = terminal::FindEventText(code);
    if (!entry) return;

    if (!entry->error) {
        // One reading per event: what InputLen leaves behind waits for the next one.
        if (code == terminal::kReceiveEvent) receivedRead(m_comm.GetInput());
        m_pane.event(fw::LoadString(entry->stringId));
        showStatus();
        return;
    }

    fw::MessageBeep(fw::Icon::Exclamation);
    const std::string error = fw::LoadString(entry->stringId) + "\nOK to ignore, Cancel to quit";
    if (fw::MessageBox(error, fw::Buttons::OkCancel, fw::Icon::Exclamation) == fw::Answer::Cancel) {
        m_comm.SetPortOpen(false);
        portClosed();
    }
}

void Session::logMark(const std::string& text) {
    if (!m_comm.GetPortOpen())
        for (std::string rest = m_comm.GetInput(); !rest.empty(); rest = m_comm.GetInput())
            receivedRead(rest);
    transfer::LogMark(m_log, text, fw::NowMs());
    // The log view draws a line there instead: its text stays what the device sent.
    m_screen.addSeparator();
}

void Session::markLine(const std::string& text) {
    const std::string_view shown = m_screen.text();
    const bool lineOpen = !shown.empty() && shown.back() != '\n' && shown.back() != '\r';
    // A break mode of its own: the user's mode may not break on CR.
    terminal::TextBreaks breaks{terminal::LineBreaks::CR, false};
    terminal::ShowReceived(m_screen, (lineOpen ? "\r" : "") + text + "\r", false, breaks,
                           fw::NowMs(), nullptr);
    m_breaks.afterCR = false;
    transfer::LogMark(m_log, text, fw::NowMs());
}

void Session::received(std::string_view chunk) {
    if (!m_dumpPath.empty()) transfer::WriteDump(m_dump, chunk);
    deliver(chunk);
}

void Session::receivedRead(std::string_view read) {
    if (!m_dumpPath.empty()) transfer::WriteDump(m_dump, read);
    // The rest of the road takes a read in slices: the screen is trimmed before each, so
    // however much one read brings, it stays within its bound and one slice.
    std::size_t at = 0;
    do {
        deliver(read.substr(at, kSlice));
        at += kSlice;
    } while (at < read.size());
}

void Session::deliver(std::string_view chunk) {
    if (m_taker) {
        m_taker->received(chunk);
        return;
    }
    const std::int64_t arrived = fw::NowMs();
    if (m_logPath.empty()) {
        terminal::ShowReceived(m_screen, chunk, m_hexView != 0, m_breaks, arrived, nullptr);
    } else {
        terminal::LogText text;
        terminal::ShowReceived(m_screen, chunk, m_hexView != 0, m_breaks, arrived, &text);
        // The log reads its text as the screen does.
        m_logLines.setUtf8(m_screen.characterSet() == terminal::CharacterSet::Utf8);
        transfer::WriteLog(m_log, text.text, text.erase, arrived);
    }
    if (m_terminal) {
        m_terminal(chunk);
    } else if (m_breaks.loneLF && !m_lfHinted) {
        // Once per opening: lines that run together in the log view have a remedy.
        m_lfHinted = true;
        note(fw::LoadString(IDS_LF_HINT));
    }
    if (m_watch) m_watch(chunk);
}


bool Session::takeLine(LineTaker* taker) {
    if (!taker || (m_taker && m_taker != taker)) return false;
    m_taker = taker;
    // What the taker gets is not shown: a CR shown before it pairs with nothing after it.
    m_breaks.afterCR = false;
    return true;
}

void Session::releaseLine() {
    m_taker = nullptr;
}

void Session::portClosed() {
    m_lfHinted = false;
    m_breaks.loneLF = m_breaks.lastCR = false;
    m_queue->portClosed();
    if (LineTaker* taker = std::exchange(m_taker, nullptr)) taker->lineLost();
}

// --- sending -------------------------------------------------------------------------------

void Session::sendTyped(std::string_view bytes) {
    m_queue->send(std::string(bytes));
}

transfer::Outlet Session::fileOutlet() {
    m_fileJobs.clear();
    transfer::Outlet outlet;
    outlet.open = [this] { return m_port->isOpen(); };
    outlet.chunkSize = [this] { return m_port->bufferSize(); };
    outlet.send = [this](std::string_view bytes) {
        m_fileJobs.push_back(m_queue->send(std::string(bytes), {.paced = true}));
    };
    outlet.unsent = [this] {
        return m_queue->queuedBytes() + (m_port->isOpen() ? m_port->unsent() : 0);
    };
    outlet.drop = [this] {
        for (const JobId id : std::exchange(m_fileJobs, {}))
            m_queue->cancel(id);
    };
    return outlet;
}

// --- the message pane ----------------------------------------------------------------------

std::int64_t Session::monotonicMs() const {
    static QElapsedTimer clock;
    if (!clock.isValid()) clock.start();
    return clock.elapsed();
}

void Session::note(const std::string& text) {
    m_pane.note(text, monotonicMs());
    m_noteTimer.start(static_cast<int>(StatusPane::kNoteMs));
    showStatus();
}

void Session::holdNote(const std::string& text) {
    m_pane.hold(text);
    showStatus();
}

void Session::releaseNote() {
    m_pane.release();
    showStatus();
}

void Session::showStatus() {
    if (m_status) m_status(m_pane.shown(monotonicMs()));
}

// --- the dump and the text log -------------------------------------------------------------

bool Session::openDump(const std::string& path, bool append) {
    return transfer::OpenDump(m_dump, path, append);
}

void Session::closeDump() {
    transfer::CloseDump(m_dump);
}

bool Session::openLog(QWidget* parent) {
    return transfer::OpenLog(m_log, parent);
}

void Session::closeLog() {
    transfer::CloseLog(m_log);
}

} // namespace session
