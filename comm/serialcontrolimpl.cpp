#include "comm/serialcontrolimpl.h"

#include "comm/errortext.h"
#include "comm/netdevice.h"

#include <QCoreApplication>
#include <QPointer>

#include <algorithm>
#include <cerrno>
#include <optional>
#include <poll.h>

namespace comm {

namespace {

// The input buffer holds at least this much, and always at least RThreshold bytes, so that
// every threshold the control accepts can be reached: a full buffer is always a due event.
constexpr std::size_t kInBufferSize = 64 * 1024;
// Read at most this much per readiness event: enough that a flood costs few wake-ups, little
// enough that a key pressed meanwhile waits for no more than 16 KB to be shown (64 KB made
// the 90th percentile of a key's way to the wire 2.5 ms during a flood; 16 KB, 1 ms).
constexpr std::size_t kReadPerEvent = 16 * 1024;
constexpr int kLinePollMs = 20;

bool HungUp(int fd) {
    pollfd p{fd, POLLIN | POLLOUT, 0};
    return poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL));
}

bool WouldBlock(int err) {
    return err == EAGAIN || err == EWOULDBLOCK;
}

// The event of each MarkError, in the enum's order.
constexpr short kMarkEvent[] = {ErFrame, ErRxParity, ErBreak};

} // namespace

const QEvent::Type SerialControl::Impl::kDeliverEvent =
    static_cast<QEvent::Type>(QEvent::registerEventType());
const QEvent::Type LostEvent::kType = static_cast<QEvent::Type>(QEvent::registerEventType());

int DrainInterval(const LineSettings& s) {
    const int bits = 1 + s.dataBits + (s.parity != 'n') + (s.stopBits == StopBits::One ? 1 : 2);
    const std::uint64_t ms = 16ull * bits * 1000 / std::max<std::uint32_t>(s.baud, 1);
    return static_cast<int>(std::clamp<std::uint64_t>(ms, 1, 50));
}

SerialControl::Impl::Impl(SerialControl* owner)
    : q(owner) {
    QObject::connect(&readNotifier, &QSocketNotifier::activated, q, [this] { onReadable(); });
    QObject::connect(&writeNotifier, &QSocketNotifier::activated, q, [this] { flushOut(true); });
    QObject::connect(&lineTimer, &QTimer::timeout, q, [this] { pollLines(); });
    QObject::connect(&drainTimer, &QTimer::timeout, q, [this] { updateCount(true); });
    lineTimer.setInterval(kLinePollMs);
    ConnectHooks hooks;
    hooks.connecting = [this](const std::string& text) {
        if (connecting) connecting(text);
    };
    // A note comes from inside a device call: it reaches the handler from the event loop.
    hooks.note = [this](const std::string& text) {
        QMetaObject::invokeMethod(
            q, [this, text] { if (note) note(text); }, Qt::QueuedConnection);
    };
    opener = [hooks](const PortPath& p, const LineSettings& s, std::int32_t h, bool dtr, bool rts,
                     Status& status) { return OpenAnyDevice(p, s, h, dtr, rts, status, hooks); };
}

// --- events --------------------------------------------------------------------------------

void SerialControl::Impl::queueEvent(short code) {
    events.push(code);
    schedule();
}

void SerialControl::Impl::queueReceiveIfDue() {
    if (ReceiveDue(in.size(), rThreshold)) queueEvent(EvReceive);
}

void SerialControl::Impl::schedule() {
    if (posted || !events.pending()) return;
    posted = true;
    QCoreApplication::postEvent(q, new QEvent(kDeliverEvent));
}

void SerialControl::Impl::deliverNext() {
    posted = false;
    const short code = events.take();
    if (code == 0) return;
    schedule(); // the next code may be delivered inside a nested loop of this sink call
    callSink(code);
}

void SerialControl::Impl::callSink(short code) {
    QPointer<SerialControl> alive(q);
    const short outer = q->m_commEvent;
    const std::uint64_t takenBefore = taken;
    q->m_commEvent = code;
    events.enterSink();
    if (auto s = sink) {
        try {
            s();
        } catch (...) {
            // The sink's errors are its own; none crosses the event loop.
        }
    }
    if (!alive) return;
    events.leaveSink(); // held line errors go first once the outermost sink has returned
    q->m_commEvent = outer;
    // Progress made: go on while enough waits. No progress: wait for new data instead.
    if (code == EvReceive && taken != takenBefore) queueReceiveIfDue();
    schedule();
}

