#pragma once
// The port settings dialog's arithmetic, apart from the dialog: start values from the
// control's Settings text, the port number check, and the new Settings text on OK.

#include "framework/types.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

struct PortDialogValues {
    int baud = 0;        // index: rate = 300 doubled `baud` times (0 = 300 .. 7 = 38400);
                         // kOtherBaud: `otherRate`
    int dataBits = 0;    // data bits - 7
    int echo = 0;        // local echo, 0 off, 1 on
    int flowControl = 0; // the control's Handshaking
    int parity = 0;      // 0 none, 1 odd, 2 even; -1 when the letter is none of these
    int stopBits = 0;    // stop bits - 1
    int port = 0;
    std::string portText;
    long otherRate = 0; // the rate of the "Other" button; 0 when it is not the one
};

// A group of the dialog's radio buttons that has no button selected holds -1.
inline constexpr int kNoSelection = -1;
// The baud group's ninth button, "Other", which carries any rate in its own field.
inline constexpr int kOtherBaud = 8;
inline constexpr long kMinOtherBaud = 50;
inline constexpr long kMaxOtherBaud = 4000000;

// The baud button whose rate is exactly `rate` (0 = 300 .. 7 = 38400); none for any other.
std::optional<int> BaudButton(long rate);

// The start values: the fields of `settings` are read at their fixed places after the first
// comma; a character that is missing there counts as unrecognised. A rate without a button of
// its own selects "Other" with that exact rate; a value a group cannot show (no rate, 5 or 6
// data bits, 1.5 stop bits, mark parity) selects nothing in that group.
PortDialogValues StartValues(std::string_view settings, short commPort, std::int32_t handshaking,
                             Bool32 echo);

// The port field read like "%d": blanks, a sign, digits; none when no number is there or it
// lies outside 1..99.
std::optional<int> ParsePortNumber(std::string_view text);

// The rate typed for "Other": a whole number from kMinOtherBaud to kMaxOtherBaud, blanks
// around it allowed; none for anything else ("", "1e6", "-300", "115200abc"). `opened`, the
// rate the dialog opened with, is taken as it is even outside that range, since the control
// took it.
std::optional<long> ParseOtherBaud(std::string_view text, long opened = 0);

// The new Settings text, "%d,%C,%d,%d": a group left without a selection keeps the field of
// `current` (the control's Settings text) as it is; "Other" gives `otherRate`.
std::string BuildSettings(const PortDialogValues& v, std::string_view current);
