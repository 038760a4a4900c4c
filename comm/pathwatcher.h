#pragma once
// Watches paths that come and go — a device node, a link to one, a link to a link — and says
// when any of them may have changed. It watches, with inotify, the folder of each path and of
// each link target along the way (or the nearest folder above one that does not exist), and
// polls slowly as well, for file systems that send no notices. It never looks at what changed:
// the owner checks for itself. Qt Core and POSIX only.

#include <QObject>
#include <QTimer>

#include <memory>
#include <string>
#include <vector>

class QSocketNotifier;

namespace comm {

class PathWatcher : public QObject {
    Q_OBJECT
public:
    explicit PathWatcher(QObject* parent = nullptr);
    ~PathWatcher() override;

    // Watches the folders of `paths` and of their link targets, replacing what was watched.
    // changed() follows any entry made, removed, renamed or given new permissions there
    // (folders made and removed above are followed), and every poll interval.
    void watch(const std::vector<std::string>& paths);
    // Stops watching; no changed() comes after this.
    void stop();
    bool watching() const { return m_watching; }
    void setPollInterval(int ms) { m_poll.setInterval(ms); }

    // The folders watched now (what inotify holds); empty when inotify is not available.
    std::vector<std::string> folders() const;

signals:
    void changed();

private:
    void arm();
    void onNotice();

    int m_fd = -1;
    std::unique_ptr<QSocketNotifier> m_notifier;
    std::vector<std::string> m_paths;
    std::vector<std::pair<int, std::string>> m_watches; // descriptor, folder
    QTimer m_poll;
    bool m_watching = false;
};

} // namespace comm
