#pragma once
// Result of every call of the serial control that can be refused. The control never throws;
// it answers with a Status whose description is a whole sentence fit to show a user.

#include <string>

namespace comm {

enum class ErrorCode {
    None = 0,
    InvalidPortNumber, // CommPort outside 1..99
    PortAlreadyOpen,   // an operation that needs the port closed
    PortNotOpen,       // an operation that needs the port open
    NoSuchDevice,      // no device behind the COM name
    PermissionDenied,  // the device exists but may not be opened
    PortInUse,         // another program (or control) holds the device
    NotASerialDevice,  // the path is not a terminal device
    SettingsRefused,   // the device would not take the line settings
    InvalidSettings,   // malformed Settings text
    InvalidValue,      // a property value out of its range
    DeviceLost,        // the device went away while open
    DeviceError,       // any other system error, sysErrno tells
};

struct Status {
    ErrorCode code = ErrorCode::None;
    int sysErrno = 0;        // errno of the failing system call, 0 when none
    std::string description; // empty exactly when ok()

    bool ok() const { return code == ErrorCode::None; }
    explicit operator bool() const { return ok(); }

    static Status success() { return {}; }
    static Status failure(ErrorCode c, std::string text, int err = 0) {
        return Status{c, err, std::move(text)};
    }
};

} // namespace comm
