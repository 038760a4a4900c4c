// The receiving side of the block protocols under random bytes and ticks. Whatever arrives,
// the receiver keeps its promises: files begin before their data and end once, a YMODEM file
// never gets more than its header announced, progress counts exactly the data handed out,
// the end comes once and nothing follows it; and a name it hands out is made safe before use.
//
// Input: byte 0 picks XMODEM or YMODEM; then steps, each opened by a byte that picks the
// operation: bytes from the line, time passing, or Cancel.

#include "tests/fuzz/fuzzcheck.h"
#include "transfer/protocol/receiver.h"
#include "transfer/protocol/receivingfile.h"

#include <cstdint>
#include <string>

namespace {

struct Watch {
    bool inFile = false, ended = false;
    std::uint64_t data = 0;
    std::optional<std::uint64_t> size;

    void take(const protocol::Events& events) {
        using K = protocol::Event::Kind;
        for (const protocol::Event& e : events) {
            FUZZ_CHECK(!ended);
            switch (e.kind) {
            case K::Send: FUZZ_CHECK(!e.bytes.empty()); break;
            case K::FileBegin:
                FUZZ_CHECK(!inFile);
                inFile = true;
                data = 0;
                size = e.file.size;
                CheckName(e.file.name);
                break;
            case K::Data:
                FUZZ_CHECK(inFile && !e.bytes.empty());
                data += e.bytes.size();
                if (size) FUZZ_CHECK(data <= *size);
                break;
            case K::Progress: FUZZ_CHECK(inFile && e.done == data); break;
            case K::FileEnd:
                FUZZ_CHECK(inFile && e.done == data);
                inFile = false;
                break;
            case K::Done: FUZZ_CHECK(!inFile); ended = true; break;
            case K::Failed: FUZZ_CHECK(!e.text.empty()); ended = true; break;
            }
        }
    }

    static void CheckName(const std::string& sent) {
        const protocol::NameCheck check = protocol::CheckReceivedName(sent);
        FUZZ_CHECK(check.name.empty() != check.error.empty());
        FUZZ_CHECK(check.name.find('/') == std::string::npos);
        FUZZ_CHECK(check.name != "." && check.name != "..");
        FUZZ_CHECK(check.name.size() <= 246);
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    protocol::Receiver receiver({(data[0] & 1) != 0, (data[0] & 2) == 0}, 0);
    std::int64_t now = 0;
    Watch watch;
    watch.take(receiver.start(now));
    std::size_t at = 1;
    while (at < size) {
        const unsigned op = data[at++];
        if (op < 200) { // the next `op` bytes from the line
            const std::size_t len = std::min<std::size_t>(op, size - at);
            watch.take(receiver.receive(
                std::string_view(reinterpret_cast<const char*>(data + at), len), now));
            at += len;
        } else if (op < 254) { // time passes
            now += std::int64_t(op - 199) * 250;
            watch.take(receiver.tick(now));
        } else {
            watch.take(receiver.cancel());
        }
        FUZZ_CHECK(watch.ended == receiver.finished());
    }
    // A receiver left alone long enough always ends.
    for (int i = 0; i < 400 && !receiver.finished(); ++i) {
        now += 1000;
        watch.take(receiver.tick(now));
    }
    FUZZ_CHECK(receiver.finished());
    return 0;
}
