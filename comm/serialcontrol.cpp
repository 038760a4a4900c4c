#include "comm/serialcontrol.h"

#include "comm/errortext.h"

#include <QCoreApplication>
#include <QEvent>
#include <QPointer>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <optional>
#include <poll.h>

namespace comm {

namespace {

constexpr std::size_t kInBufferSize = 1024;
constexpr short kOutBufferSize = 512;
constexpr int kLinePollMs = 20;
constexpr int kMaxCount = 32767;

const QEvent::Type kDeliverEvent = static_cast<QEvent::Type>(QEvent::registerEventType());
const QEvent::Type kLostEvent = static_cast<QEvent::Type>(QEvent::registerEventType());

// Tells the lost handler about one device; dropped when another device has been opened since.
struct LostEvent : QEvent {
    LostEvent(unsigned gen, bool output)
        : QEvent(kLostEvent)
        , generation(gen)
        , hadOutput(output) {}
    unsigned generation;
    bool hadOutput;
};

bool IsLineError(short code) {
    return code > 1000;
}

bool HungUp(int fd) {
    pollfd p{fd, POLLIN | POLLOUT, 0};
    return poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL));
}

bool WouldBlock(int err) {
    return err == EAGAIN || err == EWOULDBLOCK;
}

// The time of 16 characters on the line, within 1..50 ms.
int DrainInterval(const LineSettings& s) {
    const int bits = 1 + s.dataBits + (s.parity != 'n') + (s.stopBits == StopBits::One ? 1 : 2);
    const std::uint64_t ms = 16ull * bits * 1000 / std::max<std::uint32_t>(s.baud, 1);
    return static_cast<int>(std::clamp<std::uint64_t>(ms, 1, 50));
}

// The frame/parity/break counts that marks have not yet accounted for.
struct MarkBudget {
    std::uint32_t frame = 0, parity = 0, brk = 0;
};

} // namespace

struct SerialControl::Impl {
    explicit Impl(SerialControl* owner);
    ~Impl() { closeDevice(); }

    // --- events ----------------------------------------------------------------------------
    void queueEvent(short code);
    void queueReceiveIfDue();
    void schedule();
    void deliverNext();
    void callSink(short code);
    void deliverLost(const LostEvent& e);

    // --- device ----------------------------------------------------------------------------
    Status open();
    void close();
    void closeDevice();
    void lose();
    void onReadable();
    void take(const char* buf, std::size_t n);
    void pollLines();
    void updateLineTimer();
    bool holding(bool ModemLines::*line) const;

    // --- output ----------------------------------------------------------------------------
    std::size_t pendingOut() const { return out.size() - outHead; }
    int count(int driverQueue) const;
    void flushOut(bool notify);
    void updateCount(bool notify);

    std::string shownPort() const { return dev ? path.shown : ResolvePort(port).shown; }

    SerialControl* q;

    // Properties.
    short port = 1;
    LineSettings line;
    std::int32_t handshaking = HandshakeNone;
    bool dtr = true, rts = true;
    short inputLen = 0, rThreshold = 0, sThreshold = 0;
    std::string parityReplace = "?";
    std::function<void()> sink;
    std::function<void(const Status&)> lostHandler;
    DeviceOpener opener = OpenTermiosDevice;

    // The open device.
    std::unique_ptr<SerialDevice> dev;
    PortPath path;
    unsigned generation = 0; // counts opens
    QSocketNotifier readNotifier{QSocketNotifier::Read};
    QSocketNotifier writeNotifier{QSocketNotifier::Write};
    QTimer lineTimer;  // modem lines and counters; hang-up while reading is paused
    QTimer drainTimer; // the driver's queue while the control's buffer is empty
    bool hasLines = false, hasCounters = false;
    ModemLines lines;
    LineCounters seen;       // overrun, buffer overrun and ring as last polled
    LineCounters markBase;   // frame, parity and break as accounted for by marks
    bool ringByEdge = false; // an RI edge raised the ring that the counter will show

