#pragma once
// A one-client server on 127.0.0.1 that a test scripts: it accepts, sends what it is told and
// keeps what the client sent, with the COM port commands in it picked out. For what the real
// serial server cannot show: line signals, Break, servers that misbehave. POSIX and Qt Core.

#include <QByteArray>
#include <QStringList>

#include <string>

class ScriptServer {
public:
    // Listens on a free port of 127.0.0.1 with this accept queue.
    explicit ScriptServer(int backlog = 4);
    ~ScriptServer();
    ScriptServer(const ScriptServer&) = delete;
    ScriptServer& operator=(const ScriptServer&) = delete;

    int port() const { return m_port; }
    std::string address(const char* scheme = "rfc2217") const {
        return std::string(scheme) + "://127.0.0.1:" + std::to_string(m_port);
    }
    // Takes the waiting client (at most 5 s); false when none came.
    bool accept();
    // Sends all bytes, running the event loop while the socket is full.
    void send(const QByteArray& bytes);
    // Everything the client has sent so far.
    const QByteArray& received();
    // The COM port commands received, as "code:value bytes in hex", 0xFF undoubled.
    QStringList commands();
    void closeClient();

private:
    int m_listen = -1, m_client = -1, m_port = 0;
    QByteArray m_in;
};
