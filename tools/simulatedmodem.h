#pragma once
// The simulated modem: a Hayes-style modem that serves the master side of a pseudo-terminal.
//
// Command mode echoes what it receives and answers each line that ends in CR:
//   AT                          OK
//   ATD[T|P]number, ATDnumber   CONNECT 9600 after the dial delay, then data mode;
//                               NO CARRIER when the number holds no digit
//   ATH, ATH0                   OK (the line is dropped)
//   ATO                         CONNECT 9600 back into data mode while a line is up, else
//                               NO CARRIER
//   ATA                         NO CARRIER (nobody calls)
//   ATZ, AT&F                   OK, echo on again
//   ATE0, ATE1                  echo off or on, OK
//   ATI                         the modem's name, OK
//   ATSn=v, ATSn?               S registers
//   ATQ, ATV, ATX, ATL, ATM, AT&C, AT&D, AT&K with their digits: OK
//   anything else               ERROR
// Characters before "AT" on a line are ignored, so "+++ATDT123" in command mode dials. A
// character arriving during the dial delay aborts the call (NO CARRIER), except the LF that
// follows the CR. Results are framed as CR LF text CR LF.
//
// Data mode echoes every byte back, as a remote party that echoes would. Three '+' escape to
// command mode with the line kept up: at once when more characters follow (so "+++ATDT..."
// sent in one go redials), answered "OK" when nothing follows within the guard time. Fewer
// than three pluses are echoed as data when something else follows or the guard time ends.
//
// When no program has the port open (the terminal closed it, which drops DTR), the line is
// dropped and the modem is back in command mode with echo on.

#include <chrono>
#include <csignal>
#include <optional>
#include <string>

namespace simmodem {

struct ModemOptions {
    int delayMs = 400;  // from a dial to the far end's answer
    int guardMs = 1000; // the silence after "+++" that escapes to command mode
    bool quiet = false; // no notes on stderr
};

class Modem {
public:
    // `master` is the pseudo-terminal's master side, non-blocking; the modem does not close it.
    Modem(int master, const ModemOptions& options)
        : m_fd(master)
        , m_opt(options) {}

    // Serves the line until `stop` is set (from a signal handler) or polling fails.
    void run(const volatile std::sig_atomic_t& stop);

private:
    using Clock = std::chrono::steady_clock;
    enum class Mode { Command, Dialling, Data };

    // The rest of a command line after "AT", read one command at a time.
    struct Cursor {
        const std::string& cmd;
        std::size_t i = 0;
        bool more() const { return i < cmd.size(); }
        char next();  // upper case
        int digits(); // the number at the cursor, -1 when none, 256 when above 255
    };

    void log(const char* fmt, const std::string& arg = {}) const;
    void send(const std::string& bytes);
    void result(const std::string& text);
    bool answer(const std::string& text); // the line's last result: returns false
    void dropLine(const char* why);

    bool readInput();
    void receive(char c);
    void commandByte(char c);
    void execute(const std::string& line);
    bool executeOne(Cursor& at);
    bool dial(Cursor& at);
    bool hangUp(Cursor& at);
    bool online(Cursor& at);
    bool echo(Cursor& at);
    bool sRegister(Cursor& at);
    bool ampersand(Cursor& at);
    void dataByte(char c);
    void timers();
    int pollTimeout() const;

    int m_fd;
    ModemOptions m_opt;
    Mode m_mode = Mode::Command;
    bool m_open = false; // a terminal has the port open
    bool m_echo = true;
    bool m_online = false; // a call is up, in data mode or escaped from it
    std::string m_line;
    std::string m_number;
    int m_plus = 0;
    std::optional<Clock::time_point> m_plusSince; // start of a run of pluses in data mode
    std::optional<Clock::time_point> m_okDue;     // "OK" after an escape with nothing behind
    std::optional<Clock::time_point> m_dialDue;   // the far end answers
    unsigned char m_s[100] = {};
};

} // namespace simmodem
