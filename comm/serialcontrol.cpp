#include "comm/serialcontrol.h"

#include "comm/errortext.h"
#include "comm/serialcontrolimpl.h"

#include <algorithm>

namespace comm {

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

Status SerialControl::setBreak(bool on) {
    if (!d->dev) return Fail(Message::NotOpen, {d->shownPort()});
    return d->dev->setBreak(on);
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
    if (Status st = PutCount("RThreshold", n, d->rThreshold); !st) return st;
    // What waits already may now be due, and a buffer that filled while events were off has
    // room to read on.
    d->queueReceiveIfDue();
    d->resumeReading();
    return Status::success();
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
    if (OutputOverfilled(before, d->pendingOut(), limit)) d->queueEvent(ErTxFull);
    return Status::success();
}

Status SerialControl::input(std::string& bytes) {
    const std::size_t n = d->inputLen > 0
                              ? std::min(d->in.size(), static_cast<std::size_t>(d->inputLen))
                              : d->in.size();
    bytes.assign(d->in, 0, n);
    d->in.erase(0, n);
    d->taken += n;
    if (n > 0) d->resumeReading();
    return Status::success();
}

bool SerialControl::event(QEvent* e) {
    if (e->type() == Impl::kDeliverEvent) {
        d->deliverNext();
        return true;
    }
    if (e->type() == LostEvent::kType) {
        d->deliverLost(*static_cast<LostEvent*>(e));
        return true;
    }
    return QObject::event(e);
}

} // namespace comm