    // Input.
    std::string in;
    ErrorMarkDecoder decoder;
    std::string chunk;
    std::vector<MarkEvent> marks;
    std::uint64_t taken = 0; // bytes handed out by input(), ever

    // Output.
    std::string out;
    std::size_t outHead = 0; // bytes of `out` already written
    int lastCount = 0;

    // Event queue: one posted event per code; line errors wait in `held` while a sink runs.
    std::deque<short> queue;
    std::deque<short> held;
    bool posted = false;
    bool receiveQueued = false;
    int depth = 0;
    Status lostStatus;
};

SerialControl::Impl::Impl(SerialControl* owner)
    : q(owner) {
    QObject::connect(&readNotifier, &QSocketNotifier::activated, q, [this] { onReadable(); });
    QObject::connect(&writeNotifier, &QSocketNotifier::activated, q, [this] { flushOut(true); });
    QObject::connect(&lineTimer, &QTimer::timeout, q, [this] { pollLines(); });
    QObject::connect(&drainTimer, &QTimer::timeout, q, [this] { updateCount(true); });
    lineTimer.setInterval(kLinePollMs);
}

// --- events --------------------------------------------------------------------------------

void SerialControl::Impl::queueEvent(short code) {
    if (IsLineError(code)) {
        const auto has = [code](const std::deque<short>& d) {
            return std::find(d.begin(), d.end(), code) != d.end();
        };
        if (has(queue) || has(held)) return;
    } else if (code == EvReceive) {
        if (receiveQueued) return;
        receiveQueued = true;
    }
    queue.push_back(code);
    schedule();
}

void SerialControl::Impl::queueReceiveIfDue() {
    if (rThreshold > 0 && in.size() >= static_cast<std::size_t>(rThreshold)) queueEvent(EvReceive);
}

void SerialControl::Impl::schedule() {
    if (posted || queue.empty()) return;
    posted = true;
    QCoreApplication::postEvent(q, new QEvent(kDeliverEvent));
}

void SerialControl::Impl::deliverNext() {
    posted = false;
    short code = 0;
    while (!queue.empty() && code == 0) {
        const short c = queue.front();
        queue.pop_front();
        if (IsLineError(c) && depth > 0)
            held.push_back(c);
        else
            code = c;
    }
    if (code == 0) return;
    if (code == EvReceive) receiveQueued = false;
    schedule(); // the next code may be delivered inside a nested loop of this sink call
    callSink(code);
}

