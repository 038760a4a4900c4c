#pragma once
// Dialling a modem on the port with an AT command (the hang-up is the session's DTR pulse).

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace transfer {

// Shows `prompt` with `offered` as the value: the value confirmed, or none when cancelled.
using AskValue = std::function<std::optional<std::string>(const std::string& prompt,
                                                          const std::string& offered)>;

// Asks for the number (offering `lastNumber`, which keeps what is confirmed), then sends the
// dial string with it through `send` in one piece. Nothing happens when the prompt is
// cancelled.
void DialPhone(const std::function<void(std::string_view)>& send, std::string& lastNumber,
               const AskValue& ask);

// `format` with its "%s" replaced by `argument` taken literally ("%%" is a per cent sign).
std::string FormatWithArgument(std::string_view format, std::string_view argument);

} // namespace transfer
