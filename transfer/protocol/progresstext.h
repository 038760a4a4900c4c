#pragma once
// The words a file transfer is shown with: its progress in the status bar and the one line
// the log view and the text log get for it. Pure functions.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace protocol {

// 11,520 bytes a second -> "11.2 KB/s" (a KB is 1,024 bytes); under 1 KB/s: "800 B/s".
std::string RateText(double bytesPerSecond);

// "Sending NAME: 37 % (123,456 of 333,333 bytes), 11.2 KB/s"; with no total known
// "Receiving NAME: 123,456 bytes, 11.2 KB/s". A 0-byte file counts as 100 %.
std::string ProgressText(bool sending, std::string_view name, std::uint64_t done,
                         std::optional<std::uint64_t> total, double bytesPerSecond);

// One file as the summary names it.
struct MovedFile {
    std::string name;
    std::uint64_t bytes = 0;
    bool skipped = false; // the user kept the file that was there
};

// "YMODEM sent a.bin (1,024 bytes), b.bin (2 bytes)."; "XMODEM received x.bin (128 bytes)."
// With `failure` the transfer ended early: "YMODEM sending stopped: TEXT" followed by what
// had gone through completely ("Complete: a.bin (1,024 bytes).").
std::string TransferSummary(std::string_view protocol, bool sending,
                            const std::vector<MovedFile>& files, std::string_view failure);

} // namespace protocol
