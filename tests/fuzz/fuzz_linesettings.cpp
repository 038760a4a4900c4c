// The Settings text both ways: the control's parser and normaliser, and the port dialog's
// reading of the same text at fixed places and its rebuilding.

#include "comm/linesettings.h"
#include "settings/portsettings.h"
#include "tests/fuzz/fuzzcheck.h"

#include <cstdint>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    comm::LineSettings parsed;
    const comm::Status status = comm::ParseSettings(text, parsed);
    if (status.ok()) {
        // What Settings reads back parses to the same line, and is already normal.
        const std::string normal = comm::FormatSettings(parsed);
        comm::LineSettings again;
        FUZZ_CHECK(comm::ParseSettings(normal, again).ok());
        FUZZ_CHECK(again == parsed);
        FUZZ_CHECK(comm::FormatSettings(again) == normal);
        FUZZ_CHECK(parsed.baud >= 1 && parsed.dataBits >= 5 && parsed.dataBits <= 8);
        for (std::int32_t h = comm::HandshakeNone; h <= comm::HandshakeXonRts; ++h) {
            const comm::TermiosFields t = comm::MakeTermios(parsed, h);
            FUZZ_CHECK(t.ispeed == parsed.baud && t.ospeed == parsed.baud);
        }
    } else {
        FUZZ_CHECK(!status.description.empty());
        FUZZ_CHECK(parsed == comm::LineSettings{}); // a refused text leaves the line alone
    }

    // The dialog copes with any text, however short, and its result always has four fields.
    const PortDialogValues start = StartValues(text, 1, 0, 0);
    FUZZ_CHECK(start.parity >= kNoSelection && start.parity <= 2);
    FUZZ_CHECK(start.baud >= kNoSelection && start.baud <= kOtherBaud);
    const std::string rebuilt = BuildSettings(start, text);
    std::size_t commas = 0;
    for (char c : rebuilt)
        commas += c == ',';
    FUZZ_CHECK(commas >= 3);
    if (status.ok() && text.find(',') != std::string_view::npos) {
        // Rebuilding what the control took keeps a text the control takes.
        comm::LineSettings roundTrip;
        const std::string fromNormal = BuildSettings(
            StartValues(comm::FormatSettings(parsed), 1, 0, 0), comm::FormatSettings(parsed));
        FUZZ_CHECK(comm::ParseSettings(fromNormal, roundTrip).ok());
        // OK without a change keeps the line as it was, whatever the buttons can show.
        FUZZ_CHECK(roundTrip == parsed);
    }
    if (const auto rate = ParseOtherBaud(text))
        FUZZ_CHECK(*rate >= kMinOtherBaud && *rate <= kMaxOtherBaud);
    (void)ParsePortNumber(text);
    return 0;
}
