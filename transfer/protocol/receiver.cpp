#include "transfer/protocol/receiver.h"

#include <algorithm>

namespace protocol {

namespace {

std::size_t BodySize(char header) {
    return (unsigned char)header == kStx ? 1024 : 128;
}

} // namespace

Receiver::Receiver(ReceiveOptions options, std::int64_t nowMs)
    : m_options(options), m_state(options.batch ? State::WaitHeader : State::WaitBlock),
      m_crc(options.crc), m_begin(nowMs), m_lastAsk(nowMs), m_lastByte(nowMs) {}

Events Receiver::start(std::int64_t nowMs) {
    Events out;
    m_begin = nowMs;
    ask(out, nowMs);
    return out;
}

// Asks for the transfer or the next header: 'C' for CRC-16, NAK for the sum.
void Receiver::ask(Events& out, std::int64_t nowMs) {
    out.push_back(SendEvent(std::string(1, char(m_crc ? kCrcStart : kNak))));
    m_lastAsk = nowMs;
    ++m_starts;
}

Events Receiver::receive(std::string_view bytes, std::int64_t nowMs) {
    Events out;
    for (unsigned char b : bytes) {
        if (m_state == State::Finished) break;
        m_lastByte = nowMs;
        if (m_state == State::Purge) continue;
        if (!m_buf.empty()) {
            m_can = {};
        } else if (m_can.see(b)) {
            fail("The sender cancelled the transfer " + AfterBytes(m_done, m_size) + ".", out);
            break;
        }
        onByte(b, nowMs, out);
    }
    return out;
}

void Receiver::onByte(unsigned char b, std::int64_t nowMs, Events& out) {
    if (!m_buf.empty()) {
        m_buf += char(b);
        if (blockDone()) onBlock(out, nowMs);
    } else if (b == kSoh || b == kStx) {
        m_buf += char(b);
        m_heard = true;
    } else if (b == kEot) {
        onEot(out, nowMs);
    }
    // Anything else between blocks is noise.
}

bool Receiver::blockDone() const {
    return m_buf.size() == 3 + BodySize(m_buf[0]) + (m_crc ? 2 : 1);
}

void Receiver::onBlock(Events& out, std::int64_t nowMs) {
    const unsigned number = (unsigned char)m_buf[1];
    const std::string_view body = std::string_view(m_buf).substr(3, BodySize(m_buf[0]));
    const std::string_view check = std::string_view(m_buf).substr(3 + body.size());
    bool good = ((number ^ (unsigned char)m_buf[2]) == 0xFF);
    if (m_crc) {
        const std::uint16_t crc = Crc16(body);
        good = good && (unsigned char)check[0] == (crc >> 8) && (unsigned char)check[1] == (crc & 0xFF);
    } else {
        good = good && (unsigned char)check[0] == Checksum(body);
    }
    if (!good) return bad(nowMs, out);
    m_started = true;
    const std::string data(body);
    m_buf.clear();
    if (m_options.batch && number == 0 && (m_state == State::WaitHeader || m_expected == 1)) {
        if (m_state == State::WaitHeader) return onHeader(data, out, nowMs);
        out.push_back(SendEvent({char(kAck), char(kCrcStart)})); // our ACK of it was lost
        m_lastAsk = nowMs;
        return;
    }
    if (m_state == State::WaitHeader) { // the last block of a file again: our ACK was lost
        out.push_back(SendEvent(std::string(1, char(kAck))));
        return;
    }
    onData(number, data, out, nowMs);
}

void Receiver::onHeader(std::string_view data, Events& out, std::int64_t nowMs) {
    FileInfo file = ParseHeader(data);
    if (file.name.empty()) { // the end of the batch
        out.push_back(SendEvent(std::string(1, char(kAck))));
        m_state = State::Finished;
        out.push_back({Event::Kind::Done, {}, {}, 0, {}, {}});
        return;
    }
    m_size = file.size;
    m_done = 0;
    m_expected = 1;
    m_errors = 0;
    m_state = State::WaitBlock;
    out.push_back({Event::Kind::FileBegin, {}, std::move(file), 0, m_size, {}});
    out.push_back(ProgressEvent(Event::Kind::Progress, 0, m_size));
    out.push_back(SendEvent({char(kAck), char(kCrcStart)}));
    m_lastAsk = nowMs;
}

void Receiver::onData(unsigned number, std::string_view data, Events& out, std::int64_t nowMs) {
    m_lastAsk = nowMs;
    if (number == ((m_expected - 1) & 0xFF)) { // a repeat: our ACK was lost
        out.push_back(SendEvent(std::string(1, char(kAck))));
        return;
    }
    if (number != (m_expected & 0xFF)) {
        out.push_back(SendEvent(CancelSequence()));
        return fail("A block numbered " + std::to_string(number) + " arrived where block " +
                        std::to_string(m_expected) + " was expected; the transfer was stopped.",
                    out);
    }
    if (m_expected == 1 && m_done == 0 && !m_options.batch)
        out.push_back({Event::Kind::FileBegin, {}, {}, 0, {}, {}});
    // Past the announced size is padding.
    const std::uint64_t take =
        m_size ? std::min<std::uint64_t>(data.size(), *m_size - std::min(*m_size, m_done))
               : data.size();
    if (take) out.push_back({Event::Kind::Data, std::string(data.substr(0, take)), {}, 0, {}, {}});
    m_done += take;
    ++m_expected;
    m_errors = 0;
    out.push_back(ProgressEvent(Event::Kind::Progress, m_done, m_size));
    out.push_back(SendEvent(std::string(1, char(kAck))));
}

void Receiver::onEot(Events& out, std::int64_t nowMs) {
    if (m_state == State::WaitHeader) { // our ACK of the EOT was lost
        if (m_started) out.push_back(SendEvent({char(kAck), char(kCrcStart)}));
        return;
    }
    if (!m_started && m_options.batch) return;
    m_started = true;
    if (!m_options.batch && m_expected == 1) // an empty file: no block came
        out.push_back({Event::Kind::FileBegin, {}, {}, 0, {}, {}});
    out.push_back(SendEvent(std::string(1, char(kAck))));
    out.push_back(ProgressEvent(Event::Kind::FileEnd, m_done, m_size));
    if (!m_options.batch) {
        m_state = State::Finished;
        out.push_back({Event::Kind::Done, {}, {}, 0, {}, {}});
        return;
    }
    m_state = State::WaitHeader;
    m_errors = 0;
    m_starts = 0;
    ask(out, nowMs);
}

// A damaged block: wait for the line to fall quiet, then NAK it.
void Receiver::bad(std::int64_t nowMs, Events& out) {
    m_buf.clear();
    if (++m_errors > kRetries) {
        out.push_back(SendEvent(CancelSequence()));
        return fail("Too many errors in block " +
                        std::to_string(m_state == State::WaitHeader ? 0 : m_expected) +
                        "; the transfer was stopped.",
                    out);
    }
    if (m_state != State::Purge) m_resume = m_state;
    m_state = State::Purge;
    m_lastByte = nowMs;
}

Events Receiver::tick(std::int64_t nowMs) {
    Events out;
    if (m_state == State::Finished) return out;
    if (m_state == State::Purge) {
        if (nowMs - m_lastByte < kPurgeQuietMs) return out;
        m_state = m_resume;
        out.push_back(SendEvent(std::string(1, char(kNak))));
        m_lastAsk = nowMs;
        return out;
    }
    if (!m_buf.empty() && nowMs - m_lastByte >= kPurgeQuietMs) { // a block cut short
        bad(nowMs, out);
        return out;
    }
    if (!m_started) {
        if (nowMs - m_begin >= kStartMs) {
            out.push_back(SendEvent(CancelSequence()));
            fail("The sender did not start within 60 seconds.", out);
        } else if (nowMs - m_lastAsk >= kStartRepeatMs) {
            // An XMODEM sender that stays silent may know only the 8-bit sum.
            if (!m_options.batch && m_starts >= 3 && !m_heard) m_crc = false;
            ask(out, nowMs);
        }
        return out;
    }
    if (nowMs - std::max(m_lastAsk, m_lastByte) >= kBlockMs) {
        m_buf.clear();
        if (++m_errors > kRetries) {
            out.push_back(SendEvent(CancelSequence()));
            fail("Too many errors in block " + std::to_string(m_expected) +
                     "; the transfer was stopped.",
                 out);
        } else {
            out.push_back(SendEvent(std::string(1, char(m_state == State::WaitHeader ? kCrcStart : kNak))));
            m_lastAsk = nowMs;
        }
    }
    return out;
}

Events Receiver::abort(std::string text) {
    Events out;
    if (m_state == State::Finished) return out;
    out.push_back(SendEvent(CancelSequence()));
    fail(std::move(text), out);
    return out;
}

void Receiver::fail(std::string text, Events& out) {
    m_state = State::Finished;
    out.push_back(FailedEvent(std::move(text)));
}

} // namespace protocol
