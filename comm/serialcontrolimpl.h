#pragma once
// The control's machinery, private to comm/serialcontrol*.cpp: the open device, the input and
// output buffers, the modem lines and the delivery of events. The rules it follows that need
// no device live apart: comm/eventqueue.h (which event when) and comm/errormarks.h (what a
// mark was).

#include "comm/errormarks.h"
#include "comm/eventqueue.h"
#include "comm/serialcontrol.h"

#include <QEvent>
#include <QSocketNotifier>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace comm {

constexpr short kOutBufferSize = 512;
constexpr int kMaxCount = 32767;

// The time of 16 characters on the line, within 1..50 ms.
int DrainInterval(const LineSettings& s);

// Tells the lost handler about one device; dropped when another device has been opened since.
struct LostEvent : QEvent {
    static const QEvent::Type kType;
    LostEvent(unsigned gen, bool output)
        : QEvent(kType)
        , generation(gen)
        , hadOutput(output) {}
    unsigned generation;
    bool hadOutput;
};

struct SerialControl::Impl {
    static const QEvent::Type kDeliverEvent;

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
    // What the input buffer holds at most: 64 KB, or RThreshold when that is more.
    std::size_t inCapacity() const;
    // Reading goes on if it had paused on a full buffer that has room again.
    void resumeReading();
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
    std::vector<char> readBuf; // one read's bytes, before their marks are decoded
    ErrorMarkDecoder decoder;
    std::string chunk;
    std::vector<MarkEvent> marks;
    std::vector<MarkError> markErrors;
    std::uint64_t taken = 0; // bytes handed out by input(), ever

    // Output.
    std::string out;
    std::size_t outHead = 0; // bytes of `out` already written
    int lastCount = 0;

    // Events: one posted delivery at a time.
    EventQueue events;
    bool posted = false;
    Status lostStatus;
};

} // namespace comm
