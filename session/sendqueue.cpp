#include "session/sendqueue.h"

#include <QTimer>

#include <algorithm>
#include <vector>

namespace session {
namespace {

// While the port is full and says nothing, look again this often all the same.
constexpr int kRecheckMs = 50;
// One pass hands over at most this much before the window gets its turn.
constexpr std::size_t kMaxPerPass = 64 * 1024;

class EventLoopTimer final : public Timer {
public:
    explicit EventLoopTimer(QObject* parent)
        : m_timer(parent) {
        m_timer.setSingleShot(true);
        m_timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&m_timer, &QTimer::timeout, &m_timer, [this] {
            if (auto due = m_due) due();
        });
    }
    void start(int ms, std::function<void()> due) override {
        m_due = std::move(due);
        m_timer.start(std::max(ms, 0));
    }
    void stop() override { m_timer.stop(); }

private:
    QTimer m_timer;
    std::function<void()> m_due;
};

// A line ends at LF, and at a CR that no LF follows within the job.
bool EndsLine(std::string_view bytes, std::size_t at) {
    if (bytes[at] == '\n') return true;
    return bytes[at] == '\r' && (at + 1 == bytes.size() || bytes[at + 1] != '\n');
}

} // namespace

std::unique_ptr<Timer> MakeEventLoopTimer(QObject* parent) {
    return std::make_unique<EventLoopTimer>(parent);
}

struct SendQueue::Job {
    enum class Kind { Bytes, Pause, Break };
    JobId id = 0;
    Kind kind = Kind::Bytes;
    std::string bytes;
    std::size_t pos = 0;
    SendOptions options;
    int ms = 0;
    bool started = false;
};

SendQueue::SendQueue(SendPort& port, std::unique_ptr<Timer> timer, QObject* parent)
    : QObject(parent)
    , m_port(port)
    , m_timer(timer ? std::move(timer) : MakeEventLoopTimer(this)) {}

SendQueue::~SendQueue() {
    m_timer->stop();
    endBreak();
}

SendQueue::Job* SendQueue::find(JobId id) {
    for (auto* q : {&m_held, &m_jobs})
        for (Job& job : *q)
            if (job.id == id) return &job;
    return nullptr;
}

void SendQueue::endBreak() {
    if (m_wait != Wait::Timed) return;
    const Job* job = find(m_timedJob);
    if (job && job->kind == Job::Kind::Break && m_port.isOpen()) m_port.setBreak(false);
}

void SendQueue::setPacing(int charMs, int lineMs) {
    m_charMs = std::max(charMs, 0);
    m_lineMs = std::max(lineMs, 0);
}

JobId SendQueue::add(Job job, bool held) {
    job.id = m_nextId++;
    const JobId id = job.id;
    (held ? m_held : m_jobs).push_back(std::move(job));
    pump();
    return id;
}

JobId SendQueue::send(std::string bytes, SendOptions options) {
    Job job;
    job.bytes = std::move(bytes);
    job.options = options;
    return add(std::move(job), false);
}

JobId SendQueue::pause(int ms) {
    Job job;
    job.kind = Job::Kind::Pause;
    job.ms = ms;
    return add(std::move(job), false);
}

JobId SendQueue::sendBreak(int ms) {
    Job job;
    job.kind = Job::Kind::Break;
    job.ms = ms;
    return add(std::move(job), false);
}

std::uint64_t SendQueue::beginExclusive() {
    if (m_holder != 0) return 0;
    m_holder = m_nextHolder++;
    return m_holder;
}

JobId SendQueue::sendExclusive(std::uint64_t holder, std::string bytes) {
    if (holder == 0 || holder != m_holder) return 0;
    Job job;
    job.bytes = std::move(bytes);
    return add(std::move(job), true);
}

void SendQueue::endExclusive(std::uint64_t holder) {
    if (holder == 0 || holder != m_holder) return;
    m_holder = 0;
    pump();
}

std::int64_t SendQueue::queuedBytes() const {
    std::int64_t n = 0;
    for (const auto* q : {&m_held, &m_jobs})
        for (const Job& job : *q)
            n += static_cast<std::int64_t>(job.bytes.size() - job.pos);
    return n;
}

SendQueue::Job* SendQueue::current() {
    if (!m_held.empty()) return &m_held.front();
    if (m_holder != 0 || m_jobs.empty()) return nullptr;
    return &m_jobs.front();
}

void SendQueue::waitFor(Wait wait, int ms) {
    m_wait = wait;
    m_timer->start(ms, [this] { onTimer(); });
}

void SendQueue::onTimer() {
    // A pause or break is over: the job that started it is done (a break ends first).
    if (m_wait == Wait::Timed) {
        endBreak();
        m_wait = Wait::None;
        finish(m_timedJob, SendResult::Done);
        return;
    }
    m_wait = Wait::None;
    pump();
}