void SerialControl::Impl::callSink(short code) {
    QPointer<SerialControl> alive(q);
    const short outer = q->m_commEvent;
    const std::uint64_t takenBefore = taken;
    q->m_commEvent = code;
    ++depth;
    if (auto s = sink) {
        try {
            s();
        } catch (...) {
            // The sink's errors are its own; none crosses the event loop.
        }
    }
    if (!alive) return;
    --depth;
    q->m_commEvent = outer;
    // Progress made: go on while enough waits. No progress: wait for new data instead.
    if (code == EvReceive && taken != takenBefore) queueReceiveIfDue();
    if (depth == 0 && !held.empty()) {
        queue.insert(queue.begin(), held.begin(), held.end());
        held.clear();
        schedule();
    }
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
    if (opener) device = opener(p, line, handshaking, dtr, rts, st);
    if (!device) return st.ok() ? Fail(Message::SystemError, {p.shown, "open the device"}) : st;

    dev = std::move(device);
    path = std::move(p);
    ++generation;
    in.clear();
    out.clear();
    outHead = 0;
    lastCount = 0;
    decoder.reset();
    queue.clear();
    held.clear();
    receiveQueued = false;
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
    queue.clear();
    held.clear();
    receiveQueued = false;
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
    char buf[kInBufferSize];
    for (;;) {
        // Decoding yields at most what was read plus what the decoder holds.
        const std::size_t room = kInBufferSize - std::min(in.size(), kInBufferSize);
        const std::size_t reserve = dev->marksErrors() ? decoder.pending() : 0;
        if (room <= reserve) {
            // Full: the kernel keeps the rest until input() makes room.
            readNotifier.setEnabled(false);
            updateLineTimer();
            break;
        }
        const ssize_t r = dev->read(buf, room - reserve);
        if (r > 0) {
            take(buf, static_cast<std::size_t>(r));
            continue;
        }
        if (r < 0 && WouldBlock(errno)) break;
        if (r < 0 && errno == EINTR) continue;
        lose(); // end of file, EIO, ENXIO: the device is gone
        return;
    }
    if (in.size() > before) queueReceiveIfDue();
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
    std::optional<MarkBudget> budget;
    if (const auto c = hasCounters ? dev->counters() : std::nullopt) {
        budget = MarkBudget{c->frame - markBase.frame, c->parity - markBase.parity,
                            c->brk - markBase.brk};
    }
    const auto spend = [&](std::uint32_t MarkBudget::*left, std::uint32_t LineCounters::*base) {
        if (!budget || (*budget).*left == 0) return false;
        --((*budget).*left);
        ++(markBase.*base);
        return true;
    };
    const bool parityOn = line.parity != 'n';
    std::size_t from = 0;
    for (const MarkEvent& m : marks) {
        in.append(chunk, from, m.position - from);
        from = m.position;
        const bool isBreak = m.kind == MarkEvent::Break;
        short code;
        if (isBreak && spend(&MarkBudget::brk, &LineCounters::brk))
            code = ErBreak;
        else if (spend(&MarkBudget::parity, &LineCounters::parity))
            code = ErRxParity;
        else if (spend(&MarkBudget::frame, &LineCounters::frame))
            code = ErFrame;
        else if (isBreak)
            code = ErBreak;
        else
            code = parityOn ? ErRxParity : ErFrame;
        queueEvent(code);
        if (code == ErBreak) continue; // a break carries no data byte
        // A mark that the counters call a bad NUL byte stands for that byte.
        const char byte = static_cast<char>(m.byte);
        in += code == ErRxParity && !parityReplace.empty() ? parityReplace.front() : byte;
        if (!isBreak) ++from;
    }
    in.append(chunk, from);
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
    if (sThreshold > 0 && lastCount >= sThreshold && now < sThreshold) queueEvent(EvSend);
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

// --- the control ---------------------------------------------------------------------------

SerialControl::SerialControl(QObject* parent)
    : QObject(parent)
    , d(std::make_unique<Impl>(this)) {}

SerialControl::~SerialControl() {
    if (d->dev) d->close();
}

void SerialControl::setEventSink(std::function<void()> sink) {
    d->sink = std::move(sink);
}

void SerialControl::setLostHandler(std::function<void(const Status&)> handler) {
    d->lostHandler = std::move(handler);
}

void SerialControl::setDeviceOpener(DeviceOpener opener) {
    d->opener = std::move(opener);
}

bool SerialControl::cdHolding() const {
    return d->holding(&ModemLines::cd);
}
bool SerialControl::ctsHolding() const {
    return d->holding(&ModemLines::cts);
}
bool SerialControl::dsrHolding() const {
    return d->holding(&ModemLines::dsr);
}

short SerialControl::commPort() const {
    return d->port;
}

Status SerialControl::setCommPort(short port) {
    if (port < 1 || port > 99) return Fail(Message::BadPortNumber, {std::to_string(port)});
    if (d->dev) return Fail(Message::ChangeWhileOpen, {d->path.shown, "CommPort"});
    d->port = port;
    return Status::success();
}

bool SerialControl::dtrEnable() const {
    return d->dtr;
}

Status SerialControl::setDTREnable(bool on) {
    if (d->dev) {
        if (Status st = d->dev->setDTR(on); !st) return st;
    }
    d->dtr = on;
    return Status::success();
}

bool SerialControl::rtsEnable() const {
    return d->rts;
}

Status SerialControl::setRTSEnable(bool on) {
    if (d->dev) {
        if (Status st = d->dev->setRTS(on); !st) return st;
    }
    d->rts = on;
    return Status::success();
}

std::int32_t SerialControl::handshaking() const {
    return d->handshaking;
}

Status SerialControl::setHandshaking(std::int32_t h) {
    if (h < HandshakeNone || h > HandshakeXonRts)
        return Fail(Message::BadValue, {"Handshaking", std::to_string(h), "0", "3"});
    if (d->dev) {
        if (Status st = d->dev->configure(d->line, h); !st) return st;
    }
    d->handshaking = h;
    return Status::success();
}

namespace {

Status PutCount(const char* name, short value, short& field) {
    if (value < 0) return Fail(Message::BadValue, {name, std::to_string(value), "0", "32767"});
    field = value;
    return Status::success();
}

} // namespace

short SerialControl::inputLen() const {
    return d->inputLen;
}
Status SerialControl::setInputLen(short n) {
    return PutCount("InputLen", n, d->inputLen);
}
short SerialControl::rThreshold() const {
    return d->rThreshold;
}
Status SerialControl::setRThreshold(short n) {
    return PutCount("RThreshold", n, d->rThreshold);
}
short SerialControl::sThreshold() const {
    return d->sThreshold;
}
Status SerialControl::setSThreshold(short n) {
    return PutCount("SThreshold", n, d->sThreshold);
}

std::string SerialControl::parityReplace() const {
    return d->parityReplace;
}

Status SerialControl::setParityReplace(std::string s) {
    d->parityReplace = std::move(s);
    return Status::success();
}

std::string SerialControl::settings() const {
    return FormatSettings(d->line);
}

Status SerialControl::setSettings(std::string_view text) {
    LineSettings s;
    if (Status st = ParseSettings(text, s); !st) return st;
    if (d->dev) {
        if (Status st = d->dev->configure(s, d->handshaking); !st) return st;
    }
    d->line = s;
    d->drainTimer.setInterval(DrainInterval(s));
    return Status::success();
}

bool SerialControl::portOpen() const {
    return d->dev != nullptr;
}

const PortPath& SerialControl::openedPort() const {
    return d->path;
}

Status SerialControl::setPortOpen(bool open) {
    if (open) return d->dev ? Fail(Message::AlreadyOpen, {d->path.shown}) : d->open();
    if (d->dev) d->close();
    return Status::success();
}

short SerialControl::outBufferSize() const {
    return kOutBufferSize;
}

short SerialControl::outBufferCount() const {
    return d->dev ? static_cast<short>(d->count(d->dev->outputQueue())) : 0;
}

int SerialControl::inBufferCount() const {
    return static_cast<int>(d->in.size());
}

Status SerialControl::output(std::string_view bytes) {
    if (!d->dev) return Fail(Message::NotOpen, {d->shownPort()});
    const std::size_t before = d->pendingOut();
    d->out.append(bytes);
    d->flushOut(false);
    if (!d->dev) return d->lostStatus;
    const std::size_t limit = static_cast<std::size_t>(kOutBufferSize);
    if (before <= limit && d->pendingOut() > limit) d->queueEvent(ErTxFull);
    return Status::success();
}

Status SerialControl::input(std::string& bytes) {
    const std::size_t n = d->inputLen > 0
                              ? std::min(d->in.size(), static_cast<std::size_t>(d->inputLen))
                              : d->in.size();
    bytes.assign(d->in, 0, n);
    d->in.erase(0, n);
    d->taken += n;
    if (n > 0 && d->dev && !d->readNotifier.isEnabled()) {
        d->readNotifier.setEnabled(true);
        d->updateLineTimer();
    }
    return Status::success();
}

bool SerialControl::event(QEvent* e) {
    if (e->type() == kDeliverEvent) {
        d->deliverNext();
        return true;
    }
    if (e->type() == kLostEvent) {
        d->deliverLost(*static_cast<LostEvent*>(e));
        return true;
    }
    return QObject::event(e);
}

} // namespace comm
