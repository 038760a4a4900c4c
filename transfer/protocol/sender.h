#pragma once
// The sending side of XMODEM (checksum, CRC-16, 1K blocks) and YMODEM (a batch of files, each
// announced by a header block with name, size and time; YMODEM-1K) as a state machine: the
// caller hands it what the line brought and the time, and carries out the events it returns.
// Times are milliseconds of one monotonic clock the caller owns; call tick() every 100 ms or
// so. Once Done or Failed has been returned the sender ignores everything.

#include "transfer/protocol/events.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace protocol {

struct OutgoingFile {
    FileInfo info; // the size must be given: it ends the file
    // Reads up to `count` bytes at `offset` into `out` (fewer only at the end of the file).
    // False when the file cannot be read: the sender then cancels with an error.
    std::function<bool(std::uint64_t offset, std::size_t count, std::string& out)> read;
};

struct SendOptions {
    bool batch = false; // YMODEM: header blocks and an end of batch; else XMODEM, one file
    bool oneK = true;   // 1024-byte blocks where the receiver asks for CRC
};

class Sender {
public:
    // Waits for the receiver from `nowMs` on. XMODEM sends the first file only.
    Sender(SendOptions options, std::vector<OutgoingFile> files, std::int64_t nowMs);

    Events receive(std::string_view bytes, std::int64_t nowMs);
    Events tick(std::int64_t nowMs);
    // Sends the cancel sequence and fails with "The transfer was cancelled."; a second call
    // (or one after the end) does nothing. With a block on its way the cancel waits for the
    // receiver's answer to it (a second at most once it has gone out): CANs that arrive
    // inside or just behind a block can pass for its data, and the receiver then waits on.
    Events cancel(std::int64_t nowMs);
    // The bytes of the last Send have left the machine: the wait for the reply starts now (on
    // a slow line a 1K block takes seconds to go out).
    void flushed(std::int64_t nowMs) { m_deadline = nowMs + m_wait; }

    bool finished() const { return m_state == State::Finished; }

private:
    enum class State { WaitStart, Settle, WaitHeaderAck, WaitDataStart, WaitBlockAck,
                       WaitEotAck, WaitNextHeader, WaitEndAck, Cancelling, Finished };

    void onByte(unsigned char b, std::int64_t nowMs, Events& out);
    void settle(std::int64_t nowMs);
    void onStart(std::int64_t nowMs, Events& out);
    void onAck(std::int64_t nowMs, Events& out);
    void startFile(std::int64_t nowMs, Events& out);
    void sendBlock(std::int64_t nowMs, Events& out);
    void resend(std::int64_t nowMs, Events& out);
    void expect(State state, std::int64_t nowMs, std::int64_t waitMs);
    void fail(std::string text, Events& out);
    // The last thing sent (a block, EOT) is still to be answered.
    bool blockOnItsWay() const;
    // Sends the cancel sequence and fails with `text`.
    void cancelWith(std::string text, Events& out);
    std::uint64_t total() const;

    SendOptions m_options;
    std::vector<OutgoingFile> m_files;
    std::size_t m_file = 0;
    State m_state = State::WaitStart;
    State m_settled = State::WaitStart; // what the receiver asked for, once the line settles
    std::int64_t m_deadline = 0;
    std::int64_t m_wait = kStartMs;
    bool m_crc = false;
    int m_errors = 0;
    std::uint64_t m_block = 0;    // number of the block in flight (0: the header)
    std::uint64_t m_offset = 0;   // bytes of the current file acknowledged
    std::size_t m_inFlight = 0;   // data bytes in the block in flight
    std::string m_last;           // what was sent last, for a resend
    CancelWatch m_can;
};

} // namespace protocol
