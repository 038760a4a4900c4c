#pragma once
// Driving a modem on the port: dialling with an AT command and hanging up with a DTR pulse.

#include <functional>
#include <optional>
#include <string>
#include <string_view>

class CCommCtrl;
class QObject;

namespace transfer {

// Shows `prompt` with `offered` as the value: the value confirmed, or none when cancelled.
using AskValue = std::function<std::optional<std::string>(const std::string& prompt,
                                                          const std::string& offered)>;

// Asks for the number (offering `lastNumber`, which keeps what is confirmed), then sends the
// dial string with it through `send` in one piece. Nothing happens when the prompt is
// cancelled.
void DialPhone(const std::function<void(std::string_view)>& send, std::string& lastNumber,
               const AskValue& ask);

// Pulses DTR: raises it, drops it, and puts DTREnable back as it was about a second later,
// from a timer, so that the window goes on working meanwhile. A Hang Up while the line is
// still down adds nothing. The pulse lives as a child of `owner`.
void HangUp(QObject& owner, CCommCtrl& comm);
// Ends a pulse still under way at once: DTREnable is as it was before the Hang Up (on the
// device too when the port is open). Closing the port or the window calls it, so that no
// restore lands later on a port that has been closed or opened again meanwhile.
void EndHangUp(QObject& owner);

// How long the hang-up holds DTR down: well beyond what a modem needs to notice (its S25
// register is counted in hundredths of a second).
inline constexpr int kHangUpMs = 1000;

// `format` with its "%s" replaced by `argument` taken literally ("%%" is a per cent sign).
std::string FormatWithArgument(std::string_view format, std::string_view argument);

} // namespace transfer
