#pragma once
// One file transfer on the open port: an XMODEM or YMODEM engine, or lrzsz for ZMODEM, holds
// the line through the session while it runs. What the line brings goes to the engine (and
// to the dump), what the engine sends leaves through the send queue's exclusive mode, and a
// timer gives the engine its ticks. The transfer starts only once the queue is empty; when it
// ends, the queue is let go, the line given back and `finished` says once how it went.
// Received files never replace a file without the `askReplace` answer.

#include "session/session.h"
#include "transfer/protocol/progresstext.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace protocol {
class Receiver;
class ReceivingFile;
class Sender;
struct Event;
struct OutgoingFile;
} // namespace protocol
namespace transfer {
class ZmodemProcess;
}

namespace session {

enum class Protocol { Xmodem, Ymodem, Zmodem };
const char* ProtocolName(Protocol protocol);

struct TransferPlan {
    Protocol protocol = Protocol::Ymodem;
    bool sending = true;
    std::vector<std::string> files; // sending: the paths
    std::string folder;             // receiving: where the files go
    std::string name;               // receiving XMODEM: the file's name in `folder`
    bool stripPadding = false;      // receiving XMODEM: trailing 0x1A bytes left out
};

class FileTransfer : public QObject, public LineTaker {
    Q_OBJECT
public:
    // True when `path` may be replaced by a received file.
    using AskReplace = std::function<bool(const std::string& path)>;

    FileTransfer(Session& session, TransferPlan plan, AskReplace askReplace,
                 QObject* parent = nullptr);
    ~FileTransfer() override;

    // Takes the line and starts (at once, or once the queue is empty). False with error()
    // when it cannot: the line is held by another, a file cannot be read, lrzsz is missing.
    bool start();
    // Sends the protocol's cancel, waits briefly and gives the line back; a second call, or
    // one after the end, does nothing.
    void cancel();

    bool running() const { return m_running; }
    bool waitingForQueue() const { return m_running && !m_holder; }
    const TransferPlan& plan() const { return m_plan; }
    const std::string& error() const { return m_error; }
    // The file under way, its bytes through and its size (none when not known).
    const std::string& fileName() const { return m_name; }
    std::uint64_t done() const { return m_done; }
    std::optional<std::uint64_t> total() const { return m_total; }
    double bytesPerSecond() const;
    // The status bar's words for where it stands.
    std::string progressText() const;

    // LineTaker
    void received(std::string_view bytes) override;
    void lineLost() override;

signals:
    void progress();
    // The transfer has ended: `summary` is its one line for the log, `failure` empty when
    // it went well.
    void finished(const QString& summary, const QString& failure);

private:
    bool prepareSend();
    void begin();
    void onTick();
    void handle(std::vector<protocol::Event> events);
    void onEvent(const protocol::Event& event);
    void onFileBegin(const protocol::Event& event);
    void onData(const std::string& bytes);
    void onFileEnd(std::uint64_t done);
    void beginZmodem();
    void placeReceived(const QString& path, const QString& name);
    void finish(const std::string& failure);
    void release();
    std::int64_t now() const { return m_clock.elapsed(); }

    Session& m_session;
    TransferPlan m_plan;
    AskReplace m_askReplace;
    std::unique_ptr<protocol::Sender> m_sender;
    std::unique_ptr<protocol::Receiver> m_receiver;
    std::unique_ptr<protocol::ReceivingFile> m_file;
    std::unique_ptr<transfer::ZmodemProcess> m_zmodem;
    std::vector<protocol::OutgoingFile> m_outgoing; // to send, until the sender starts
    std::vector<protocol::MovedFile> m_moved;
    QElapsedTimer m_clock;
    QTimer m_tick;
    std::uint64_t m_holder = 0;
    JobId m_lastSend = 0;
    bool m_running = false, m_ended = false, m_skipping = false, m_asking = false;
    std::string m_backlog; // what came while a question was open
    std::string m_name, m_error;
    std::uint64_t m_done = 0, m_base = 0; // m_base: bytes of the files before this one
    std::optional<std::uint64_t> m_total;
    std::int64_t m_startMs = 0;
};

} // namespace session
