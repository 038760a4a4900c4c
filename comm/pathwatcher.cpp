#include "comm/pathwatcher.h"

#include <QSocketNotifier>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <filesystem>

#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

namespace comm {

namespace {

constexpr int kPollMs = 2000;
// Links followed from one path at most: enough for port map → by-id → device, and bounded
// for a loop of links.
constexpr int kMaxHops = 8;
constexpr std::uint32_t kMask = IN_CREATE | IN_DELETE | IN_MOVED_TO | IN_MOVED_FROM | IN_ATTRIB |
                                IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;

bool IsFolder(const std::filesystem::path& p) {
    struct stat st {};
    return ::stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The folder where an entry `p` would appear, or the nearest one above it that exists.
std::string WatchableFolder(const std::filesystem::path& p) {
    std::filesystem::path folder = p.parent_path();
    while (!folder.empty() && folder != folder.root_path() && !IsFolder(folder))
        folder = folder.parent_path();
    return folder.empty() ? std::string("/") : folder.string();
}

// `p` and the targets of the links it leads through, as far as they go.
std::vector<std::filesystem::path> LinkChain(std::filesystem::path p) {
    std::vector<std::filesystem::path> chain{p};
    for (int hop = 0; hop < kMaxHops; ++hop) {
        char buf[PATH_MAX];
        const ssize_t n = ::readlink(p.c_str(), buf, sizeof buf);
        if (n <= 0 || static_cast<std::size_t>(n) >= sizeof buf) break;
        std::filesystem::path target(std::string(buf, static_cast<std::size_t>(n)));
        if (target.is_relative()) target = p.parent_path() / target;
        p = target.lexically_normal();
        chain.push_back(p);
    }
    return chain;
}

} // namespace

PathWatcher::PathWatcher(QObject* parent)
    : QObject(parent) {
    m_poll.setInterval(kPollMs);
    connect(&m_poll, &QTimer::timeout, this, [this] {
        arm(); // a folder may have come without a notice
        emit changed();
    });
}

PathWatcher::~PathWatcher() {
    stop();
}

void PathWatcher::watch(const std::vector<std::string>& paths) {
    m_paths = paths;
    m_watching = true;
    if (m_fd < 0) {
        m_fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (m_fd >= 0) {
            m_notifier = std::make_unique<QSocketNotifier>(m_fd, QSocketNotifier::Read);
            connect(m_notifier.get(), &QSocketNotifier::activated, this, &PathWatcher::onNotice);
        }
    }
    arm();
    if (!m_poll.isActive()) m_poll.start();
}

void PathWatcher::stop() {
    m_watching = false;
    m_poll.stop();
    m_notifier.reset();
    if (m_fd >= 0) ::close(m_fd); // drops every watch with it
    m_fd = -1;
    m_watches.clear();
    m_paths.clear();
}

std::vector<std::string> PathWatcher::folders() const {
    std::vector<std::string> out;
    for (const auto& w : m_watches)
        out.push_back(w.second);
    return out;
}

void PathWatcher::arm() {
    if (m_fd < 0) return;
    std::vector<std::string> wanted;
    for (const std::string& path : m_paths)
        for (const auto& hop : LinkChain(path)) {
            const std::string folder = WatchableFolder(hop);
            if (std::find(wanted.begin(), wanted.end(), folder) == wanted.end())
                wanted.push_back(folder);
        }
    // Watches no longer wanted go; inotify hands back the same descriptor for a folder watched
    // twice, so adding again what is kept costs nothing.
    for (const auto& [wd, folder] : m_watches)
        if (std::find(wanted.begin(), wanted.end(), folder) == wanted.end())
            ::inotify_rm_watch(m_fd, wd);
    m_watches.clear();
    for (const std::string& folder : wanted) {
        const int wd = ::inotify_add_watch(m_fd, folder.c_str(), kMask);
        if (wd >= 0) m_watches.emplace_back(wd, folder);
    }
}

void PathWatcher::onNotice() {
    // Take every notice waiting; what they say does not matter, only that something moved.
    alignas(inotify_event) char buf[4096];
    bool any = false;
    for (;;) {
        const ssize_t n = ::read(m_fd, buf, sizeof buf);
        if (n > 0) {
            any = true;
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        break;
    }
    if (!any || !m_watching) return;
    // A folder may have come or gone, or a link now points elsewhere: watch anew.
    arm();
    emit changed();
}

} // namespace comm
