#include "session/filetransfer.h"

#include "framework/stringtable.h"
#include "res/resource.h"
#include "transfer/protocol/receiver.h"
#include "transfer/protocol/receivingfile.h"
#include "transfer/protocol/sender.h"
#include "transfer/zmodemprocess.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>

#include <fstream>

namespace session {
namespace {

constexpr int kTickMs = 100;
constexpr int kAfterCancelMs = 500; // the far end's last bytes are swallowed meanwhile

bool Exists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

std::string BaseName(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A file to send: its name, size and time, and a reader over it.
std::optional<protocol::OutgoingFile> Outgoing(const std::string& path) {
    struct stat st {};
    auto in = std::make_shared<std::ifstream>(path, std::ios::binary);
    if (!*in || ::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    protocol::OutgoingFile file;
    file.info = {BaseName(path), static_cast<std::uint64_t>(st.st_size), st.st_mtime};
    file.read = [in](std::uint64_t offset, std::size_t count, std::string& out) {
        in->clear();
        in->seekg(static_cast<std::streamoff>(offset));
        out.resize(count);
        in->read(out.data(), static_cast<std::streamsize>(count));
        out.resize(static_cast<std::size_t>(in->gcount()));
        return !in->bad();
    };
    return file;
}

} // namespace

const char* ProtocolName(Protocol protocol) {
    switch (protocol) {
    case Protocol::Xmodem:
        return "XMODEM";
    case Protocol::Ymodem:
        return "YMODEM";
    default:
        return "ZMODEM";
    }
}

FileTransfer::FileTransfer(Session& session, TransferPlan plan, AskReplace askReplace,
                           QObject* parent)
    : QObject(parent)
    , m_session(session)
    , m_plan(std::move(plan))
    , m_askReplace(std::move(askReplace)) {
    m_tick.setInterval(kTickMs);
    connect(&m_tick, &QTimer::timeout, this, &FileTransfer::onTick);
    connect(&m_session.sendQueue(), &SendQueue::finished, this,
            [this](JobId job, SendResult) {
                if (job == m_lastSend && m_sender) m_sender->flushed(now());
            });
}

FileTransfer::~FileTransfer() {
    if (m_running) release();
}

bool FileTransfer::start() {
    if (m_running || m_ended) return false;
    m_clock.start();
    if (m_plan.sending && m_plan.protocol != Protocol::Zmodem && !prepareSend())
        return false;
    if (m_plan.protocol == Protocol::Zmodem) {
        m_error = transfer::ZmodemProcess::MissingText().toStdString();
        if (!m_error.empty()) return false;
    }
    if (!m_session.takeLine(this)) {
        m_error = "Another transfer holds the line.";
        return false;
    }
    m_running = true;
    m_tick.start();
    if (m_session.sendQueue().idle())
        begin();
    else
        m_session.holdNote(fw::LoadString(IDS_XFER_QUEUE_BUSY));
    return true;
}

bool FileTransfer::prepareSend() {
    for (const std::string& path : m_plan.files) {
        auto file = Outgoing(path);
        if (!file) {
            m_error = "Cannot read " + path + ".";
            return false;
        }
        m_outgoing.push_back(std::move(*file));
    }
    if (m_outgoing.empty()) m_error = "No file to send.";
    return m_error.empty();
}

void FileTransfer::begin() {
    m_holder = m_session.sendQueue().beginExclusive();
    m_startMs = now();
    if (m_plan.protocol == Protocol::Zmodem) {
        beginZmodem();
        return;
    }
    if (m_plan.sending) {
        m_sender = std::make_unique<protocol::Sender>(
            protocol::SendOptions{m_plan.protocol == Protocol::Ymodem, true},
            std::exchange(m_outgoing, {}), now());
        return;
    }
    m_receiver = std::make_unique<protocol::Receiver>(
        protocol::ReceiveOptions{m_plan.protocol == Protocol::Ymodem, true}, now());
    handle(m_receiver->start(now()));
}

void FileTransfer::beginZmodem() {
    m_zmodem = std::make_unique<transfer::ZmodemProcess>([this](const QByteArray& bytes) {
        if (m_holder) m_session.sendQueue().sendExclusive(m_holder, bytes.toStdString());
    });
    connect(m_zmodem.get(), &transfer::ZmodemProcess::progress, this,
            [this](qint64 done, qint64 total) {
                m_done = static_cast<std::uint64_t>(std::max<qint64>(done, 0));
                if (total >= 0) m_total = static_cast<std::uint64_t>(total);
                emit progress();
            });
    connect(m_zmodem.get(), &transfer::ZmodemProcess::finished, this,
            [this](bool ok, const QString& text) {
                if (ok && m_plan.sending)
                    for (const std::string& path : m_plan.files)
                        m_moved.push_back({BaseName(path), m_total.value_or(0), false});
                finish(ok ? std::string() : text.toStdString());
            });
    QStringList files;
    for (const std::string& path : m_plan.files)
        files << QFile::decodeName(path.c_str());
    m_name = m_plan.sending && !m_plan.files.empty() ? BaseName(m_plan.files.front()) : "ZMODEM";
    const bool started =
        m_plan.sending ? m_zmodem->startSend(files)
                       : m_zmodem->startReceive([this](const QString& path, const QString& name) {
                             placeReceived(path, name);
                         });
    if (!started) finish(m_zmodem->error().toStdString());
}

// A file rz wrote in its private folder goes into the chosen one, asking before it replaces.
void FileTransfer::placeReceived(const QString& path, const QString& name) {
    const protocol::NameCheck check = protocol::CheckReceivedName(QFile::encodeName(name).toStdString());
    if (!check.error.empty()) return;
    const std::string target = m_plan.folder + "/" + check.name;
    const auto bytes = static_cast<std::uint64_t>(QFileInfo(path).size());
    if (Exists(target) && !(m_askReplace && m_askReplace(target))) {
        m_moved.push_back({check.name, bytes, true});
        return;
    }
    const QString to = QFile::decodeName(target.c_str());
    QFile::remove(to);
    if (QFile::rename(path, to) || QFile::copy(path, to)) m_moved.push_back({check.name, bytes, false});
}

void FileTransfer::received(std::string_view bytes) {
    if (!m_running) return; // the moment after the end: the far end's last bytes go nowhere
    if (m_asking || !m_holder) {
        m_backlog.append(bytes);
        return;
    }
    if (m_zmodem) {
        m_zmodem->receive(QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())));
        return;
    }
    if (m_sender) handle(m_sender->receive(bytes, now()));
    if (m_receiver) handle(m_receiver->receive(bytes, now()));
}

void FileTransfer::onTick() {
    if (!m_running || m_asking) return;
    if (!m_holder) {
        if (!m_session.sendQueue().idle()) return;
        m_session.releaseNote();
        begin();
    }
    if (!m_backlog.empty()) {
        const std::string backlog = std::exchange(m_backlog, {});
        received(backlog);
    }
    if (m_sender) handle(m_sender->tick(now()));
    if (m_receiver) handle(m_receiver->tick(now()));
}

void FileTransfer::handle(std::vector<protocol::Event> events) {
    for (const protocol::Event& event : events) {
        if (m_ended) return;
        onEvent(event);
    }
}

void FileTransfer::onEvent(const protocol::Event& event) {
    using Kind = protocol::Event::Kind;
    switch (event.kind) {
    case Kind::Send:
        m_lastSend = m_session.sendQueue().sendExclusive(m_holder, event.bytes);
        break;
    case Kind::FileBegin:
        onFileBegin(event);
        break;
    case Kind::Data:
        onData(event.bytes);
        break;
    case Kind::Progress:
        m_done = event.done;
        if (event.total) m_total = event.total;
        emit progress();
        break;
    case Kind::FileEnd:
        onFileEnd(event.done);
        break;
    case Kind::Done:
        finish({});
        break;
    case Kind::Failed:
        finish(event.text);
        break;
    }
}

void FileTransfer::onFileBegin(const protocol::Event& event) {
    // The rate counts from the first file on, not from the wait for the other end.
    if (m_moved.empty() && m_base == 0 && m_done == 0) m_startMs = now();
    m_base += m_done;
    m_done = 0;
    m_total = event.file.size;
    m_skipping = false;
    if (m_sender) {
        m_name = event.file.name;
        emit progress();
        return;
    }
    std::string name = m_plan.name;
    if (m_plan.protocol == Protocol::Ymodem) {
        const protocol::NameCheck check = protocol::CheckReceivedName(event.file.name);
        if (!check.error.empty()) {
            handle(m_receiver->abort(check.error));
            return;
        }
        name = check.name;
        const std::string target = m_plan.folder + "/" + name;
        if (Exists(target) && m_askReplace) {
            m_asking = true;
            m_skipping = !m_askReplace(target);
            m_asking = false;
            if (m_ended) return; // the port closed while the question was open
        }
    }
    m_name = name;
    emit progress();
    if (m_skipping) return;
    m_file = std::make_unique<protocol::ReceivingFile>();
    if (!m_file->open(m_plan.folder, name, m_plan.stripPadding))
        handle(m_receiver->abort(m_file->error()));
}

void FileTransfer::onData(const std::string& bytes) {
    if (m_skipping || !m_file || !m_file->isOpen()) return;
    if (!m_file->write(bytes)) handle(m_receiver->abort(m_file->error()));
}

void FileTransfer::onFileEnd(std::uint64_t done) {
    m_done = done;
    if (m_sender) {
        m_moved.push_back({m_name, done, false});
    } else if (m_skipping) {
        m_moved.push_back({m_name, done, true});
    } else if (m_file && m_file->isOpen()) {
        if (!m_file->finish()) {
            handle(m_receiver->abort(m_file->error()));
            return;
        }
        m_moved.push_back({m_name, m_file->written(), false});
        m_file.reset();
    }
    emit progress();
}

void FileTransfer::cancel() {
    if (!m_running || m_ended) return;
    if (!m_holder) {
        finish("The transfer was cancelled.");
        return;
    }
    if (m_zmodem) m_zmodem->cancel(); // its finished signal ends the transfer
    if (m_sender) handle(m_sender->cancel(now()));
    if (m_receiver) handle(m_receiver->cancel());
}

void FileTransfer::lineLost() {
    if (!m_running || m_ended) return;
    m_running = false; // the session has let go of us already
    if (m_zmodem) m_zmodem->cancel();
    finish(fw::FormatString(IDS_XFER_PORT_GONE, {protocol::AfterBytes(m_base + m_done, {})}));
}

void FileTransfer::finish(const std::string& failure) {
    if (m_ended) return;
    m_ended = true;
    std::string text = failure;
    if (m_file && m_file->isOpen()) text += " " + m_file->abandon();
    m_file.reset();
    const std::string summary = protocol::TransferSummary(ProtocolName(m_plan.protocol),
                                                          m_plan.sending, m_moved, text);
    // After a failure the far end may still be sending: the line stays taken a moment so
    // that its last packets do not land on the screen.
    if (failure.empty() || !m_running)
        release();
    else
        QTimer::singleShot(kAfterCancelMs, this, [this] { release(); });
    emit finished(QString::fromStdString(summary), QString::fromStdString(text));
}

void FileTransfer::release() {
    m_tick.stop();
    if (m_holder) m_session.sendQueue().endExclusive(std::exchange(m_holder, 0));
    if (m_running && m_session.lineTaker() == this) m_session.releaseLine();
    m_running = false;
}

double FileTransfer::bytesPerSecond() const {
    const std::int64_t ms = now() - m_startMs;
    return ms > 0 ? static_cast<double>(m_base + m_done) * 1000.0 / static_cast<double>(ms) : 0;
}

std::string FileTransfer::progressText() const {
    if (m_name.empty())
        return m_plan.sending ? "Sending: waiting for the receiver"
                              : "Receiving: waiting for the sender";
    return protocol::ProgressText(m_plan.sending, m_name, m_done, m_total, bytesPerSecond());
}

} // namespace session
