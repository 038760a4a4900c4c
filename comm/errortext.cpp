#include "comm/errortext.h"

#include <cstring>
#include <string>

namespace comm {

namespace {

struct Row {
    Message message;
    ErrorCode code;
    const char* text;
    bool systemText; // append ": <strerror>." when an errno is given
};

constexpr Row kTable[] = {
    {Message::UnmappedPort, ErrorCode::NoSuchDevice,
     "%1 has no device. Link one into the port map folder, for example with:\n"
     "ln -s /dev/ttyUSB0 %2/%1",
     false},
    {Message::NoDevice, ErrorCode::NoSuchDevice,
     "%1 does not exist. Check that the device is connected.", false},
    {Message::NoPermission, ErrorCode::PermissionDenied,
     "%1 may not be opened: permission denied. Add the user to the dialout group, e.g. sudo "
     "usermod -aG dialout $USER, then log in again.",
     false},
    {Message::InUse, ErrorCode::PortInUse, "%1 is in use by another program.", false},
    {Message::NotATty, ErrorCode::NotASerialDevice, "%1 is not a serial device.", false},
    {Message::SettingsRefused, ErrorCode::SettingsRefused,
     "%1 does not accept the settings %2 with handshaking %3", true},
    {Message::BadSettings, ErrorCode::InvalidSettings, "Settings \"%1\" is not valid: %2.", false},
    {Message::BadPortNumber, ErrorCode::InvalidPortNumber,
     "CommPort %1 is not valid: the port number must be from 1 to 99.", false},
    {Message::BadValue, ErrorCode::InvalidValue, "%1 %2 is not valid: it must be from %3 to %4.",
     false},
    {Message::AlreadyOpen, ErrorCode::PortAlreadyOpen, "%1 is already open.", false},
    {Message::ChangeWhileOpen, ErrorCode::PortAlreadyOpen,
     "%2 cannot change while %1 is open; close the port first.", false},
    {Message::NotOpen, ErrorCode::PortNotOpen, "%1 is not open; open the port first.", false},
    {Message::Gone, ErrorCode::DeviceLost, "%1 has gone away; the port has been closed.", false},
    {Message::SystemError, ErrorCode::DeviceError, "%1 could not %2", true},
    {Message::BadAddress, ErrorCode::InvalidValue, "%1 cannot be opened. %2", false},
    {Message::UnknownHost, ErrorCode::NoSuchDevice,
     "%1 cannot be opened: the host name %2 is not known (%3).", false},
    {Message::NoAnswer, ErrorCode::DeviceError,
     "%1 cannot be opened: %2 did not answer within 5 seconds.", false},
    {Message::ConnectFailed, ErrorCode::DeviceError, "%1 could not connect to %2", true},
};

std::string Substitute(const char* text, std::initializer_list<std::string_view> args) {
    std::string out;
    for (const char* p = text; *p; ++p) {
        const auto index = static_cast<std::size_t>(p[1] - '1');
        if (*p == '%' && p[1] >= '1' && p[1] <= '9' && index < args.size()) {
            out += *(args.begin() + index);
            ++p;
        } else {
            out += *p;
        }
    }
    return out;
}

} // namespace

Status Fail(Message m, std::initializer_list<std::string_view> args, int err) {
    for (const Row& row : kTable) {
        if (row.message != m) continue;
        std::string text = Substitute(row.text, args);
        if (row.systemText) {
            if (err != 0) {
                text += ": ";
                text += std::strerror(err);
            }
            text += '.';
        }
        return Status::failure(row.code, std::move(text), err);
    }
    return Status::failure(ErrorCode::DeviceError, "The serial port failed.", err);
}

} // namespace comm
