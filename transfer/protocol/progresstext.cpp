#include "transfer/protocol/progresstext.h"

#include "transfer/protocol/blocks.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace protocol {
namespace {

std::string OneDecimal(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", std::floor(value * 10.0) / 10.0);
    return text;
}

std::string FileList(const std::vector<MovedFile>& files) {
    std::string text;
    for (const MovedFile& f : files) {
        if (!text.empty()) text += ", ";
        text += f.name + " (" + (f.skipped ? std::string("kept the file that was there")
                                           : GroupDigits(f.bytes) + " bytes") + ")";
    }
    return text;
}

} // namespace

std::string RateText(double bytesPerSecond) {
    if (!(bytesPerSecond > 0)) return "0 B/s";
    if (bytesPerSecond < 1024) return std::to_string(std::llround(bytesPerSecond)) + " B/s";
    if (bytesPerSecond < 1024.0 * 1024) return OneDecimal(bytesPerSecond / 1024) + " KB/s";
    return OneDecimal(bytesPerSecond / (1024.0 * 1024)) + " MB/s";
}

std::string ProgressText(bool sending, std::string_view name, std::uint64_t done,
                         std::optional<std::uint64_t> total, double bytesPerSecond) {
    std::string text = sending ? "Sending " : "Receiving ";
    text += std::string(name) + ": ";
    if (total) {
        // Never 100 % before the last byte: the share is rounded down.
        const std::uint64_t percent =
            *total == 0 ? 100 : std::min<std::uint64_t>(done, *total) * 100 / *total;
        text += std::to_string(percent) + " % (" + GroupDigits(done) + " of " +
                GroupDigits(*total) + " bytes)";
    } else {
        text += GroupDigits(done) + " bytes";
    }
    return text + ", " + RateText(bytesPerSecond);
}

std::string TransferSummary(std::string_view protocol, bool sending,
                            const std::vector<MovedFile>& files, std::string_view failure) {
    std::string text(protocol);
    if (failure.empty()) {
        text += sending ? " sent " : " received ";
        return text + (files.empty() ? std::string("no files") : FileList(files)) + ".";
    }
    text += sending ? " sending stopped: " : " receiving stopped: ";
    text += failure;
    if (!files.empty()) text += " Complete: " + FileList(files) + ".";
    return text;
}

} // namespace protocol
