#include "transfer/protocol/receivingfile.h"
#include "transfer/protocol/blocks.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace protocol {

namespace {

// Room for the longest name a Linux file system takes, with ".part" and a counter added.
constexpr std::size_t kLongestName = 255 - 9;

// Cuts `text` to at most `max` bytes without splitting a UTF-8 sequence.
std::string_view CutUtf8(std::string_view text, std::size_t max) {
    if (text.size() <= max) return text;
    std::size_t end = max;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
        --end;
    return text.substr(0, end);
}

} // namespace

NameCheck CheckReceivedName(std::string_view sent) {
    const std::string quoted = "\"" + std::string(CutUtf8(sent, 80)) + "\"";
    if (sent.empty() || sent == "." || sent == "..")
        return {{}, "The sender gave no usable file name (" + quoted + "); the file was refused."};
    if (sent.find('/') != std::string_view::npos)
        return {{}, "The name the sender gave, " + quoted +
                        ", would leave the folder; the file was refused."};
    if (sent.size() <= kLongestName) return {std::string(sent), {}};
    std::size_t dot = sent.rfind('.');
    if (dot == std::string_view::npos || dot == 0 || sent.size() - dot > 16) dot = sent.size();
    const std::string_view ext = sent.substr(dot);
    return {std::string(CutUtf8(sent.substr(0, dot), kLongestName - ext.size())) + std::string(ext),
            {}};
}

ReceivingFile::~ReceivingFile() {
    close();
}

bool ReceivingFile::open(const std::string& folder, const std::string& name, bool stripPadding) {
    close();
    m_name = name;
    m_final = folder + "/" + name;
    m_strip = stripPadding;
    m_held = m_written = 0;
    m_error.clear();
    for (int n = 1; n < 100 && m_fd < 0; ++n) {
        m_part = m_final + (n == 1 ? std::string() : "." + std::to_string(n)) + ".part";
        m_fd = ::open(m_part.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (m_fd < 0 && errno != EEXIST) break;
    }
    if (m_fd < 0)
        m_error = m_part + " could not be created: " + std::strerror(errno) + ".";
    return m_fd >= 0;
}

bool ReceivingFile::write(std::string_view data) {
    if (m_fd < 0) return false;
    if (m_strip) {
        const std::size_t keep = data.find_last_not_of(char(kSub));
        if (keep == std::string_view::npos) {
            m_held += data.size();
            return true;
        }
        if (!flushHeld()) return false;
        m_held = data.size() - keep - 1;
        data = data.substr(0, keep + 1);
    }
    return writeRaw(data);
}

bool ReceivingFile::writeRaw(std::string_view data) {
    while (!data.empty()) {
        const ssize_t n = ::write(m_fd, data.data(), data.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            m_error = m_name + " could not be written: " + std::strerror(n < 0 ? errno : ENOSPC) +
                      ". " + keptText();
            close();
            return false;
        }
        m_written += std::uint64_t(n);
        data.remove_prefix(std::size_t(n));
    }
    return true;
}

bool ReceivingFile::flushHeld() {
    const std::uint64_t held = m_held;
    m_held = 0;
    bool ok = true;
    const std::string subs(1024, char(kSub));
    for (std::uint64_t left = held; ok && left; left -= std::min<std::uint64_t>(left, 1024))
        ok = writeRaw(std::string_view(subs).substr(0, std::min<std::uint64_t>(left, 1024)));
    return ok;
}

bool ReceivingFile::finish() {
    if (m_fd < 0) return false;
    m_held = 0; // trailing padding, when stripping
    if (::fsync(m_fd) != 0 && errno != EINVAL) {
        m_error = m_name + " could not be written: " + std::strerror(errno) + ". " + keptText();
        close();
        return false;
    }
    close();
    if (std::rename(m_part.c_str(), m_final.c_str()) != 0) {
        m_error = m_final + " could not be made: " + std::strerror(errno) + ". " + keptText();
        return false;
    }
    return true;
}

std::string ReceivingFile::abandon() {
    if (m_fd < 0 && m_part.empty()) return {};
    if (m_fd >= 0) flushHeld();
    close();
    return keptText();
}

std::string ReceivingFile::keptText() const {
    return "The " + GroupDigits(m_written) + " bytes received are kept in " + m_part + ".";
}

void ReceivingFile::close() {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
}

} // namespace protocol
