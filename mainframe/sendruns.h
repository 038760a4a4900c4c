#pragma once
// Sends of more than a key (the send bar's line, a macro, a paste, a Break) as runs of send
// queue jobs. The runs under way are counted together for one progress, and one cancel ends
// them all. A run whose job ends cancelled or with the port closed ends there: the rest of it
// is taken back and never sent.

#include "session/sendqueue.h"
#include "transfer/sendtext.h"

#include <QObject>

#include <cstdint>
#include <map>

class CSendRuns : public QObject {
    Q_OBJECT
public:
    explicit CSendRuns(session::SendQueue& queue, QObject* parent = nullptr);

    // Queues `items` as one run, bytes with `options`. True while it is still under way when
    // the call returns (what is short and unpaced may be on the line already).
    bool start(const transfer::SendItems& items, session::SendOptions options);
    // Ends every run under way as Cancelled.
    void cancelAll();

    bool busy() const { return !m_jobs.empty(); }
    // Bytes sent and in all, of the runs under way.
    std::int64_t sent() const;
    std::int64_t total() const;

signals:
    void progress(qint64 sent, qint64 total);
    // A run has ended; `sent` of its `total` bytes left.
    void runEnded(session::SendResult result, qint64 sent, qint64 total);

private:
    struct Job {
        std::uint64_t run;
        std::int64_t bytes = 0;
        std::int64_t sent = 0;
    };
    struct Run {
        std::int64_t bytes = 0;
        std::int64_t sent = 0;
        int open = 0; // its jobs not finished yet
        session::SendResult result = session::SendResult::Done;
    };

    void onProgress(session::JobId job, qint64 sent);
    void onFinished(session::JobId job, session::SendResult result);
    void endRun(std::uint64_t run);

    session::SendQueue& m_queue;
    std::map<session::JobId, Job> m_jobs;
    std::map<std::uint64_t, Run> m_runs;
    std::uint64_t m_nextRun = 1;
};
