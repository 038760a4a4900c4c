#include "comm/errormarks.h"

namespace comm {

void ErrorMarkDecoder::decode(const char* in, std::size_t n, std::string& out,
                              std::vector<MarkEvent>& events) {
    constexpr char kMark = '\xFF';
    for (std::size_t i = 0; i < n; ++i) {
        const char c = in[i];
        switch (m_state) {
        case 0:
            if (c == kMark)
                m_state = 1;
            else
                out += c;
            break;
        case 1:
            if (c == kMark) {
                out += kMark; // a doubled 0xFF is one data byte
                m_state = 0;
            } else if (c == '\0') {
                m_state = 2;
            } else {
                // Not a mark the line discipline makes: keep both bytes as data.
                out += kMark;
                out += c;
                m_state = 0;
            }
            break;
        default:
            if (c == '\0') {
                events.push_back({MarkEvent::Break, out.size(), 0});
            } else {
                events.push_back({MarkEvent::BadByte, out.size(), static_cast<unsigned char>(c)});
                out += c;
            }
            m_state = 0;
            break;
        }
    }
}

} // namespace comm
