#pragma once
// An open port's life, between the control and whatever shows or takes its bytes.
//
// The receive road runs one way: the control's event -> the session, which writes the dump
// and the text log (it owns both files), keeps the line-break state (the mode and the CR
// carried from one chunk to the next), and hands each chunk to the log view's screen and to
// the terminal sink when one is set. While a LineTaker has taken the line, a chunk goes to it
// and to the dump only. Per chunk the frame hears once: the message pane's text.
//
// Every byte sent leaves through the send queue (typed keys, file transmission, dialling).
// The message pane keeps a note (notes are held for a few seconds, or while a transfer runs)
// before the port's own event text comes back.

#include "framework/file.h"
#include "framework/types.h"
#include "session/hanguppulse.h"
#include "session/portwait.h"
#include "session/sendqueue.h"
#include "session/statuspane.h"
#include "terminal/render.h"
#include "transfer/dumpfile.h"
#include "transfer/logfile.h"
#include "transfer/textlog.h"
#include "transfer/transmission.h"

#include <QObject>
#include <QTimer>

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class CCommCtrl;
class CTermEdit;
class QWidget;

namespace session {

// Whoever takes the line (a file-transfer protocol) gets the received bytes instead of the
// views and the text log.
class LineTaker {
public:
    virtual ~LineTaker() = default;
    // A received chunk, every byte as it came (the dump has it too).
    virtual void received(std::string_view bytes) = 0;
    // The port has closed (or its device gone); the line is no longer taken.
    virtual void lineLost() = 0;
};

class Session : public QObject {
    Q_OBJECT
public:
    // The session over the frame's control and screen; `parent` bounds late failure boxes.
    Session(CCommCtrl& comm, CTermEdit& screen, QObject* parent);
    ~Session() override;

    // Once the control exists: takes its event and its output signals.
    void attach();
    // The message pane's text; an empty text asks for the frame's idle text.
    void setStatusSink(std::function<void(const std::string&)> sink);
    // The dump's or the log's path changed (the caption shows them).
    void setFilesChanged(std::function<void()> changed);

    // --- the receive road ---------------------------------------------------------------
    // The control's event: a receive event reads the input once and runs the road; status
    // events go to the pane; a line error asks OK/Cancel, and Cancel closes the port.
    void onCommEvent();
    // The same for an event whose code is given (what CommEvent would read).
    void handleEvent(short code);
    // One received chunk down the road.
    void received(std::string_view chunk);
    // Besides the log view, every chunk (raw) goes here while set; empty: none.
    void setTerminalSink(std::function<void(std::string_view)> sink);
    // Takes the line for `taker`: false when another holds it. The views and the text log
    // see nothing until it is released.
    // Sees every chunk that goes to the views (a device starting a transfer); empty: none.
    void setReceiveWatch(std::function<void(std::string_view)> watch) {
        m_watch = std::move(watch);
    }
    bool takeLine(LineTaker* taker);
    void releaseLine();
    LineTaker* lineTaker() const { return m_taker; }

    // Received data shown as hexadecimal: any non-zero value, kept as it was given.
    Bool32 hexView() const { return m_hexView; }
    void setHexView(Bool32 on) { m_hexView = on; }
    terminal::LineBreaks lineBreaks() const { return m_breaks.mode; }
    // A new mode starts afresh: no CR is carried over.
    void setLineBreaks(terminal::LineBreaks mode) { m_breaks = {mode, false}; }

    // --- the dump and the text log --------------------------------------------------------
    // Opens `path` for recording: false after the failure box, with no dump open.
    bool openDump(const std::string& path, bool append);
    // Ends the recording; a failure of the flush or close is thrown after it has ended.
    void closeDump();
    // Asks for the log file and opens it: false when cancelled or after the failure box.
    bool openLog(QWidget* parent);
    void closeLog();
    // A moment of the port's own (gone, back) on a line of its own in the open log; what had
    // arrived before the port closed reaches the road first, so the mark stands where it
    // happened. The log view draws a separator at that place.
    void logMark(const std::string& text);
    // A line of the program's own (what a file transfer moved) on the screen, on a line of its
    // own, and in the open log as a mark (no separator: the port itself went nowhere).
    void markLine(const std::string& text);
    const std::string& dumpPath() const { return m_dumpPath; }
    const fw::File& dumpFile() const { return m_dumpFile; }
    const std::string& logPath() const { return m_logPath; }
    const fw::File& logFile() const { return m_logFile; }

    // --- sending ----------------------------------------------------------------------------
    SendQueue& sendQueue() { return *m_queue; }
    // Typed keys: queued unpaced, sent at once when nothing waits before them.
    void sendTyped(std::string_view bytes);
    // Where a text file transmission sends its chunks: paced, dropped when it ends.
    transfer::Outlet fileOutlet();

    // --- the message pane -------------------------------------------------------------------
    // A note shown for a few seconds before the port's event text comes back.
    void note(const std::string& text);
    // A note shown until released (a transfer's progress while it runs).
    void holdNote(const std::string& text);
    void releaseNote();

    // --- the port's life -------------------------------------------------------------------
    // The wait for a device that went away, to open its port again when it is back.
    PortWait& portWait() { return m_portWait; }
    const PortWait& portWait() const { return m_portWait; }
    // Hangs a modem up with a DTR pulse; endHangUp puts DTR back at once.
    void hangUp() { m_hangUp.start(); }
    void endHangUp() { m_hangUp.end(); }

    // The port has closed (by the user, a line error, its device gone): queued sending ends,
    // a taker of the line hears it has lost it.
    void portClosed();

private:
    // One reading of the control: the dump takes it whole, the rest of the road in slices.
    void receivedRead(std::string_view read);
    // A chunk past the dump: to the taker, or to the views and the text log.
    void deliver(std::string_view chunk);
    void showStatus();
    std::int64_t monotonicMs() const;

    CCommCtrl& m_comm;
    CTermEdit& m_screen;
    std::unique_ptr<SendPort> m_port;
    std::unique_ptr<SendQueue> m_queue;
    std::function<void(const std::string&)> m_status;
    std::function<void()> m_filesChanged;
    std::function<void(std::string_view)> m_terminal;
    std::function<void(std::string_view)> m_watch;
    LineTaker* m_taker = nullptr;
    Bool32 m_hexView = 0;
    terminal::TextBreaks m_breaks;
    bool m_lfHinted = false; // the LF-only hint was given since the port opened
    StatusPane m_pane;
    PortWait m_portWait{m_comm};
    HangUpPulse m_hangUp{m_comm};
    QTimer m_noteTimer;
    std::vector<JobId> m_fileJobs; // the transmission's chunks still queued

    fw::File m_dumpFile;
    std::string m_dumpPath;
    fw::File m_logFile;
    std::string m_logPath;
    transfer::LineCutter m_logLines;
    QTimer m_logPause;
    const transfer::Dump m_dump;
    const transfer::Log m_log;
};

} // namespace session
