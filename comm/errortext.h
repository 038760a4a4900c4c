#pragma once
// Every description the control gives comes from one table: a message names its error code
// and its text, with %1, %2, ... standing for the arguments (the port first, where a port is
// involved). Rows that carry a system error end with its text.

#include "comm/status.h"

#include <initializer_list>
#include <string_view>

namespace comm {

enum class Message {
    UnmappedPort,    // %1 port name, %2 port map folder
    NoDevice,        // %1 port
    NoPermission,    // %1 port
    InUse,           // %1 port
    NotATty,         // %1 port
    SettingsRefused, // %1 port, %2 settings, %3 handshaking
    BadSettings,     // %1 text, %2 what is wrong
    BadPortNumber,   // %1 number
    BadValue,        // %1 property, %2 value, %3 lowest, %4 highest
    AlreadyOpen,     // %1 port
    ChangeWhileOpen, // %1 port, %2 property
    NotOpen,         // %1 port
    Gone,            // %1 port
    SystemError,     // %1 port, %2 what failed ("open the device")
    BadAddress,      // %1 port, %2 what is wrong with its address
    UnknownHost,     // %1 port, %2 host, %3 the resolver's words
    NoAnswer,        // %1 port, %2 host:port
    ConnectFailed,   // %1 port, %2 host:port
};

// A failed Status with the table's code and text; `err` is the errno of the failing call.
Status Fail(Message m, std::initializer_list<std::string_view> args, int err = 0);

} // namespace comm
