#include "comm/telnet.h"

#include <cstring>

namespace comm {

using namespace telnet;

namespace {

constexpr unsigned char kParityCode[] = {'n', 1, 'o', 2, 'e', 3, 'm', 4, 's', 5};

unsigned char ParityCode(char parity) {
    for (std::size_t i = 0; i < sizeof kParityCode; i += 2)
        if (kParityCode[i] == static_cast<unsigned char>(parity)) return kParityCode[i + 1];
    return 1;
}

unsigned char StopCode(StopBits s) {
    return s == StopBits::One ? 1 : s == StopBits::Two ? 2 : 3;
}

unsigned char FlowCode(std::int32_t handshaking) {
    // COM port control has no "both": hardware flow control is the one that guards the data.
    return handshaking == HandshakeXonXoff ? kFlowXonXoff
           : handshaking == HandshakeRts || handshaking == HandshakeXonRts ? kFlowHardware
                                                                            : kFlowNone;
}

void AppendEscaped(std::string& out, std::string_view bytes) {
    for (;;) {
        const void* ff = std::memchr(bytes.data(), kIAC, bytes.size());
        if (!ff) break;
        const std::size_t n = static_cast<const char*>(ff) - bytes.data() + 1;
        out.append(bytes.data(), n);
        out += static_cast<char>(kIAC);
        bytes.remove_prefix(n);
    }
    out.append(bytes);
}

} // namespace

TelnetClient::TelnetClient(bool comPort)
    : m_comPortWanted(comPort) {}

void TelnetClient::start() {
    command(kWill, kBinary);
    command(kDo, kBinary);
    command(kWill, kSGA);
    command(kDo, kSGA);
    if (m_comPortWanted) command(kWill, kComPort);
}

// An offer of our own: the option waits for the answer.
void TelnetClient::command(unsigned char verb, unsigned char option) {
    (verb == kWill ? m_us : m_him)[option] = WantYes;
    const char bytes[] = {static_cast<char>(kIAC), static_cast<char>(verb),
                          static_cast<char>(option)};
    m_out.append(bytes, sizeof bytes);
}

// An answer to the server: dropped while too much waits, so a flood of requests cannot grow
// the output (the server sees the option unanswered, which refuses it).
void TelnetClient::reply(unsigned char verb, unsigned char option) {
    if (m_out.size() >= kMaxPendingReplies) return;
    const char bytes[] = {static_cast<char>(kIAC), static_cast<char>(verb),
                          static_cast<char>(option)};
    m_out.append(bytes, sizeof bytes);
}

bool TelnetClient::weWant(unsigned char option) const {
    return option == kBinary || option == kSGA || (option == kComPort && m_comPortWanted);
}

void TelnetClient::onDo(unsigned char option) {
    if (!weWant(option)) {
        reply(kWont, option); // refused, every time it is asked
        return;
    }
    const Q was = std::exchange(m_us[option], Yes);
    if (was == No) reply(kWill, option);
    if (was != Yes && option == kComPort) sendPort();
}

void TelnetClient::onDont(unsigned char option) {
    const Q was = std::exchange(m_us[option], No);
    if (was == Yes) reply(kWont, option);
    if (option == kComPort && was != No) m_refusalNote = true;
}

void TelnetClient::onWill(unsigned char option) {
    // The server echoing would show every typed byte twice: ECHO is refused like the rest.
    if (option != kBinary && option != kSGA) {
        if (m_him[option] != No) m_him[option] = No;
        reply(kDont, option);
        return;
    }
    if (std::exchange(m_him[option], Yes) == No) reply(kDo, option);
}

void TelnetClient::onWont(unsigned char option) {
    if (std::exchange(m_him[option], No) == Yes) reply(kDont, option);
}

void TelnetClient::receive(std::string_view in, std::string& data) {
    const auto* p = reinterpret_cast<const unsigned char*>(in.data());
    const auto* end = p + in.size();
    while (p < end) {
        const unsigned char c = *p;
        switch (m_state) {
        case State::Data: {
            // Runs of plain data go in one piece.
            const void* iac = std::memchr(p, kIAC, static_cast<std::size_t>(end - p));
            const auto* stop = iac ? static_cast<const unsigned char*>(iac) : end;
            data.append(reinterpret_cast<const char*>(p), static_cast<std::size_t>(stop - p));
            if (stop < end) m_state = State::Iac;
            p = stop < end ? stop + 1 : end;
            continue;
        }
        case State::Iac:
            if (c == kIAC) {
                data += static_cast<char>(kIAC);
                m_state = State::Data;
            } else if (c >= kWill && c <= kDont) {
                m_verb = c;
                m_state = State::Verb;
            } else if (c == kSB) {
                m_sb.clear();
                m_sbOverflow = false;
                m_state = State::Sb;
            } else {
                m_state = State::Data; // NOP, GA, AYT and the like carry nothing for us
            }
            break;
        case State::Verb:
            m_state = State::Data;
            if (m_verb == kDo) onDo(c);
            else if (m_verb == kDont) onDont(c);
            else if (m_verb == kWill) onWill(c);
            else onWont(c);
            break;
        case State::Sb:
        case State::SbIac:
            if (!subnegotiationByte(c)) continue; // read again, as a command
            break;
        }
        ++p;
    }
}

bool TelnetClient::subnegotiationByte(unsigned char c) {
    const auto keep = [this](unsigned char b) {
        if (m_sb.size() < kMaxSubnegotiation)
            m_sb += static_cast<char>(b);
        else
            m_sbOverflow = true; // the rest is dropped, and the whole with it at its end
    };
    if (m_state == State::Sb) {
        if (c == kIAC)
            m_state = State::SbIac;
        else
            keep(c);
        return true;
    }
    if (c == kIAC) {
        m_state = State::Sb;
        keep(kIAC);
    } else if (c == kSE) {
        m_state = State::Data;
        if (!m_sbOverflow) onSubnegotiation();
    } else {
        // A command inside a subnegotiation ends it unfinished; the command counts.
        m_state = State::Iac;
        return false;
    }
    return true;
}

void TelnetClient::onSubnegotiation() {
    if (m_sb.size() < 2 || static_cast<unsigned char>(m_sb[0]) != kComPort) return;
    const auto code = static_cast<unsigned char>(m_sb[1]);
    if (code == kServerOffset + kNotifyModemState && m_sb.size() >= 3) {
        const auto bits = static_cast<unsigned char>(m_sb[2]);
        m_lines = ModemLines{(bits & kModemCTS) != 0, (bits & kModemDSR) != 0,
                             (bits & kModemCD) != 0, (bits & kModemRI) != 0};
    }
    // Answers to our own commands are not believed: some servers answer wrongly or not at all.
}

void TelnetClient::send(std::string_view data) {
    AppendEscaped(m_out, data);
}

void TelnetClient::comPort(unsigned char code, std::string_view value) {
    const char head[] = {static_cast<char>(kIAC), static_cast<char>(kSB),
                         static_cast<char>(kComPort), static_cast<char>(code)};
    m_out.append(head, sizeof head);
    AppendEscaped(m_out, value);
    const char tail[] = {static_cast<char>(kIAC), static_cast<char>(kSE)};
    m_out.append(tail, sizeof tail);
}

// Tells the server what changed since it was last told; everything the first time.
void TelnetClient::sendPort() {
    if (!comPortActive()) return;
    const bool first = !m_sent;
    const Port was = first ? Port{} : *m_sent;
    const auto changed = [&](auto Port::*field) { return first || was.*field != m_want.*field; };
    const LineSettings& s = m_want.line;
    if (first || was.line.baud != s.baud) {
        const char b[] = {static_cast<char>(s.baud >> 24), static_cast<char>(s.baud >> 16),
                          static_cast<char>(s.baud >> 8), static_cast<char>(s.baud)};
        comPort(kSetBaud, std::string_view(b, sizeof b));
    }
    const auto one = [this](unsigned char code, unsigned char v) {
        comPort(code, std::string_view(reinterpret_cast<const char*>(&v), 1));
    };
    if (first || was.line.dataBits != s.dataBits)
        one(kSetDataSize, static_cast<unsigned char>(s.dataBits));
    if (first || was.line.parity != s.parity) one(kSetParity, ParityCode(s.parity));
    if (first || was.line.stopBits != s.stopBits) one(kSetStopSize, StopCode(s.stopBits));
    if (changed(&Port::handshaking) && m_want.handshaking >= 0)
        one(kSetControl, FlowCode(m_want.handshaking));
    if (changed(&Port::dtr)) one(kSetControl, m_want.dtr ? kDtrOn : kDtrOff);
    if (changed(&Port::rts)) one(kSetControl, m_want.rts ? kRtsOn : kRtsOff);
    if (first) one(kSetModemStateMask, kModemMask);
    m_sent = m_want;
}

void TelnetClient::setLine(const LineSettings& s, std::int32_t handshaking) {
    m_want.line = s;
    m_want.handshaking = handshaking;
    sendPort();
}

void TelnetClient::setDTR(bool on) {
    m_want.dtr = on;
    sendPort();
}

void TelnetClient::setRTS(bool on) {
    m_want.rts = on;
    sendPort();
}

void TelnetClient::setBreak(bool on) {
    if (comPortActive()) comPort(kSetControl, std::string(1, static_cast<char>(on ? kBreakOn : kBreakOff)));
}

void TelnetClient::purge(unsigned char which) {
    if (comPortActive()) comPort(kPurgeData, std::string(1, static_cast<char>(which)));
}

} // namespace comm
