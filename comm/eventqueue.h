#pragma once
// The rules by which the control's events reach its sink, apart from the device and from how
// delivery is posted: which codes coalesce, which wait while a sink runs, and when an event
// is due at all. Pure; the control holds one EventQueue and posts one delivery per take().

#include <cstddef>
#include <deque>

namespace comm {

// Codes that commEvent() holds while the sink runs.
enum CommEventCode : short {
    EvSend = 1,    // output fell below SThreshold
    EvReceive = 2, // at least RThreshold bytes wait in the input buffer
    EvCTS = 3,     // CTS changed
    EvDSR = 4,     // DSR changed
    EvCD = 5,      // CD changed
    EvRing = 6,    // ring indicator
    EvEOF = 7,     // never raised: the control has no end-of-file character
    ErBreak = 1001,
    ErCTSTO = 1002, // never raised
    ErDSRTO = 1003, // never raised
    ErFrame = 1004,
    ErOverrun = 1006,
    ErCDTO = 1007,   // never raised
    ErRxOver = 1008, // the driver's receive buffer overflowed
    ErRxParity = 1009,
    ErTxFull = 1010, // Output took the buffer past OutBufferSize (nothing is dropped)
};

constexpr bool IsLineError(short code) {
    return code > 1000;
}

// Events in the order they are to be delivered. A receive event is queued at most once until
// it has been taken; a line error at most once while it waits, queued or held. Line errors
// taken while a sink runs are held, and go to the front of the queue, in the order they came,
// when the outermost sink returns; other codes are delivered inside a running sink.
class EventQueue {
public:
    void push(short code);
    // The next code to deliver, 0 when none is.
    short take();
    // Something may be taken (it may still turn out to be a held line error).
    bool pending() const { return !m_queue.empty(); }

    // A call of the sink begins and ends; sinks may nest (a nested event loop).
    void enterSink() { ++m_depth; }
    void leaveSink();
    int depth() const { return m_depth; }

    // Forgets every waiting and held code (the port closed); the sink depth stays.
    void clear();

private:
    std::deque<short> m_queue;
    std::deque<short> m_held;
    bool m_receiveQueued = false;
    int m_depth = 0;
};

// A receive event is due when RThreshold is set and at least that many bytes wait.
constexpr bool ReceiveDue(std::size_t waiting, short rThreshold) {
    return rThreshold > 0 && waiting >= static_cast<std::size_t>(rThreshold);
}

// A send event is due when the output count falls from SThreshold or above to below it.
constexpr bool SendDue(int before, int now, short sThreshold) {
    return sThreshold > 0 && before >= sThreshold && now < sThreshold;
}

// The output buffer overfills when a call takes it from within `limit` to past it.
constexpr bool OutputOverfilled(std::size_t before, std::size_t after, std::size_t limit) {
    return before <= limit && after > limit;
}

} // namespace comm