void SendQueue::outputMoved() {
    if (m_wait == Wait::Output) {
        m_timer->stop();
        m_wait = Wait::None;
    }
    pump();
}

void SendQueue::pump() {
    if (m_pumping) {
        m_again = true;
        return;
    }
    m_pumping = true;
    m_passed = 0;
    do {
        m_again = false;
        while (step()) {
        }
    } while (m_again);
    m_pumping = false;
}

bool SendQueue::step() {
    // A pacing delay holds back the queue, not the holder of the line.
    if (m_wait != Wait::None && !(m_wait == Wait::Yield && !m_held.empty())) return false;
    Job* job = current();
    if (!job) return false;
    if (!m_port.isOpen()) {
        endAll(SendResult::PortClosed);
        return false;
    }
    if (job->kind != Job::Kind::Bytes) return stepTimed(*job);
    const bool paced = job->options.paced && m_held.empty() && (m_charMs > 0 || m_lineMs > 0);
    return stepBytes(*job, paced);
}

bool SendQueue::stepBytes(Job& job, bool paced) {
    const std::size_t left = job.bytes.size() - job.pos;
    std::size_t n = 0;
    if (left > 0) {
        const int room = m_port.bufferSize() - m_port.unsent();
        if (room <= 0) {
            waitFor(Wait::Output, kRecheckMs);
            return false;
        }
        if (m_passed >= kMaxPerPass) {
            waitFor(Wait::Yield, 0);
            return false;
        }
        n = paced ? 1 : std::min(left, static_cast<std::size_t>(room));
        if (!m_port.write(std::string_view(job.bytes).substr(job.pos, n))) {
            endAll(SendResult::PortClosed);
            return false;
        }
    }
    const std::size_t at = job.pos;
    job.pos += n;
    m_passed += n;
    const JobId id = job.id;
    const auto sent = static_cast<qint64>(job.pos), total = static_cast<qint64>(job.bytes.size());
    const int delay = !paced ? 0 : EndsLine(job.bytes, at) ? m_lineMs : m_charMs;
    const std::string piece = job.options.echo && m_echo ? job.bytes.substr(at, n) : std::string();
    // The job may end here: from now on it is known by its id only.
    if (sent == total) (m_held.empty() ? m_jobs : m_held).pop_front();
    if (!piece.empty()) m_echo(piece);
    if (n > 0) emit progress(id, sent, total);
    if (sent == total) emit finished(id, SendResult::Done);
    if (delay > 0) {
        waitFor(Wait::Yield, delay);
        return false;
    }
    return true;
}

bool SendQueue::stepTimed(Job& job) {
    if (job.ms <= 0 || job.started) { // started: its time ran out while another held the line
        finish(job.id, SendResult::Done);
        return true;
    }
    if (job.kind == Job::Kind::Break) {
        // What is before the break goes out whole first.
        if (m_port.unsent() > 0) {
            waitFor(Wait::Output, kRecheckMs);
            return false;
        }
        if (!m_port.setBreak(true)) {
            endAll(SendResult::PortClosed);
            return false;
        }
    }
    job.started = true;
    m_timedJob = job.id;
    waitFor(Wait::Timed, job.ms);
    return false;
}

void SendQueue::finish(JobId id, SendResult result) {
    for (auto* q : {&m_held, &m_jobs}) {
        const auto it = std::find_if(q->begin(), q->end(), [id](const Job& j) { return j.id == id; });
        if (it == q->end()) continue;
        q->erase(it);
        emit finished(id, result);
        pump();
        return;
    }
}

bool SendQueue::cancel(JobId id) {
    Job* job = current();
    const bool running = job && job->id == id;
    bool found = running;
    for (const auto* q : {&m_held, &m_jobs})
        found = found || std::any_of(q->begin(), q->end(), [id](const Job& j) { return j.id == id; });
    if (!found) return false;
    const bool timed = m_wait == Wait::Timed && m_timedJob == id;
    if (timed || (running && m_wait == Wait::Yield)) {
        endBreak();
        m_timer->stop();
        m_wait = Wait::None;
    }
    finish(id, SendResult::Cancelled);
    return true;
}

void SendQueue::cancelAll() {
    endAll(SendResult::Cancelled);
}

void SendQueue::portClosed() {
    endAll(SendResult::PortClosed);
}

void SendQueue::endAll(SendResult result) {
    endBreak();
    m_timer->stop();
    m_wait = Wait::None;
    std::vector<JobId> ended;
    for (auto* q : {&m_held, &m_jobs}) {
        for (const Job& job : *q)
            ended.push_back(job.id);
        q->clear();
    }
    if (result == SendResult::PortClosed) m_holder = 0;
    for (const JobId id : ended)
        emit finished(id, result);
}

} // namespace session
