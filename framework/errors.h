#pragma once
// Errors travel as exceptions of this layer; every entry from the event loop into the
// program's code passes through Guard(), which reports them and lets nothing cross into Qt.
//   FileError     a file could not be opened, read, written, flushed or closed: cause + path
//   ControlError  the serial control refused a property access: its description and code
//   std::bad_alloc memory exhaustion

#include <exception>
#include <string>

namespace fw {

class FileError : public std::exception {
public:
    enum class Cause {
        Generic,
        NotFound,
        BadPath,
        TooManyOpen,
        AccessDenied,
        IsDirectory,
        Sharing,
        DiskFull,
        HardIO,
        EndOfFile,
    };

    FileError(Cause cause, std::string path, int sysErrno = 0);
    // The cause that fits an errno value of a failed call on `path`.
    static FileError FromErrno(int err, std::string path);

    Cause cause() const { return m_cause; }
    int sysErrno() const { return m_errno; }
    const std::string& path() const { return m_path; }

    // The cause's text with the path in place of %1, e.g. "/tmp/x.dmp was not found."
    std::string message() const;
    const char* what() const noexcept override { return m_message.c_str(); }

private:
    Cause m_cause;
    std::string m_path;
    int m_errno;
    std::string m_message;
};

class ControlError : public std::exception {
public:
    ControlError(std::string description, int code, int sysErrno = 0);
    const std::string& description() const { return m_description; }
    int code() const { return m_code; }
    int sysErrno() const { return m_errno; }
    const char* what() const noexcept override { return m_description.c_str(); }

private:
    std::string m_description;
    int m_code;
    int m_errno;
};

// Where an error arose decides how it is reported.
enum class Entry {
    MenuOrKeyCommand, // a stop box; "Command failed." when nothing better is known
    WindowMessage,    // a stop box; "Internal application error." when nothing better is known
    ControlEvent,     // dropped silently: the control's event dispatch swallows it
};

// The text that reports the exception in `error` for an entry of kind `entry`.
std::string ErrorText(std::exception_ptr error, Entry entry);

// Reports the exception in `error` as `entry` requires.
void ReportError(std::exception_ptr error, Entry entry) noexcept;

// Runs `body`; an exception that leaves it is reported and goes no further.
template <class Body> void Guard(Entry entry, Body&& body) noexcept {
    try {
        body();
    } catch (...) {
        ReportError(std::current_exception(), entry);
    }
}

} // namespace fw
