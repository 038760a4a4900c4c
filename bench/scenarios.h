#pragma once
// One measurement each, run in a process of its own (so that peak memory is its own); each
// prints its figures as "name value" lines on standard output and returns the exit code.

#include "bench/stream.h"

#include <QApplication>

#include <cstdint>
#include <string>

namespace bench {

// `stream` is "text" or "random", `view` "text" or "hex".
int RunPlainReader(const char* stream);                    // baseline: reads the slave only
int RunFrameReceive(const char* stream, const char* view, // the frame shows and records a flood
                    const char* megabytes = nullptr);      // of this size (default as set)
int RunPaint();           // one paint of a full 1280x800 screen of text
int RunKeystrokes(bool terminal); // key event (log or terminal view) to byte on the wire,
                                  // and write(2) to byte as baseline
int RunSlowTransmit();    // transmission and close drain to a slow line
int RunPlainSlowWriter(); // baseline: blocking writes to the slow line
// The terminal view shown at rows x cols, fed a flood of coloured log lines through the frame
// with the dump on (the log view is fed in the background).
int RunFrameTerminal(int rows, int cols);

// Shared by the measurements.
struct App { // the application object, with a command line of its own
    int argc = 1;
    char name[16] = "bench_wirelog";
    char* argv[2] = {name, nullptr};
    QApplication app{argc, argv};
};
void Report(const char* key, double value); // one "name value" line
void Settle(int ms);                        // runs the event loop for `ms`
std::uint64_t FloodBytes();                 // WIRELOG_BENCH_MB, 10 MB by default
// The bytes of a recorded file that differ from the stream or are missing.
std::uint64_t CountLost(const std::string& path, Stream kind, std::uint64_t total);

} // namespace bench
