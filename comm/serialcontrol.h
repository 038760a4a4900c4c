#pragma once
// The serial communications control. It owns one port, its input and output buffers and its
// modem lines, and raises its one event on the thread that created it, from the event loop:
// the event sink is called with commEvent() holding the code. It includes nothing of the rest
// of the program, never blocks, never throws, and never drops a byte that it has accepted.
//
// Properties keep their values while the port is closed; the line properties (Settings,
// Handshaking, DTREnable, RTSEnable) take effect at once while it is open. A refused put
// returns a failed Status and changes nothing.
//
// Defaults: CommPort 1, Settings "9600,n,8,1", Handshaking 0, DTREnable and RTSEnable on,
// InputLen 0, RThreshold 0, SThreshold 0, ParityReplace "?", OutBufferSize 512.
//
// The input buffer holds 64 KB, or RThreshold bytes when that is more, so every threshold can
// be reached; while it is full, reading pauses (the kernel keeps the rest) until input() takes
// bytes or RThreshold changes. Setting RThreshold raises a receive event at once when enough
// waits.

#include "comm/eventqueue.h"
#include "comm/linesettings.h"
#include "comm/serialdevice.h"
#include "comm/status.h"

#include <QObject>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

class QSocketNotifier;
class QTimer;

namespace comm {

class SerialControl : public QObject {
    Q_OBJECT
public:
    explicit SerialControl(QObject* parent = nullptr);
    ~SerialControl() override; // closes the port

    // The sink is called for every event, from the event loop, never from inside a call of
    // this class. Receive and status events may be delivered while an earlier call of the
    // sink is still running (inside a nested loop such as a message box); line errors
    // (codes above 1000) are held until the outermost call of the sink has returned, one of
    // each code at most, so error boxes never stack.
    void setEventSink(std::function<void()> sink);

    // Called once when the open device goes away (unplugged, hung up): by then the port is
    // closed, what had arrived is still in the input buffer and a receive event is queued.
    void setLostHandler(std::function<void(const Status&)> handler);

    // Tests put a scripted device here; the default opens the real one.
    void setDeviceOpener(DeviceOpener opener);

    // --- properties -----------------------------------------------------------------------
    bool cdHolding() const; // FALSE while closed or on a device without modem lines
    bool ctsHolding() const;
    bool dsrHolding() const;

    short commPort() const;
    Status setCommPort(short port); // 1..99, refused while open

    bool dtrEnable() const;
    Status setDTREnable(bool on);
    bool rtsEnable() const;
    Status setRTSEnable(bool on);

    // Starts (on) or ends (off) a break condition on the line; refused while closed.
    Status setBreak(bool on);

    std::int32_t handshaking() const;
    Status setHandshaking(std::int32_t h); // 0..3

    short inputLen() const;
    Status setInputLen(short n); // 0 (all) .. 32767

    short rThreshold() const;
    Status setRThreshold(short n); // 0 (no receive events) .. 32767
    short sThreshold() const;
    Status setSThreshold(short n); // 0 (no send events) .. 32767

    std::string parityReplace() const;      // first byte stands in for a byte with a parity error;
    Status setParityReplace(std::string s); // empty: keep the byte as received

    std::string settings() const; // normalised, "9600,n,8,1"
    Status setSettings(std::string_view text);

    bool portOpen() const;
    Status setPortOpen(bool open);
    // The port as it was last opened (its name, path and how messages name it), kept after it
    // closes or goes away; empty before the first open.
    const PortPath& openedPort() const; // TRUE while open is refused; FALSE while closed is a no-op

    short outBufferSize() const;
    short outBufferCount() const; // bytes not yet on the line: the control's buffer plus the
                                  // driver's queue, at most 32767
    int inBufferCount() const;

    // Queues bytes for sending and returns at once; refused while closed.
    Status output(std::string_view bytes);
    // Takes the waiting bytes (at most InputLen, all when 0) out of the input buffer. While
    // closed it hands out what was left when the device went away (normally nothing).
    Status input(std::string& bytes);

    short commEvent() const { return m_commEvent; }

signals:
    // The control's buffer and the driver's queue have become empty; waits may end.
    void outputDrained();
    // Anything that a wait on OutBufferCount might be watching has changed.
    void outputProgress();

protected:
    bool event(QEvent* e) override;

private:
    // The machinery: comm/serialcontrolimpl.h.
    struct Impl;
    std::unique_ptr<Impl> d;
    short m_commEvent = 0;
};

} // namespace comm
