#include "framework/errors.h"

#include "framework/msgbox.h"

#include <cerrno>
#include <cstring>
#include <new>

namespace fw {
namespace {

struct CauseText {
    FileError::Cause cause;
    const char* text; // %1 stands for the path
};

constexpr CauseText kCauseTexts[] = {
    {FileError::Cause::Generic, "An unexpected error occurred while accessing %1."},
    {FileError::Cause::NotFound, "%1 was not found."},
    {FileError::Cause::BadPath, "%1 contains an incorrect path."},
    {FileError::Cause::TooManyOpen, "%1 could not be opened because too many files are open."},
    {FileError::Cause::AccessDenied, "Access to %1 was denied."},
    {FileError::Cause::IsDirectory, "%1 is a folder, not a file."},
    {FileError::Cause::Sharing, "%1 is in use by another program."},
    {FileError::Cause::DiskFull, "There is no space left for %1: the disk is full."},
    {FileError::Cause::HardIO, "A hardware input/output error occurred while accessing %1."},
    {FileError::Cause::EndOfFile, "An attempt was made to read %1 beyond its end."},
};

std::string CauseTemplate(FileError::Cause cause) {
    for (const auto& entry : kCauseTexts)
        if (entry.cause == cause) return entry.text;
    return kCauseTexts[0].text;
}

} // namespace

FileError::FileError(Cause cause, std::string path, int sysErrno)
    : m_cause(cause)
    , m_path(std::move(path))
    , m_errno(sysErrno) {
    m_message = CauseTemplate(m_cause);
    const auto at = m_message.find("%1");
    if (at != std::string::npos) m_message.replace(at, 2, m_path);
    if (m_cause == Cause::Generic && m_errno != 0) {
        m_message.pop_back(); // the full stop
        m_message += std::string(": ") + std::strerror(m_errno) + ".";
    }
}

FileError FileError::FromErrno(int err, std::string path) {
    switch (err) {
    case ENOENT:
        return {Cause::NotFound, std::move(path), err};
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP:
        return {Cause::BadPath, std::move(path), err};
    case EMFILE:
    case ENFILE:
        return {Cause::TooManyOpen, std::move(path), err};
    case EACCES:
    case EPERM:
    case EROFS:
        return {Cause::AccessDenied, std::move(path), err};
    case EISDIR:
        return {Cause::IsDirectory, std::move(path), err};
    case EWOULDBLOCK:
    case EBUSY:
    case ETXTBSY:
        return {Cause::Sharing, std::move(path), err};
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        return {Cause::DiskFull, std::move(path), err};
    case EIO:
        return {Cause::HardIO, std::move(path), err};
    default:
        return {Cause::Generic, std::move(path), err};
    }
}

std::string FileError::message() const {
    return m_message;
}

ControlError::ControlError(std::string description, int code, int sysErrno)
    : m_description(std::move(description))
    , m_code(code)
    , m_errno(sysErrno) {}

std::string ErrorText(std::exception_ptr error, Entry entry) {
    const std::string fallback =
        entry == Entry::MenuOrKeyCommand ? "Command failed." : "Internal application error.";
    try {
        std::rethrow_exception(error);
    } catch (const FileError& e) {
        return e.message();
    } catch (const ControlError& e) {
        if (!e.description().empty()) return e.description();
        if (e.sysErrno() != 0) return std::string(std::strerror(e.sysErrno())) + ".";
        return fallback;
    } catch (const std::bad_alloc&) {
        return "Out of memory.";
    } catch (...) {
        return fallback;
    }
}

void ReportError(std::exception_ptr error, Entry entry) noexcept {
    if (entry == Entry::ControlEvent) return;
    try {
        MessageBox(ErrorText(error, entry), Buttons::Ok, Icon::Stop);
    } catch (...) {
        // Nothing is left to report with; the program goes on.
    }
}

} // namespace fw
