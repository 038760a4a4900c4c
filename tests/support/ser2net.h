#pragma once
// ser2net serving one pseudo-terminal on 127.0.0.1, as a lab's serial server would: one port
// with Telnet COM Port Control and one raw, on two free ports that stay the same when it is
// stopped and started again. Its configuration file lives in a temporary folder of its own.

#include <QProcess>
#include <QTemporaryDir>

#include <string>

class Ser2net {
public:
    explicit Ser2net(const std::string& device);
    ~Ser2net();
    Ser2net(const Ser2net&) = delete;
    Ser2net& operator=(const Ser2net&) = delete;

    static bool installed();

    // Starts it and waits (bounded) until both ports listen; false with error() otherwise.
    bool start();
    // Ends it (SIGTERM), and waits until it has gone.
    void stop();

    int rfc2217Port() const { return m_rfcPort; }
    int rawPort() const { return m_rawPort; }
    std::string rfc2217Address() const { return "rfc2217://127.0.0.1:" + std::to_string(m_rfcPort); }
    std::string rawAddress() const { return "tcp://127.0.0.1:" + std::to_string(m_rawPort); }
    const std::string& error() const { return m_error; }

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    int m_rfcPort = 0, m_rawPort = 0;
    std::string m_error;
};

// A port on 127.0.0.1 that nothing listens on now.
int FreeLocalPort();
// Whether something listens on 127.0.0.1:`port` (read from /proc/net/tcp: no connection made).
bool ListeningLocally(int port);
