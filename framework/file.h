#pragma once
// An unbuffered file: every write is one system call (or as many as it takes to write all of
// it), nothing is held in the program. Every failure throws FileError with cause and path.

#include "framework/errors.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace fw {

class File {
public:
    enum Mode : unsigned {
        Read = 0x1,
        Write = 0x2,
        Create = 0x4,    // create when missing, truncate when present (with Write, unless Append)
        Exclusive = 0x8, // no other opener may hold it meanwhile (an exclusive lock)
        Append = 0x10,   // with Write|Create: keep what is there and write after it
    };

    File() = default;
    ~File(); // closes quietly
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    // `path` is the file system's own bytes. Throws FileError; on failure nothing is open.
    void open(const std::string& path, unsigned mode);
    bool isOpen() const { return m_fd >= 0; }
    const std::string& path() const { return m_path; }

    // Reads up to `n` bytes; returns how many (0 at the end).
    std::size_t read(void* buffer, std::size_t n);
    // Reads exactly `n` bytes or throws (EndOfFile when the file ends first).
    void readExactly(void* buffer, std::size_t n);
    // Writes all `n` bytes or throws; a short write counts as a full disk.
    void write(const void* data, std::size_t n);
    // Flushes what the system holds to the disk.
    void flush();
    // Closes; throws when the close reports an error, but the file is closed in every case.
    void close();
    // Closes and forgets any error.
    void abort() noexcept;

    std::int64_t length() const;

private:
    int m_fd = -1;
    std::string m_path;
};

} // namespace fw
