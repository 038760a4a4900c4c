#include "transfer/modem.h"

#include "framework/stringtable.h"
#include "res/resource.h"

namespace transfer {

std::string FormatWithArgument(std::string_view format, std::string_view argument) {
    std::string out;
    out.reserve(format.size() + argument.size());
    bool used = false;
    for (std::size_t i = 0; i < format.size(); ++i) {
        if (format[i] == '%' && i + 1 < format.size()) {
            if (format[i + 1] == '%') {
                out.push_back('%');
                ++i;
                continue;
            }
            if (format[i + 1] == 's' && !used) {
                out.append(argument);
                used = true;
                ++i;
                continue;
            }
        }
        out.push_back(format[i]);
    }
    return out;
}

void DialPhone(const std::function<void(std::string_view)>& send, std::string& lastNumber,
               const AskValue& ask) {
    const auto number = ask(fw::LoadString(IDS_PHONE_NUMBER), lastNumber);
    if (!number) return;
    lastNumber = *number;
    send(FormatWithArgument(fw::LoadString(IDS_DIAL_STRING), lastNumber));
}

} // namespace transfer
