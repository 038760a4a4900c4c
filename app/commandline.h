#pragma once
// The command line, read into a plain struct by a pure function: no file system, no display,
// no settings store. Checks that need the system (a device path, the dump file) and the
// application of the result to the frame live in app/launch.h.

#include <QStringList>

#include <cstdint>
#include <optional>
#include <string>

namespace app {

struct CommandLine {
    enum class Action {
        Run,     // start the window with the options below
        Help,    // print `text` to standard output, exit 0
        Version, // print `text` to standard output, exit 0
        Fail,    // print `text` (one line) to standard error, exit kBadUsage
    };
    Action action = Action::Run;
    std::string text;

    std::optional<int> port;                 // COMn or a bare number, 1..99
    std::string devicePath; // PORT given as a path or an address (normalised); `port` unset
    std::optional<std::string> settings;     // normalised, "115200,e,7,2"
    std::optional<std::int32_t> handshaking; // the control's 0..3
    bool open = false;
    std::optional<std::string> dumpFile; // as given; made absolute by the launch checks
    bool echo = false;
    bool hex = false;
    bool terminal = false; // the terminal-emulation view
};

inline constexpr int kBadUsage = 2;

// `arguments` as main() got them, the program's name first. Every option may appear at most
// once; a value that is refused gives Action::Fail with one line naming the value and what is
// allowed.
CommandLine ParseCommandLine(const QStringList& arguments);

} // namespace app
