#pragma once
// What a protocol engine asks of its caller. The engines do no I/O: the caller puts Send bytes
// on the line, writes Data bytes into the file begun by the last FileBegin, and shows the rest.

#include "transfer/protocol/blocks.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace protocol {

struct Event {
    enum class Kind {
        Send,      // `bytes` go to the line, in order
        FileBegin, // `file` starts (a sender: is being sent; a receiver: arrives)
        Data,      // receiver: `bytes` belong to the file begun last
        Progress,  // `done` of `total` bytes of the current file are through
        FileEnd,   // the current file is complete; `done` bytes went through
        Done,      // the transfer ended well; nothing more will come
        Failed,    // the transfer ended with `text`; nothing more will come
    };
    Kind kind;
    std::string bytes;
    FileInfo file;
    std::uint64_t done = 0;
    std::optional<std::uint64_t> total;
    std::string text;
};
using Events = std::vector<Event>;

inline Event SendEvent(std::string bytes) {
    return {Event::Kind::Send, std::move(bytes), {}, 0, {}, {}};
}
inline Event FailedEvent(std::string text) {
    return {Event::Kind::Failed, {}, {}, 0, {}, std::move(text)};
}
inline Event ProgressEvent(Event::Kind kind, std::uint64_t done,
                           std::optional<std::uint64_t> total) {
    return {kind, {}, {}, done, total, {}};
}

// "after 12,288 of 40,000 bytes" / "after 12,288 bytes" when the total is unknown.
std::string AfterBytes(std::uint64_t done, std::optional<std::uint64_t> total);

// Two CANs in a row mean the far end cancelled; feeds one byte at a time.
class CancelWatch {
public:
    bool see(unsigned char b) {
        const bool twice = b == kCan && m_last == kCan;
        m_last = b;
        return twice;
    }

private:
    unsigned char m_last = 0;
};

} // namespace protocol