void SerialControl::Impl::deliverLost(const LostEvent& e) {
    if (e.generation != generation || dev) return;
    QPointer<SerialControl> alive(q);
    if (e.hadOutput) {
        emit q->outputProgress();
        if (alive) emit q->outputDrained();
    }
    if (alive && lostHandler) {
        auto handler = lostHandler;
        handler(lostStatus);
    }
}

// --- device --------------------------------------------------------------------------------

Status SerialControl::Impl::open() {
    PortPath p = ResolvePort(port);
    Status st;
    std::unique_ptr<SerialDevice> device;
    if (opening) return Fail(Message::AlreadyOpen, {p.shown});
    // A network port waits in a nested event loop, in which this control may be destroyed.
    QPointer<SerialControl> alive(q);
    opening = true;
    if (opener) device = opener(p, line, handshaking, dtr, rts, st);
    if (!alive) return st;
    opening = false;
    if (!device) return st.ok() ? Fail(Message::SystemError, {p.shown, "open the device"}) : st;

    dev = std::move(device);
    path = std::move(p);
    ++generation;
    in.clear();
    out.clear();
    outHead = 0;
    lastCount = 0;
    decoder.reset();
    events.clear();
    ringByEdge = false;
    if (auto l = dev->modemLines()) {
        hasLines = true;
        lines = *l;
    }
    if (auto c = dev->counters()) {
        hasCounters = true;
        seen = markBase = *c;
    }
    readNotifier.setSocket(dev->fd());
    writeNotifier.setSocket(dev->fd());
    readNotifier.setEnabled(true);
    drainTimer.setInterval(DrainInterval(line));
    updateLineTimer();
    return Status::success();
}

void SerialControl::Impl::close() {
    dev->discardOutput(); // closing never waits for a line that flow control holds
    closeDevice();
    in.clear();
    out.clear();
    outHead = 0;
    lastCount = 0;
    events.clear();
}

void SerialControl::Impl::closeDevice() {
    readNotifier.setEnabled(false);
    writeNotifier.setEnabled(false);
    lineTimer.stop();
    drainTimer.stop();
    dev.reset();
    decoder.reset();
    hasLines = hasCounters = false;
}

void SerialControl::Impl::lose() {
    const bool hadOutput = pendingOut() > 0 || lastCount > 0;
    lostStatus = Fail(Message::Gone, {path.shown});
    closeDevice();
    out.clear();
    outHead = 0;
    lastCount = 0;
    // The notice goes first, so that the receive event is still queued when it arrives.
    QCoreApplication::postEvent(q, new LostEvent(generation, hadOutput));
    if (rThreshold > 0 && !in.empty()) queueEvent(EvReceive);
}

void SerialControl::Impl::onReadable() {
    if (!dev) return;
    const std::size_t before = in.size();
    // One readiness event reads until the device is empty or kReadPerEvent bytes are taken, so
    // that a flood costs few wake-ups and the window still gets its turn between them.
    std::size_t readNow = 0;
    while (readNow < kReadPerEvent) {
        // Decoding yields at most what was read plus what the decoder holds.
        const std::size_t capacity = inCapacity();
        const std::size_t room = capacity - std::min(in.size(), capacity);
        const std::size_t reserve = dev->marksErrors() ? decoder.pending() : 0;
        if (room <= reserve) {
            // Full: the kernel keeps the rest until input() makes room.
            readNotifier.setEnabled(false);
            updateLineTimer();
            break;
        }
        const std::size_t want = std::min(room - reserve, kReadPerEvent - readNow);
        readBuf.resize(std::max(readBuf.size(), want));
        const ssize_t r = dev->read(readBuf.data(), want);
        if (r > 0) {
            take(readBuf.data(), static_cast<std::size_t>(r));
            readNow += static_cast<std::size_t>(r);
            continue;
        }
        if (r < 0 && WouldBlock(errno)) break;
        if (r < 0 && errno == EINTR) continue;
        lose(); // end of file, EIO, ENXIO: the device is gone
        return;
    }
    if (in.size() > before) queueReceiveIfDue();
}

std::size_t SerialControl::Impl::inCapacity() const {
    return std::max(kInBufferSize, static_cast<std::size_t>(std::max<short>(rThreshold, 0)));
}

void SerialControl::Impl::resumeReading() {
    if (dev && !readNotifier.isEnabled() && in.size() < inCapacity()) {
        readNotifier.setEnabled(true);
        updateLineTimer();
    }
}

