#pragma once
// Where a received file goes on disk. The engines hand over names and bytes unchecked; this
// helper decides whether a name may be used and writes the bytes so that nothing already on
// disk is lost: the file is written as NAME.part and takes its name only when it is
// complete. A file that fails midway (a full disk, a cancelled or broken transfer) stays as
// NAME.part, and the texts say so. Plain POSIX, no Qt.

#include <cstdint>
#include <string>
#include <string_view>

namespace protocol {

// A name a sender gave, checked: `name` is what to use inside the folder (a name longer than
// a file system takes is shortened, keeping its extension); or `error` says why it is
// refused (empty, ".", "..", or a '/' that would leave the folder).
struct NameCheck {
    std::string name;
    std::string error;
};
NameCheck CheckReceivedName(std::string_view sent);

class ReceivingFile {
public:
    ReceivingFile() = default;
    ~ReceivingFile();
    ReceivingFile(const ReceivingFile&) = delete;
    ReceivingFile& operator=(const ReceivingFile&) = delete;

    // Creates a new partial file for `folder`/`name` (a name checked above), never touching a
    // file that exists. With `stripPadding` trailing 0x1A bytes are left out of the file.
    // False with error() when it cannot be created.
    bool open(const std::string& folder, const std::string& name, bool stripPadding = false);
    // Appends; false with error() (the partial file kept, closed) when the disk refuses.
    bool write(std::string_view data);
    // Completes the file: it takes its final name, replacing a file there (the caller has
    // asked). False with error() when the rename fails (the partial file kept).
    bool finish();
    // Ends an unfinished file: closes it and keeps the part; the text says where.
    std::string abandon();

    const std::string& error() const { return m_error; }
    const std::string& partPath() const { return m_part; }
    const std::string& finalPath() const { return m_final; }
    std::uint64_t written() const { return m_written; }
    bool isOpen() const { return m_fd >= 0; }

private:
    bool flushHeld();
    bool writeRaw(std::string_view data);
    std::string keptText() const;
    void close();

    int m_fd = -1;
    bool m_strip = false;
    std::uint64_t m_held = 0; // 0x1A bytes not yet written: they may be the padding
    std::uint64_t m_written = 0;
    std::string m_part, m_final, m_name, m_error;
};

} // namespace protocol
