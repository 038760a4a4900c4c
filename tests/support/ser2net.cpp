#include "tests/support/ser2net.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QStandardPaths>
#include <QThread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

int FreeLocalPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    int port = 0;
    if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) == 0)
        port = ntohs(a.sin_port);
    if (fd >= 0) ::close(fd);
    return port;
}

bool ListeningLocally(int port) {
    QFile f(QStringLiteral("/proc/net/tcp"));
    if (!f.open(QIODevice::ReadOnly)) return false;
    const QByteArray wanted =
        "0100007F:" + QByteArray::number(port, 16).toUpper().rightJustified(4, '0');
    for (const QByteArray& line : f.readAll().split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() > 3 && fields[1] == wanted && fields[3] == "0A") return true;
    }
    return false;
}

Ser2net::Ser2net(const std::string& device)
    : m_rfcPort(FreeLocalPort())
    , m_rawPort(FreeLocalPort()) {
    while (m_rawPort == m_rfcPort)
        m_rawPort = FreeLocalPort();
    QFile config(m_dir.filePath(QStringLiteral("ser2net.yaml")));
    if (!config.open(QIODevice::WriteOnly)) {
        m_error = "cannot write the ser2net configuration";
        return;
    }
    const QByteArray dev = QByteArray::fromStdString(device);
    config.write("%YAML 1.1\n---\n"
                 "connection: &rfc2217\n"
                 "    accepter: telnet(rfc2217),tcp,127.0.0.1," + QByteArray::number(m_rfcPort) + "\n"
                 "    connector: serialdev," + dev + ",local\n"
                 "connection: &raw\n"
                 "    accepter: tcp,127.0.0.1," + QByteArray::number(m_rawPort) + "\n"
                 "    connector: serialdev," + dev + ",local\n");
}

Ser2net::~Ser2net() {
    stop();
}

bool Ser2net::installed() {
    return !QStandardPaths::findExecutable(QStringLiteral("ser2net"), {"/usr/sbin", "/usr/bin", "/sbin"})
                .isEmpty();
}

bool Ser2net::start() {
    if (!m_error.empty()) return false;
    const QString program = QStandardPaths::findExecutable(QStringLiteral("ser2net"),
                                                           {"/usr/sbin", "/usr/bin", "/sbin"});
    // What it says (a missing mDNS daemon, for one) stays in its folder.
    m_process.setStandardOutputFile(m_dir.filePath(QStringLiteral("ser2net.log")));
    m_process.setStandardErrorFile(m_dir.filePath(QStringLiteral("ser2net.log")), QIODevice::Append);
    m_process.start(program, {"-n", "-u", "-c", m_dir.filePath(QStringLiteral("ser2net.yaml")),
                              "-P", m_dir.filePath(QStringLiteral("ser2net.pid"))});
    if (!m_process.waitForStarted(5000)) {
        m_error = "ser2net did not start: " + m_process.errorString().toStdString();
        return false;
    }
    const QDeadlineTimer deadline(5000);
    while (!(ListeningLocally(m_rfcPort) && ListeningLocally(m_rawPort))) {
        if (deadline.hasExpired() || m_process.state() != QProcess::Running) {
            m_error = "ser2net did not listen on its ports";
            return false;
        }
        QThread::msleep(10);
    }
    return true;
}

void Ser2net::stop() {
    if (m_process.state() == QProcess::NotRunning) return;
    m_process.terminate();
    if (!m_process.waitForFinished(5000)) {
        m_process.kill();
        m_process.waitForFinished(2000);
    }
}
