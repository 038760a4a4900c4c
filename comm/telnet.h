#pragma once
// The client side of a Telnet connection with COM Port Control, as one pure state machine:
// bytes from the server in, data bytes and replies out; the port's settings in, the commands
// that carry them out. No I/O and no clock, so every exchange can be written as a table.
//
// What it does: 0xFF is doubled both ways; the client offers BINARY both ways, SUPPRESS-GO-
// AHEAD and (with COM port control) WILL COM-PORT-OPTION, refuses ECHO and every other option,
// and answers a request only when it changes an option's state, so two ends never loop.
// Settings, flow control, DTR, RTS and Break are sent once the server has said DO COM-PORT-
// OPTION (what was set before goes then), and again whenever they change; the server's
// answers to them are never waited for nor believed. NOTIFY-MODEMSTATE sets the line states.
//
// Whatever the server sends is untrusted: a subnegotiation keeps at most kMaxSubnegotiation
// bytes (the rest is dropped up to its end), and replies to negotiation are dropped while
// kMaxPendingReplies bytes of output wait, so no input grows memory without bound.

#include "comm/linesettings.h"
#include "comm/serialdevice.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace comm {

namespace telnet {
// Commands.
inline constexpr unsigned char kSE = 240, kSB = 250, kWill = 251, kWont = 252, kDo = 253,
                               kDont = 254, kIAC = 255;
// Options.
inline constexpr unsigned char kBinary = 0, kEcho = 1, kSGA = 3, kComPort = 44;
// COM port commands, client to server; the server's answers add 100.
inline constexpr unsigned char kSetBaud = 1, kSetDataSize = 2, kSetParity = 3, kSetStopSize = 4,
                               kSetControl = 5, kNotifyModemState = 7, kSetModemStateMask = 11,
                               kPurgeData = 12, kServerOffset = 100;
// SET-CONTROL values.
inline constexpr unsigned char kFlowNone = 1, kFlowXonXoff = 2, kFlowHardware = 3, kBreakOn = 5,
                               kBreakOff = 6, kDtrOn = 8, kDtrOff = 9, kRtsOn = 11, kRtsOff = 12;
// NOTIFY-MODEMSTATE bits, and the mask asked for: CD, DSR and CTS.
inline constexpr unsigned char kModemCD = 0x80, kModemRI = 0x40, kModemDSR = 0x20,
                               kModemCTS = 0x10, kModemMask = kModemCD | kModemDSR | kModemCTS;
// PURGE-DATA values.
inline constexpr unsigned char kPurgeReceive = 1, kPurgeTransmit = 2, kPurgeBoth = 3;
} // namespace telnet

class TelnetClient {
public:
    static constexpr std::size_t kMaxSubnegotiation = 64;
    static constexpr std::size_t kMaxPendingReplies = 64 * 1024;

    // With `comPort` false the client still speaks Telnet but never offers COM port control.
    explicit TelnetClient(bool comPort = true);

    // Queues the opening offers; call once, first.
    void start();

    // Bytes from the server: data bytes are appended to `data`, replies queued for output.
    void receive(std::string_view in, std::string& data);

    // Data for the server, 0xFF doubled, queued for output.
    void send(std::string_view data);

    // The port's state; each sends what changed while COM port control is on, else is kept
    // for when it comes on.
    void setLine(const LineSettings& s, std::int32_t handshaking);
    void setDTR(bool on);
    void setRTS(bool on);
    void setBreak(bool on); // sent at once or not at all: a break is not kept for later
    void purge(unsigned char which);

    // Bytes waiting to go to the server; the caller erases what it has sent.
    std::string& output() { return m_out; }

    bool comPortActive() const { return m_us[telnet::kComPort] == Yes; }
    // The server said DONT COM-PORT-OPTION: bytes pass, settings do not. Read and cleared.
    bool takeRefusal() { return std::exchange(m_refusalNote, false); }
    // The line states the server last notified (all off before the first notice).
    ModemLines modemLines() const { return m_lines; }

private:
    enum Q : unsigned char { No, WantYes, Yes };
    enum class State : unsigned char { Data, Iac, Verb, Sb, SbIac };
    struct Port {
        LineSettings line;
        std::int32_t handshaking = -1;
        bool dtr = true, rts = true;
        bool operator==(const Port&) const = default;
    };

    void command(unsigned char verb, unsigned char option);
    void reply(unsigned char verb, unsigned char option);
    void onDo(unsigned char option);
    void onDont(unsigned char option);
    void onWill(unsigned char option);
    void onWont(unsigned char option);
    bool subnegotiationByte(unsigned char c);
    void onSubnegotiation();
    bool weWant(unsigned char option) const;
    void comPort(unsigned char code, std::string_view value);
    void sendPort();

    bool m_comPortWanted;
    std::array<Q, 256> m_us{}, m_him{};
    State m_state = State::Data;
    unsigned char m_verb = 0;
    std::string m_sb;
    bool m_sbOverflow = false;
    std::string m_out;
    Port m_want;
    std::optional<Port> m_sent; // what the server was last told
    bool m_refusalNote = false;
    ModemLines m_lines;
};

} // namespace comm
