#pragma once
// ZMODEM through lrzsz: one class runs `sz` (sending) or `rz` (receiving) as a child and
// relays its standard output to the line and what the line brings to its standard input.
// Progress counts only what can be trusted: the sizes of the files (sent: known up front;
// received: what the files on disk hold), with lrzsz's own progress lines only as a hint
// while sending. `rz` skips files that exist, so it receives into a private temporary folder
// and each complete file is handed to the caller, who moves it into place.

#include <QObject>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <QTimer>

#include <functional>
#include <memory>

namespace transfer {

class ZmodemProcess : public QObject {
    Q_OBJECT
public:
    using Sink = std::function<void(const QByteArray&)>;
    // Called once per received file when the transfer ends well, with its path in the
    // temporary folder and the name the sender gave; the caller moves it (asking before
    // overwriting). Whatever it leaves is removed with the folder.
    using Place = std::function<void(const QString& path, const QString& name)>;

    // `toLine` carries the child's output to the line.
    explicit ZmodemProcess(Sink toLine, QObject* parent = nullptr);
    ~ZmodemProcess() override;

    // The text for a missing lrzsz, or empty when sz and rz are both there.
    static QString MissingText();

    // Starts sending `files`; false with error() when lrzsz is missing or sz cannot start.
    bool startSend(const QStringList& files);
    // Starts receiving; `place` gets each file at the end. False with error() as above.
    bool startReceive(Place place);
    // Bytes from the line for the child.
    void receive(const QByteArray& fromLine);
    // Stops the child and puts the ZMODEM abort on the line; a second call does nothing.
    void cancel();

    bool running() const { return m_process.state() != QProcess::NotRunning; }
    const QString& error() const { return m_error; }
    qint64 total() const { return m_total; }

signals:
    // Bytes of all files through so far, of `total` (-1 when not known yet).
    void progress(qint64 done, qint64 total);
    // The transfer ended: `ok`, or `text` says what went wrong.
    void finished(bool ok, const QString& text);

private:
    bool start(const QString& program, const QStringList& args);
    void onOutput();
    void onHint();
    void onFinished(int code, QProcess::ExitStatus status);
    qint64 receivedBytes() const;

    Sink m_toLine;
    Place m_place;
    QProcess m_process;
    std::unique_ptr<QTemporaryDir> m_folder;
    QTimer m_poll;
    QString m_error, m_lastLine;
    QByteArray m_errBuf;
    qint64 m_total = -1, m_done = 0;
    bool m_sending = false, m_cancelled = false;
};

} // namespace transfer
