#pragma once
// The receiving side of XMODEM and YMODEM as a state machine: what the line brought and the
// time in, events out. It asks for CRC-16 ('C') and falls back to the 8-bit sum for XMODEM
// senders that answer only NAK; it takes 128- and 1024-byte blocks as they come. A damaged
// block is answered with NAK once the line has been quiet for a second, a repeated block is
// acknowledged and dropped, a block out of sequence stops the transfer. YMODEM files are cut
// at the size their header gives; XMODEM files keep the padding of the last block.
// Times are milliseconds of one monotonic clock; call tick() every 100 ms or so. Once Done or
// Failed has been returned the receiver ignores everything.

#include "transfer/protocol/events.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace protocol {

struct ReceiveOptions {
    bool batch = false; // YMODEM: header blocks name the files; else XMODEM, one file
    bool crc = true;    // ask for CRC-16 first; false: ask for the 8-bit sum from the start
};

class Receiver {
public:
    Receiver(ReceiveOptions options, std::int64_t nowMs);

    // The first request to the sender; call once, first.
    Events start(std::int64_t nowMs);
    Events receive(std::string_view bytes, std::int64_t nowMs);
    Events tick(std::int64_t nowMs);
    // Sends the cancel sequence and fails with "The transfer was cancelled."; a second call
    // (or one after the end) does nothing.
    Events cancel() { return abort("The transfer was cancelled."); }
    // The same with the caller's own reason (a file that cannot be written, say).
    Events abort(std::string text);

    bool finished() const { return m_state == State::Finished; }

private:
    enum class State { WaitHeader, WaitBlock, Purge, Finished };

    void onByte(unsigned char b, std::int64_t nowMs, Events& out);
    void onBlock(Events& out, std::int64_t nowMs);
    void onHeader(std::string_view data, Events& out, std::int64_t nowMs);
    void onData(unsigned number, std::string_view data, Events& out, std::int64_t nowMs);
    void onEot(Events& out, std::int64_t nowMs);
    void bad(std::int64_t nowMs, Events& out);
    void ask(Events& out, std::int64_t nowMs);
    bool blockDone() const;
    void fail(std::string text, Events& out);

    ReceiveOptions m_options;
    State m_state = State::WaitHeader;
    State m_resume = State::WaitHeader; // where a purge returns to
    bool m_crc = true;
    bool m_started = false;     // a good block has come
    bool m_heard = false;       // a block has begun to come
    std::int64_t m_begin = 0;   // when we first asked
    std::int64_t m_lastAsk = 0; // when we last asked or acknowledged
    std::int64_t m_lastByte = 0;
    int m_errors = 0;
    int m_starts = 0;
    std::uint64_t m_expected = 1; // the block we want next (count, not mod 256)
    std::uint64_t m_done = 0;     // bytes of the current file delivered
    std::optional<std::uint64_t> m_size;
    std::string m_buf;            // the block being read
    CancelWatch m_can;
};

} // namespace protocol
