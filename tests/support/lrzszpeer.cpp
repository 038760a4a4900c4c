#include "tests/support/lrzszpeer.h"

#include "tests/support/linepace.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

extern char** environ;

namespace {

std::int64_t NowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

double Seconds() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

} // namespace

LrzszPeer::~LrzszPeer() {
    if (m_pid > 0 && running()) {
        kill(m_pid, SIGKILL);
        waitpid(m_pid, nullptr, 0);
    }
}

bool LrzszPeer::start(const std::string& slavePath, const std::string& folder,
                      const std::vector<std::string>& args) {
    const int slave = ::open(slavePath.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave < 0) return false;
    termios raw{};
    tcgetattr(slave, &raw);
    cfmakeraw(&raw);
    tcsetattr(slave, TCSANOW, &raw);
    ::close(slave);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
    posix_spawn_file_actions_addopen(&actions, 0, slavePath.c_str(), O_RDWR | O_NOCTTY, 0);
    posix_spawn_file_actions_adddup2(&actions, 0, 1);
    posix_spawn_file_actions_addopen(&actions, 2, "peer.log", O_WRONLY | O_CREAT | O_APPEND, 0644);
    std::vector<char*> argv;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const int rc = posix_spawnp(&m_pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) m_pid = -1;
    return rc == 0;
}

bool LrzszPeer::running() {
    if (m_pid <= 0) return false;
    int status = 0;
    const pid_t r = waitpid(m_pid, &status, WNOHANG);
    if (r == 0) return true;
    m_status = r == m_pid && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    m_pid = -1;
    return false;
}

int LrzszPeer::wait(int timeoutMs) {
    const std::int64_t until = NowMs() + timeoutMs;
    while (running() && NowMs() < until)
        usleep(5000);
    if (running()) {
        kill(m_pid, SIGKILL);
        waitpid(m_pid, nullptr, 0);
        m_pid = -1;
        return -1;
    }
    return m_status;
}

namespace {

// Takes what an engine returned: bytes to the line's queue, files and the end to the run.
void Take(const protocol::Events& events, std::string& queue, LineRun& run, bool& ended) {
    for (const protocol::Event& e : events) {
        using K = protocol::Event::Kind;
        if (e.kind == K::Send) queue += e.bytes;
        if (e.kind == K::FileBegin) run.files.push_back({e.file, {}});
        if (e.kind == K::Data && !run.files.empty()) run.files.back().second += e.bytes;
        if (e.kind == K::FileEnd) run.fileBytes += e.done;
        if (e.kind == K::Done) run.end = "done";
        if (e.kind == K::Failed) run.end = e.text;
        ended = ended || e.kind == K::Done || e.kind == K::Failed;
    }
}

} // namespace

LineRun RunLine(int master, const EngineCalls& engine, const Line& line, LrzszPeer& peer) {
    LineRun run;
    std::string queue;
    bool ended = false, damaged = false;
    const double begin = Seconds();
    const std::int64_t zero = NowMs(), until = zero + line.timeoutMs;
    auto clock = [zero] { return NowMs() - zero; }; // the engines start at 0
    if (engine.start) Take(engine.start(), queue, run, ended);
    char buf[4096];
    std::int64_t peerGone = -1, heard = -1;
    LinePace toPeer(line.bytesPerSecond), fromPeer(line.bytesPerSecond);
    while (NowMs() < until && !(ended && queue.empty() && !peer.running())) {
        if (run.peerSeconds == 0 && !peer.running()) run.peerSeconds = Seconds() - begin;
        if (!ended && peerGone < 0 && !peer.running()) peerGone = NowMs();
        if (peerGone >= 0 && NowMs() - peerGone > 500) {
            run.end = "the peer left";
            ended = true;
            break;
        }
        const bool turning = heard >= 0 && NowMs() - heard < line.turnaroundMs;
        pollfd p{master, short(POLLIN | (queue.empty() || turning ? 0 : POLLOUT)), 0};
        poll(&p, 1, line.bytesPerSecond > 0 || turning ? 1 : 20);
        if (const std::size_t n = turning ? 0 : toPeer.allowed(queue.size())) {
            const ssize_t w = ::write(master, queue.data(), n);
            if (w > 0) {
                toPeer.used(std::size_t(w));
                queue.erase(0, std::size_t(w));
                run.bytesToPeer += std::uint64_t(w);
            }
        }
        if (const std::size_t n = fromPeer.allowed(sizeof buf)) {
            const ssize_t r = ::read(master, buf, n);
            if (r > 0) fromPeer.used(std::size_t(r));
            if (r > 0 && !ended) {
                heard = NowMs();
                if (run.firstHeard == 0) run.firstHeard = Seconds() - begin;
                const long from = long(run.bytesFromPeer);
                run.bytesFromPeer += std::uint64_t(r);
                if (line.damageFromPeerAt >= from && line.damageFromPeerAt < from + r)
                    buf[line.damageFromPeerAt - from] ^= 0x10;
                Take(engine.receive(std::string_view(buf, std::size_t(r)), clock()), queue, run,
                     ended);
            }
        }
        if (!ended) Take(engine.tick(clock()), queue, run, ended);
        // The damage to the peer is made as the bytes are queued, so it falls on one offset.
        const long queuedFrom = long(run.bytesToPeer);
        if (!damaged && line.damageToPeerAt >= queuedFrom &&
            line.damageToPeerAt < queuedFrom + long(queue.size())) {
            queue[std::size_t(line.damageToPeerAt - queuedFrom)] ^= 0x10;
            damaged = true;
        }
    }
    run.seconds = Seconds() - begin;
    if (!ended) run.end = "timeout";
    if (run.end.empty()) run.end = "timeout";
    return run;
}
