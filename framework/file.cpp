#include "framework/file.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fw {

File::~File() {
    abort();
}

void File::open(const std::string& path, unsigned mode) {
    abort();
    int flags = O_CLOEXEC;
    if ((mode & Read) && (mode & Write))
        flags |= O_RDWR;
    else if (mode & Write)
        flags |= O_WRONLY;
    else
        flags |= O_RDONLY;
    if ((mode & Create) && (mode & Write)) flags |= O_CREAT;
    if ((mode & Append) && (mode & Write)) flags |= O_APPEND;
    int fd;
    do {
        fd = ::open(path.c_str(), flags, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) throw FileError::FromErrno(errno, path);

    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        ::close(fd);
        throw FileError(FileError::Cause::IsDirectory, path, EISDIR);
    }
    if ((mode & Exclusive) && ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int err = errno;
        ::close(fd);
        throw FileError::FromErrno(err == EWOULDBLOCK ? EWOULDBLOCK : err, path);
    }
    // Truncate only once the lock is ours, so a file that another opener holds is never emptied.
    if ((mode & Create) && (mode & Write) && !(mode & Append) && S_ISREG(st.st_mode) &&
        ::ftruncate(fd, 0) != 0) {
        const int err = errno;
        ::close(fd);
        throw FileError::FromErrno(err, path);
    }
    m_fd = fd;
    m_path = path;
}

std::size_t File::read(void* buffer, std::size_t n) {
    for (;;) {
        const ssize_t got = ::read(m_fd, buffer, n);
        if (got >= 0) return static_cast<std::size_t>(got);
        if (errno != EINTR) throw FileError::FromErrno(errno, m_path);
    }
}

void File::readExactly(void* buffer, std::size_t n) {
    auto* p = static_cast<char*>(buffer);
    while (n > 0) {
        const std::size_t got = read(p, n);
        if (got == 0) throw FileError(FileError::Cause::EndOfFile, m_path);
        p += got;
        n -= got;
    }
}

void File::write(const void* data, std::size_t n) {
    const auto* p = static_cast<const char*>(data);
    while (n > 0) {
        const ssize_t put = ::write(m_fd, p, n);
        if (put < 0) {
            if (errno == EINTR) continue;
            throw FileError::FromErrno(errno, m_path);
        }
        if (put == 0) throw FileError(FileError::Cause::DiskFull, m_path, ENOSPC);
        p += put;
        n -= static_cast<std::size_t>(put);
    }
}

void File::flush() {
    if (::fsync(m_fd) != 0 && errno != EINVAL && errno != EROFS)
        throw FileError::FromErrno(errno, m_path);
}

void File::close() {
    if (m_fd < 0) return;
    const int fd = m_fd;
    m_fd = -1;
    if (::close(fd) != 0 && errno != EINTR) throw FileError::FromErrno(errno, m_path);
}

void File::abort() noexcept {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
}

std::int64_t File::length() const {
    struct stat st {};
    if (::fstat(m_fd, &st) != 0) throw FileError::FromErrno(errno, m_path);
    return static_cast<std::int64_t>(st.st_size);
}

} // namespace fw
