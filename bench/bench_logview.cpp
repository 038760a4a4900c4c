// The log view's model at its largest size, without a widget: how long one trim of the oldest
// quarter holds the window, and how the find bar's count walks the whole text in bounded
// steps (the longest step is what the window waits for).
//
//   bench_logview           a 256 MB screen (WIRELOG_BENCH_SCREEN_MB to change it)

#include "terminal/findtext.h"
#include "terminal/screenmodel.h"
#include "terminal/screentrim.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

// The bytes the find bar looks at in one step of its count.
constexpr std::size_t kFindStep = std::size_t{1} << 20;

double MsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

// A boot log's kind of text: lines of 60-odd bytes, each with a few words to find.
std::string LogText(std::size_t bytes) {
    const std::string line = "[  12.345678] usb 1-1: new high-speed USB device number 7\r\n";
    std::string text;
    text.reserve(bytes);
    while (text.size() + line.size() <= bytes)
        text += line;
    text.resize(bytes, 'x');
    return text;
}

} // namespace

int main() {
    const char* mb = std::getenv("WIRELOG_BENCH_SCREEN_MB");
    const std::size_t sizeKB = std::clamp<std::size_t>((mb ? std::strtoul(mb, nullptr, 10) : 256) * 1024,
                                                       terminal::kSmallestScreenKB, terminal::kLargestScreenKB);
    terminal::ScreenModel screen;
    screen.setSizeKB(sizeKB);
    screen.text().setText(LogText(sizeKB * 1024));
    const std::size_t cut = terminal::TrimBeforeAdding(screen.length() + 1, sizeKB);
    auto start = std::chrono::steady_clock::now();
    screen.text().trimFront(cut);
    const double trimMs = MsSince(start);

    // The count of a word on every line, and of one found nowhere, step by step.
    double longest = 0, total = 0;
    std::size_t count = 0;
    for (const char* word : {"usb", "nowhere"}) {
        terminal::MatchList list;
        list.reset(word, false);
        for (bool done = false; !done;) {
            start = std::chrono::steady_clock::now();
            done = list.update(screen.text().text(), 0, screen.length(), kFindStep);
            const double step = MsSince(start);
            longest = std::max(longest, step);
            total += step;
        }
        count += list.count();
    }
    std::printf("screen %zu MB: one trim of %zu MB holds the window %.1f ms (target 20)\n",
                sizeKB / 1024, cut >> 20, trimMs);
    std::printf("find count over %zu MB, twice: %.0f ms in all, longest step %.1f ms, %zu matches listed\n",
                screen.length() >> 20, total, longest, count);
    return 0;
}