void SerialControl::Impl::take(const char* buf, std::size_t n) {
    if (!dev->marksErrors()) {
        in.append(buf, n);
        return;
    }
    chunk.clear();
    marks.clear();
    decoder.decode(buf, n, chunk, marks);
    if (marks.empty()) {
        in += chunk;
        return;
    }
    // The driver's counters, where it has them, tell what each mark was.
    LineCounters counted;
    std::optional<MarkBudget> budget;
    if (const auto c = hasCounters ? dev->counters() : std::nullopt) {
        counted = *c;
        budget = MarkBudget{c->frame - markBase.frame, c->parity - markBase.parity,
                            c->brk - markBase.brk};
    }
    markErrors.clear();
    ApplyMarks(chunk, marks, budget, line.parity != 'n', parityReplace, in, markErrors);
    if (budget) { // what the marks spent is accounted for
        markBase.frame = counted.frame - budget->frame;
        markBase.parity = counted.parity - budget->parity;
        markBase.brk = counted.brk - budget->brk;
    }
    for (const MarkError e : markErrors)
        queueEvent(kMarkEvent[static_cast<int>(e)]);
}

void SerialControl::Impl::pollLines() {
    if (!dev) return;
    bool ring = false;
    if (hasLines) {
        if (const auto l = dev->modemLines()) {
            if (l->cts != lines.cts) queueEvent(EvCTS);
            if (l->dsr != lines.dsr) queueEvent(EvDSR);
            if (l->cd != lines.cd) queueEvent(EvCD);
            if (l->ri && !lines.ri) ring = ringByEdge = true;
            lines = *l;
        }
    }
    if (hasCounters) {
        if (const auto c = dev->counters()) {
            if (c->overrun != seen.overrun) queueEvent(ErOverrun);
            if (c->bufOverrun != seen.bufOverrun) queueEvent(ErRxOver);
            // The counter catches rings too short for polling; one seen as an edge counts once.
            if (c->rng != seen.rng) {
                if (!std::exchange(ringByEdge, false)) ring = true;
            }
            seen = *c;
        }
    }
    if (ring) queueEvent(EvRing);
    if (!readNotifier.isEnabled() && HungUp(dev->fd())) lose();
}

void SerialControl::Impl::updateLineTimer() {
    const bool needed = dev && (hasLines || hasCounters || !readNotifier.isEnabled());
    if (!needed)
        lineTimer.stop();
    else if (!lineTimer.isActive())
        lineTimer.start();
}

bool SerialControl::Impl::holding(bool ModemLines::*which) const {
    if (!dev || !hasLines) return false;
    const auto l = dev->modemLines();
    return l && (*l).*which;
}

// --- output --------------------------------------------------------------------------------

int SerialControl::Impl::count(int driverQueue) const {
    const std::size_t n = pendingOut() + static_cast<std::size_t>(std::max(driverQueue, 0));
    return static_cast<int>(std::min<std::size_t>(n, kMaxCount));
}

void SerialControl::Impl::flushOut(bool notify) {
    while (dev && outHead < out.size()) {
        const ssize_t r = dev->write(out.data() + outHead, out.size() - outHead);
        if (r > 0) {
            outHead += static_cast<std::size_t>(r);
            continue;
        }
        if (r < 0 && WouldBlock(errno)) break;
        if (r < 0 && errno == EINTR) continue;
        if (r == 0 && !HungUp(dev->fd())) break;
        lose();
        return;
    }
    if (outHead == out.size()) {
        out.clear();
        outHead = 0;
    } else if (outHead > out.size() / 2) {
        out.erase(0, outHead);
        outHead = 0;
    }
    writeNotifier.setEnabled(outHead < out.size());
    updateCount(notify);
}

void SerialControl::Impl::updateCount(bool notify) {
    if (!dev) return;
    const int driverQueue = dev->outputQueue();
    const int now = count(driverQueue);
    if (SendDue(lastCount, now, sThreshold)) queueEvent(EvSend);
    const bool fell = now < lastCount;
    const bool drained = now == 0 && lastCount > 0;
    lastCount = now;
    // Once only the driver holds bytes, nothing but polling tells when they have gone.
    if (pendingOut() == 0 && driverQueue > 0) {
        if (!drainTimer.isActive()) drainTimer.start();
    } else {
        drainTimer.stop();
    }
    if (!notify) return;
    QPointer<SerialControl> alive(q);
    if (fell) emit q->outputProgress();
    if (drained && alive) emit q->outputDrained();
}

} // namespace comm
