#include "tests/support/scriptserver.h"

#include <QCoreApplication>

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

ScriptServer::ScriptServer(int backlog) {
    m_listen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    ::bind(m_listen, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::listen(m_listen, backlog);
    ::getsockname(m_listen, reinterpret_cast<sockaddr*>(&a), &len);
    m_port = ntohs(a.sin_port);
}

ScriptServer::~ScriptServer() {
    closeClient();
    ::close(m_listen);
}

bool ScriptServer::accept() {
    pollfd p{m_listen, POLLIN, 0};
    if (::poll(&p, 1, 5000) != 1) return false;
    m_client = ::accept4(m_listen, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    return m_client >= 0;
}

void ScriptServer::send(const QByteArray& bytes) {
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t r =
            ::send(m_client, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (r > 0)
            done += r;
        else if (errno == EAGAIN)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        else
            return;
    }
}

const QByteArray& ScriptServer::received() {
    char buf[4096];
    ssize_t r;
    while ((r = ::recv(m_client, buf, sizeof buf, MSG_DONTWAIT)) > 0)
        m_in.append(buf, r);
    return m_in;
}

QStringList ScriptServer::commands() {
    QStringList out;
    const QByteArray& in = received();
    for (qsizetype i = in.indexOf("\xff\xfa\x2c"); i >= 0; i = in.indexOf("\xff\xfa\x2c", i + 1)) {
        const qsizetype end = in.indexOf("\xff\xf0", i);
        if (end < 0) break;
        QByteArray value = in.mid(i + 4, end - i - 4).replace("\xff\xff", "\xff");
        out << QString::number(static_cast<unsigned char>(in[i + 3])) + ":" + value.toHex();
    }
    return out;
}

void ScriptServer::closeClient() {
    if (m_client >= 0) ::close(m_client);
    m_client = -1;
}
