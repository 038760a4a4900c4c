#include "transfer/protocol/sender.h"

namespace protocol {

namespace {
constexpr const char* kCancelled = "The transfer was cancelled.";
} // namespace

Sender::Sender(SendOptions options, std::vector<OutgoingFile> files, std::int64_t nowMs)
    : m_options(options), m_files(std::move(files)) {
    if (!m_options.batch && m_files.size() > 1) m_files.resize(1);
    expect(State::WaitStart, nowMs, kStartMs);
}

Events Sender::receive(std::string_view bytes, std::int64_t nowMs) {
    Events out;
    for (unsigned char b : bytes) {
        if (m_state == State::Finished) break;
        if (m_can.see(b)) {
            fail("The receiver cancelled the transfer " + AfterBytes(m_offset, total()) + ".",
                 out);
            break;
        }
        onByte(b, nowMs, out);
    }
    return out;
}

void Sender::onByte(unsigned char b, std::int64_t nowMs, Events& out) {
    const bool ack = b == kAck, again = b == kNak || b == kCrcStart;
    switch (m_state) {
    case State::Cancelling:
        if (ack || again) cancelWith(kCancelled, out);
        break;
    case State::WaitStart:
        if (again) {
            m_crc = b == kCrcStart;
            settle(nowMs);
        }
        break;
    case State::Settle:
        break;
    case State::WaitHeaderAck:
        if (ack) expect(State::WaitDataStart, nowMs, kBlockMs);
        else if (again) resend(nowMs, out);
        break;
    case State::WaitDataStart:
        if (again) settle(nowMs);
        break;
    case State::WaitBlockAck:
        // The first block may have been lost while the receiver set its line up: it asks
        // again. Later a 'C' is only a start request that crossed a block on the line.
        if (ack) onAck(nowMs, out);
        else if (b == kNak || (again && m_block == 1 && m_offset == 0)) resend(nowMs, out);
        break;
    case State::WaitEotAck:
        if (ack) {
            out.push_back(ProgressEvent(Event::Kind::FileEnd, m_offset, total()));
            if (!m_options.batch) {
                m_state = State::Finished;
                out.push_back({Event::Kind::Done, {}, {}, 0, {}, {}});
                return;
            }
            ++m_file;
            expect(State::WaitNextHeader, nowMs, kBlockMs);
        } else if (b == kNak) {
            resend(nowMs, out);
        }
        break;
    case State::WaitNextHeader:
        if (again) settle(nowMs);
        break;
    case State::WaitEndAck:
        if (ack) {
            m_state = State::Finished;
            out.push_back({Event::Kind::Done, {}, {}, 0, {}, {}});
        } else if (again) {
            resend(nowMs, out);
        }
        break;
    case State::Finished:
        break;
    }
}

void Sender::settle(std::int64_t nowMs) {
    m_settled = m_state;
    m_state = State::Settle;
    m_deadline = nowMs + kSettleMs;
}

// The receiver has asked for the next file (or the only one).
void Sender::onStart(std::int64_t nowMs, Events& out) {
    m_errors = 0;
    m_block = 0;
    m_offset = 0;
    if (!m_options.batch) {
        if (m_files.empty()) return fail("There is no file to send.", out);
        return startFile(nowMs, out);
    }
    if (m_file >= m_files.size()) {
        m_last = MakeBlock(0, std::string(128, '\0'), m_crc);
        out.push_back(SendEvent(m_last));
        // Every file is confirmed by now: a receiver that leaves without answering the end
        // of the batch is not waited for long.
        return expect(State::WaitEndAck, nowMs, kEndAckMs);
    }
    m_last = MakeBlock(0, MakeHeader(m_files[m_file].info), m_crc);
    out.push_back(SendEvent(m_last));
    expect(State::WaitHeaderAck, nowMs, kBlockMs);
}

void Sender::startFile(std::int64_t nowMs, Events& out) {
    m_errors = 0;
    out.push_back({Event::Kind::FileBegin, {}, m_files[m_file].info, 0, total(), {}});
    out.push_back(ProgressEvent(Event::Kind::Progress, 0, total()));
    sendBlock(nowMs, out);
}

void Sender::onAck(std::int64_t nowMs, Events& out) {
    m_errors = 0;
    m_offset += m_inFlight;
    out.push_back(ProgressEvent(Event::Kind::Progress, m_offset, total()));
    sendBlock(nowMs, out);
}

// Sends the next block of the current file, or EOT when all of it has been acknowledged.
void Sender::sendBlock(std::int64_t nowMs, Events& out) {
    const std::uint64_t left = total() - m_offset;
    if (left == 0) {
        m_inFlight = 0;
        m_last = std::string(1, char(kEot));
        out.push_back(SendEvent(m_last));
        return expect(State::WaitEotAck, nowMs, kBlockMs);
    }
    // A 1K block when it is full or would waste less than a short block does.
    const std::size_t want = m_crc && m_options.oneK && left > 896 ? 1024 : 128;
    std::string data;
    const OutgoingFile& file = m_files[m_file];
    if (!file.read || !file.read(m_offset, std::size_t(std::min<std::uint64_t>(want, left)), data) ||
        data.empty()) {
        return cancelWith("The file " + file.info.name +
                              " could not be read; the transfer was stopped.",
                          out);
    }
    if (data.size() > want) data.resize(want);
    m_inFlight = data.size();
    ++m_block;
    m_last = MakeBlock(std::uint32_t(m_block), data, m_crc);
    out.push_back(SendEvent(m_last));
    expect(State::WaitBlockAck, nowMs, kBlockMs);
}

void Sender::resend(std::int64_t nowMs, Events& out) {
    if (m_state == State::WaitEndAck) {
        // Every file has been confirmed; the answer to the end of the batch only closes the
        // session, and receivers that leave at once often lose it.
        m_state = State::Finished;
        out.push_back({Event::Kind::Done, {}, {}, 0, {}, {}});
        return;
    }
    if (++m_errors > kRetries && m_state == State::WaitEotAck) {
        return fail("The receiver acknowledged all " + GroupDigits(m_offset) +
                        " bytes but never confirmed the end of the file.",
                    out);
    }
    if (m_errors > kRetries) {
        return cancelWith("Too many errors in block " + std::to_string(m_block) +
                              "; the transfer was stopped.",
                          out);
    }
    if (blockOnItsWay()) out.push_back(SendEvent(m_last));
    expect(m_state, nowMs, kBlockMs);
}

Events Sender::tick(std::int64_t nowMs) {
    Events out;
    if (m_state == State::Finished || nowMs < m_deadline) return out;
    if (m_state == State::Cancelling) {
        cancelWith(kCancelled, out);
    } else if (m_state == State::Settle) {
        if (m_settled == State::WaitDataStart) startFile(nowMs, out);
        else onStart(nowMs, out);
    } else if (m_state == State::WaitStart) {
        cancelWith("The receiver did not start within 60 seconds.", out);
    } else {
        resend(nowMs, out);
    }
    return out;
}

Events Sender::cancel(std::int64_t nowMs) {
    Events out;
    if (m_state == State::Finished || m_state == State::Cancelling) return out;
    if (blockOnItsWay())
        expect(State::Cancelling, nowMs, kCancelWaitMs);
    else
        cancelWith(kCancelled, out);
    return out;
}

bool Sender::blockOnItsWay() const {
    return m_state == State::WaitHeaderAck || m_state == State::WaitBlockAck ||
           m_state == State::WaitEotAck || m_state == State::WaitEndAck;
}

void Sender::cancelWith(std::string text, Events& out) {
    out.push_back(SendEvent(CancelSequence()));
    fail(std::move(text), out);
}

void Sender::expect(State state, std::int64_t nowMs, std::int64_t waitMs) {
    m_state = state;
    m_wait = waitMs;
    m_deadline = nowMs + waitMs;
}

void Sender::fail(std::string text, Events& out) {
    m_state = State::Finished;
    out.push_back(FailedEvent(std::move(text)));
}

std::uint64_t Sender::total() const {
    return m_file < m_files.size() ? m_files[m_file].info.size.value_or(0) : 0;
}

} // namespace protocol
