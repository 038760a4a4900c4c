#include "transfer/protocol/zmodemstart.h"

namespace protocol {

namespace {
constexpr std::string_view kRequest("**\x18" "B00", 6);
} // namespace

bool ZmodemStartDetector::feed(std::string_view bytes) {
    std::string seen = m_tail;
    seen.append(bytes);
    const bool found = seen.find(kRequest) != std::string::npos;
    // Keep the longest end of what came that is a beginning of the header.
    m_tail.clear();
    for (std::size_t n = std::min(seen.size(), kRequest.size() - 1); n > 0 && !found; --n) {
        if (std::string_view(seen).substr(seen.size() - n) == kRequest.substr(0, n)) {
            m_tail = seen.substr(seen.size() - n);
            break;
        }
    }
    return found;
}

} // namespace protocol
