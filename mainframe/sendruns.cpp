#include "mainframe/sendruns.h"

#include <vector>

CSendRuns::CSendRuns(session::SendQueue& queue, QObject* parent)
    : QObject(parent)
    , m_queue(queue) {
    connect(&m_queue, &session::SendQueue::progress, this,
            [this](session::JobId job, qint64 sent, qint64) { onProgress(job, sent); });
    connect(&m_queue, &session::SendQueue::finished, this, &CSendRuns::onFinished);
}

bool CSendRuns::start(const transfer::SendItems& items, session::SendOptions options) {
    const std::uint64_t id = m_nextRun++;
    Run& run = m_runs[id];
    // The run stays open while its jobs are queued (one count of its own), and every job is
    // known before it is queued: the queue may finish it before send() returns.
    run.open = 1;
    for (const transfer::SendItem& item : items) {
        // A run that has ended early (cancelled, the port closed) queues nothing more.
        if (run.result != session::SendResult::Done) break;
        const session::JobId job = m_queue.nextJob();
        const auto bytes = static_cast<std::int64_t>(item.bytes.size());
        m_jobs[job] = {id, bytes, 0};
        run.bytes += bytes;
        ++run.open;
        switch (item.kind) {
        case transfer::SendItem::Kind::Bytes:
            m_queue.send(item.bytes, options);
            break;
        case transfer::SendItem::Kind::Pause:
            m_queue.pause(item.ms);
            break;
        case transfer::SendItem::Kind::Break:
            m_queue.sendBreak(item.ms);
            break;
        }
    }
    if (--run.open == 0) endRun(id);
    return m_runs.count(id) != 0;
}

void CSendRuns::cancelAll() {
    std::vector<session::JobId> jobs;
    for (const auto& [job, info] : m_jobs)
        jobs.push_back(job);
    for (const session::JobId job : jobs)
        m_queue.cancel(job);
}

std::int64_t CSendRuns::sent() const {
    std::int64_t n = 0;
    for (const auto& [id, run] : m_runs)
        n += run.sent;
    return n;
}

std::int64_t CSendRuns::total() const {
    std::int64_t n = 0;
    for (const auto& [id, run] : m_runs)
        n += run.bytes;
    return n;
}

void CSendRuns::onProgress(session::JobId job, qint64 sent) {
    const auto it = m_jobs.find(job);
    if (it == m_jobs.end()) return;
    Run& run = m_runs[it->second.run];
    run.sent += sent - it->second.sent;
    it->second.sent = sent;
    emit progress(this->sent(), total());
}

void CSendRuns::onFinished(session::JobId job, session::SendResult result) {
    const auto it = m_jobs.find(job);
    if (it == m_jobs.end()) return;
    const std::uint64_t id = it->second.run;
    Run& run = m_runs[id];
    // Bytes that finished Done went out whole, whether or not progress said so.
    if (result == session::SendResult::Done) run.sent += it->second.bytes - it->second.sent;
    m_jobs.erase(it);
    --run.open;
    if (result != session::SendResult::Done && run.result == session::SendResult::Done) {
        run.result = result;
        // The rest of this run is taken back.
        std::vector<session::JobId> rest;
        for (const auto& [other, info] : m_jobs)
            if (info.run == id) rest.push_back(other);
        for (const session::JobId other : rest)
            m_queue.cancel(other);
    }
    if (m_runs.count(id) && m_runs[id].open == 0) endRun(id);
}

void CSendRuns::endRun(std::uint64_t id) {
    const Run run = m_runs[id];
    m_runs.erase(id);
    emit runEnded(run.result, run.sent, run.bytes);
    emit progress(sent(), total());
}
