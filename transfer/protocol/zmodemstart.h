#pragma once
// Notices a device that starts a ZMODEM send on its own: the request header it opens with
// ("**", CAN, "B00") arrives among ordinary received bytes, possibly split across reads.

#include <string>
#include <string_view>

namespace protocol {

class ZmodemStartDetector {
public:
    // Looks at the next received bytes; true when the request header is complete in them.
    bool feed(std::string_view bytes);
    void reset() { m_tail.clear(); }

private:
    std::string m_tail; // the end of what came so far that may begin the header
};

} // namespace protocol
