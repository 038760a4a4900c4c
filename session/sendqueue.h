#pragma once
// The one way out: every byte sent on the line (typed keys, a transmitted file, dialling, a
// protocol's packets) goes through a SendQueue, in the order its jobs were queued. A job is
// bytes, a pause or a break. Bytes may be paced (a delay after each character and after each
// line end, both 0 unless setPacing says otherwise) and echoed (shown as they leave). Nothing
// here ever blocks or sleeps: waits are one timer and the port's word that its output moved.
//
// The port's buffer is never overfilled: bytes are handed over as it has room, so that a
// cancelled job takes back everything not yet handed over, at once. When the port closes with
// jobs queued, each ends as PortClosed and nothing of them is sent later.
//
// A protocol that holds the line (exclusive mode) sends alone: only its bytes pass, unpaced,
// ahead of everything queued; the rest waits until it lets go.

#include <QObject>

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace session {

using JobId = std::uint64_t;
enum class SendResult { Done, Cancelled, PortClosed };

struct SendOptions {
    bool paced = false; // the pacing delays apply
    bool echo = false;  // the bytes go to the echo sink as they leave
};

// The port as the queue sees it.
class SendPort {
public:
    virtual ~SendPort() = default;
    virtual bool isOpen() const = 0;
    // Bytes handed over that are not yet on the line.
    virtual int unsent() const = 0;
    // How much the port holds before it counts as overfilled.
    virtual int bufferSize() const = 0;
    // Hands `bytes` over; false when the port refused them (it has closed).
    virtual bool write(std::string_view bytes) = 0;
    virtual bool setBreak(bool on) = 0;
};

// One timer: `due` runs once, `ms` after start(), from the event loop; start() again or
// stop() forgets the earlier one. Tests put one in whose time they move themselves.
class Timer {
public:
    virtual ~Timer() = default;
    virtual void start(int ms, std::function<void()> due) = 0;
    virtual void stop() = 0;
};
std::unique_ptr<Timer> MakeEventLoopTimer(QObject* parent);

class SendQueue : public QObject {
    Q_OBJECT
public:
    // Without a timer, one of the event loop is made.
    explicit SendQueue(SendPort& port, std::unique_ptr<Timer> timer = {},
                       QObject* parent = nullptr);
    ~SendQueue() override;

    // The delays of paced jobs, in milliseconds (negative counts as 0).
    void setPacing(int charMs, int lineMs);
    int charDelay() const { return m_charMs; }
    int lineDelay() const { return m_lineMs; }
    void setEchoSink(std::function<void(std::string_view)> sink) { m_echo = std::move(sink); }

    // Queues a job and starts it at once when nothing is before it: the bytes of a job may be
    // sent, and it may finish, before the call returns (so a caller that follows its job takes
    // the id from nextJob() first). Empty bytes and a non-positive time finish as Done.
    JobId send(std::string bytes, SendOptions options = {});
    JobId pause(int ms);
    JobId sendBreak(int ms); // waits until what is before it is on the line

    // Ends a queued or running job as Cancelled: what is not yet handed to the port is never
    // sent, a break under way ends. False when the job is not (or no longer) queued.
    bool cancel(JobId job);
    void cancelAll();

    // Exclusive mode: 0 when another holds it already.
    std::uint64_t beginExclusive();
    // Bytes of the holder: unpaced, before everything queued. 0 for a stale holder.
    JobId sendExclusive(std::uint64_t holder, std::string bytes);
    // The holder lets go; what it still has queued goes first.
    void endExclusive(std::uint64_t holder);
    bool exclusive() const { return m_holder != 0; }

    JobId nextJob() const { return m_nextId; }
    bool idle() const { return m_jobs.empty() && m_held.empty(); }
    // Bytes queued and not yet handed to the port.
    std::int64_t queuedBytes() const;

    // The port's output moved (progress, drained): look whether there is room again.
    void outputMoved();
    // The port has closed: every job ends as PortClosed.
    void portClosed();

signals:
    void progress(session::JobId job, qint64 sent, qint64 total);
    void finished(session::JobId job, session::SendResult result);

private:
    struct Job;
    // Pacing and yielding hold back the queue but not the line's holder; a pause or a break
    // holds back everything; the full port waits for its output to move.
    enum class Wait { None, Yield, Timed, Output };

    JobId add(Job job, bool held);
    Job* current();
    Job* find(JobId id);
    void endBreak(); // a break under way ends on the line
    void pump();
    bool step(); // false when the queue has to wait
    bool stepBytes(Job& job, bool paced);
    bool stepTimed(Job& job);
    void waitFor(Wait wait, int ms);
    void onTimer();
    void finish(JobId id, SendResult result);
    void endAll(SendResult result);

    SendPort& m_port;
    std::unique_ptr<Timer> m_timer;
    std::deque<Job> m_jobs;
    std::deque<Job> m_held; // the exclusive holder's
    std::function<void(std::string_view)> m_echo;
    int m_charMs = 0, m_lineMs = 0;
    Wait m_wait = Wait::None;
    JobId m_nextId = 1;
    JobId m_timedJob = 0; // the pause or break that the timer is running for
    std::uint64_t m_holder = 0, m_nextHolder = 1;
    bool m_pumping = false, m_again = false;
    std::size_t m_passed = 0; // bytes handed over in this pass
};

} // namespace session

Q_DECLARE_METATYPE(session::SendResult)
