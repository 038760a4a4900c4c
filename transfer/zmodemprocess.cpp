#include "transfer/zmodemprocess.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>

namespace transfer {

namespace {

// Eight CANs end a ZMODEM session in any state; the backspaces wipe them from a screen.
const QByteArray kAbort = QByteArray(8, '\x18') + QByteArray(10, '\x08');

} // namespace

ZmodemProcess::ZmodemProcess(Sink toLine, QObject* parent)
    : QObject(parent), m_toLine(std::move(toLine)) {
    m_process.setProcessChannelMode(QProcess::SeparateChannels);
    connect(&m_process, &QProcess::readyReadStandardOutput, this, &ZmodemProcess::onOutput);
    connect(&m_process, &QProcess::readyReadStandardError, this, &ZmodemProcess::onHint);
    connect(&m_process, &QProcess::finished, this, &ZmodemProcess::onFinished);
    m_poll.setInterval(250);
    connect(&m_poll, &QTimer::timeout, this, [this] {
        if (!m_sending) emit progress(receivedBytes(), m_total);
    });
}

ZmodemProcess::~ZmodemProcess() {
    if (running()) {
        m_process.kill();
        m_process.waitForFinished(1000);
    }
}

QString ZmodemProcess::MissingText() {
    if (!QStandardPaths::findExecutable("sz").isEmpty() &&
        !QStandardPaths::findExecutable("rz").isEmpty())
        return {};
    return tr("ZMODEM needs the programs sz and rz of the lrzsz package, which is not "
              "installed.");
}

bool ZmodemProcess::startSend(const QStringList& files) {
    m_sending = true;
    m_total = 0;
    for (const QString& f : files)
        m_total += QFileInfo(f).size();
    // sz paces itself by its writes blocking on a slow port; here they go into a pipe that is
    // always read, so without a window it hands over the whole file at once, then waits for the
    // receiver's answer for as long as the line takes to carry it, gives up and fails a transfer
    // that goes on arriving. A 4 KB window keeps it within 4 KB of what the receiver confirmed
    // (0.4 s of a 115,200-baud line, 4 s at 9600).
    return start("sz", QStringList{"-b", "-w", "4096"} + files);
}

bool ZmodemProcess::startReceive(Place place) {
    m_sending = false;
    m_place = std::move(place);
    m_folder = std::make_unique<QTemporaryDir>();
    if (!m_folder->isValid()) {
        m_error = tr("No temporary folder for the received files: %1").arg(m_folder->errorString());
        return false;
    }
    m_process.setWorkingDirectory(m_folder->path());
    return start("rz", {"-b", "-E"});
}

bool ZmodemProcess::start(const QString& program, const QStringList& args) {
    m_error = MissingText();
    if (!m_error.isEmpty()) return false;
    m_done = 0;
    m_cancelled = false;
    m_process.start(QStandardPaths::findExecutable(program), args);
    if (!m_process.waitForStarted(5000)) {
        m_error = tr("%1 could not be started: %2").arg(program, m_process.errorString());
        return false;
    }
    m_poll.start();
    return true;
}

void ZmodemProcess::receive(const QByteArray& fromLine) {
    if (running() && !m_cancelled) m_process.write(fromLine);
}

void ZmodemProcess::cancel() {
    if (m_cancelled || !running()) return;
    m_cancelled = true;
    m_toLine(kAbort);
    m_process.kill();
}

void ZmodemProcess::onOutput() {
    const QByteArray bytes = m_process.readAllStandardOutput();
    if (!bytes.isEmpty() && !m_cancelled) m_toLine(bytes);
}

// lrzsz's progress lines ("Bytes Sent: 12345/ 40000 ...") are read only as a hint of how far
// a send has come, held between 0 and the size of the files.
void ZmodemProcess::onHint() {
    m_errBuf += m_process.readAllStandardError();
    static const QRegularExpression kSent(QStringLiteral("Bytes Sent:\\s*(\\d+)"));
    const QList<QByteArray> lines = m_errBuf.split('\r');
    for (const QByteArray& l : lines) {
        const QString line = QString::fromLocal8Bit(l).trimmed();
        if (!line.isEmpty()) m_lastLine = line.split('\n').last().trimmed();
        const QRegularExpressionMatch m = kSent.match(line);
        if (m_sending && m.hasMatch()) {
            m_done = std::clamp<qint64>(m.captured(1).toLongLong(), m_done, m_total);
            emit progress(m_done, m_total);
        }
    }
    m_errBuf = m_errBuf.right(256);
}

qint64 ZmodemProcess::receivedBytes() const {
    qint64 sum = 0;
    if (!m_folder) return 0;
    for (const QFileInfo& f : QDir(m_folder->path()).entryInfoList(QDir::Files))
        sum += f.size();
    return sum;
}

void ZmodemProcess::onFinished(int code, QProcess::ExitStatus status) {
    m_poll.stop();
    onOutput();
    const bool ok = !m_cancelled && status == QProcess::NormalExit && code == 0;
    if (ok && m_sending) m_done = m_total;
    emit progress(m_sending ? m_done : receivedBytes(), m_sending ? m_total : receivedBytes());
    if (ok && !m_sending && m_place) {
        for (const QFileInfo& f : QDir(m_folder->path()).entryInfoList(QDir::Files, QDir::Name))
            m_place(f.filePath(), f.fileName());
    }
    QString text;
    if (m_cancelled) text = tr("The transfer was cancelled.");
    else if (!ok) text = tr("The ZMODEM transfer failed: %1").arg(m_lastLine.isEmpty() ? tr("exit code %1").arg(code) : m_lastLine);
    emit finished(ok, text);
}

} // namespace transfer
