#pragma once
// Pseudo-terminal pairs for tests: the slave stands in for a serial port, the master is the
// far end of the line. PortLink makes such a slave reachable as a COM port through the port
// map folder. Qt Core and POSIX only.

#include <QByteArray>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The slave's settings as the kernel holds them (termios2).
struct SlaveTermios {
    std::uint32_t iflag = 0, oflag = 0, cflag = 0, lflag = 0;
    std::uint32_t ispeed = 0, ospeed = 0;
    unsigned char vmin = 0, vtime = 0, vstart = 0, vstop = 0;
};

class PtyPair {
public:
    // Opens a pair; the master is non-blocking. The pair keeps a slave descriptor of its own
    // open, so that the master never reads EIO while the control closes and reopens the slave.
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    bool isOpen() const { return m_master >= 0; }
    const std::string& error() const { return m_error; }
    int master() const { return m_master; }
    const std::string& slavePath() const { return m_slavePath; }

    // Closes the master: the slave hangs up, as a serial adapter does when it is unplugged.
    void closeMaster();

    // Writes all bytes to the master, running the event loop while the slave's input is full.
    // False on an error or when `timeoutMs` passes first.
    bool writeAll(std::string_view bytes, int timeoutMs = 10000);

    // Reads from the master until `n` bytes have come or `timeoutMs` has passed, running the
    // event loop while waiting. Returns what came.
    std::string read(std::size_t n, int timeoutMs = 5000);

    // What the master can read now, at most `max` bytes, without waiting.
    std::string readAvailable(std::size_t max = 65536);

    // The slave's settings, read through the master (TCGETS2).
    std::optional<SlaveTermios> slaveTermios() const;

private:
    int m_master = -1;
    int m_slave = -1;
    std::string m_slavePath;
    std::string m_error;
};

class PortLink {
public:
    // Makes a temporary port map folder and points $WIRELOG_PORTS at it.
    PortLink();
    // Restores $WIRELOG_PORTS as it was; the folder goes.
    ~PortLink();
    PortLink(const PortLink&) = delete;
    PortLink& operator=(const PortLink&) = delete;

    // Links COM<com> to `target`, replacing an earlier link.
    bool link(int com, const std::string& target);
    std::string folder() const;

private:
    QTemporaryDir m_dir;
    QByteArray m_oldValue;
    bool m_hadValue = false;
};
