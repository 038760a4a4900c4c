// Whatever a server sends: the Telnet client takes any bytes, cut into reads anywhere, with
// its settings changed in between. What comes out as data is never more than went in, its
// pending output stays bounded, and data sent after it goes out intact.

#include "comm/telnet.h"
#include "tests/fuzz/fuzzcheck.h"

#include <cstdint>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    // The first byte picks how the input is cut and whether COM port control is offered.
    const unsigned cut = data[0] % 16 + 1;
    comm::TelnetClient client(data[0] & 0x80);
    client.start();
    std::string_view in(reinterpret_cast<const char*>(data) + 1, size - 1);
    std::string out;
    std::size_t fed = 0;
    unsigned step = 0;
    while (!in.empty()) {
        const std::size_t n = std::min<std::size_t>(in.size(), cut);
        client.receive(in.substr(0, n), out);
        fed += n;
        in.remove_prefix(n);
        FUZZ_CHECK(out.size() <= fed);
        // The port's settings change now and then, as the user changes them.
        switch (++step % 5) {
        case 1: client.setLine(comm::LineSettings{step * 300u, 'e', 7, comm::StopBits::Two},
                               static_cast<std::int32_t>(step % 4)); break;
        case 2: client.setDTR(step & 8); break;
        case 3: client.setBreak(step & 16); break;
        default: break;
        }
        // Replies are bounded; commands of our own come on top, a few bytes each.
        FUZZ_CHECK(client.output().size() <= comm::TelnetClient::kMaxPendingReplies + 4096);
        if (step % 7 == 0) client.output().clear(); // the socket took it
    }
    client.output().clear();
    client.send("\xff" "a");
    FUZZ_CHECK(client.output() == "\xff\xff" "a");
    return 0;
}
