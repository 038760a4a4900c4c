#pragma once
// lrzsz as the far end of a pseudo-terminal pair, and a loop that runs one of our block
// protocol engines on the master: what the engine sends goes to the line, what comes is fed
// to it, with a clock of real milliseconds. The line between can be paced (a serial line's
// byte rate) and can damage one byte, as a relay in between would. POSIX only.

#include "transfer/protocol/events.h"

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// One lrzsz program with its standard input and output on a pty slave, working in `folder`.
class LrzszPeer {
public:
    LrzszPeer() = default;
    ~LrzszPeer(); // kills the program if it still runs
    LrzszPeer(const LrzszPeer&) = delete;
    LrzszPeer& operator=(const LrzszPeer&) = delete;

    // Puts the slave in raw mode, then starts `args` (args[0] found on PATH); its standard
    // error goes to `folder`/peer.log. False when it cannot be started.
    bool start(const std::string& slavePath, const std::string& folder,
               const std::vector<std::string>& args);
    // True while it runs.
    bool running();
    // Waits up to `timeoutMs` for it to end (then kills it): its exit status, -1 when killed.
    int wait(int timeoutMs);

private:
    pid_t m_pid = -1;
    int m_status = -1;
};

// How the line between the engine and the master behaves.
struct Line {
    double bytesPerSecond = 0; // 0: as fast as the pty goes
    long damageToPeerAt = -1;  // flips the byte with this offset in what goes to the peer
    long damageFromPeerAt = -1;
    int timeoutMs = 60000;
    // After bytes came from the peer, nothing goes to it for this long: rx empties its input
    // right after each answer, and on a pty (no time on a wire) the next block can be there
    // before it does, then waits out rx's timeout.
    int turnaroundMs = 0;
};

// What a run saw.
struct LineRun {
    std::string end; // "done", a failure text, "timeout" or "the peer left" (it exited and
                     // the engine heard nothing more for 0.5 s)
    std::vector<std::pair<protocol::FileInfo, std::string>> files; // received
    std::uint64_t bytesToPeer = 0, bytesFromPeer = 0;
    std::uint64_t fileBytes = 0; // file bytes through (the progress of every file)
    double seconds = 0;
    double peerSeconds = 0; // when the peer was seen to have exited (0: it had not)
    double firstHeard = 0;  // when the first byte came from the peer (0: none came)
};

// An engine seen from the loop: its three entry points.
struct EngineCalls {
    std::function<protocol::Events(std::string_view, std::int64_t)> receive;
    std::function<protocol::Events(std::int64_t)> tick;
    std::function<protocol::Events()> start; // may be empty
};


LineRun RunLine(int master, const EngineCalls& engine, const Line& line, LrzszPeer& peer);

// A sender or receiver as EngineCalls.
template <typename Engine>
EngineCalls CallsOf(Engine& e) {
    return {[&e](std::string_view b, std::int64_t t) { return e.receive(b, t); },
            [&e](std::int64_t t) { return e.tick(t); }, {}};
}
