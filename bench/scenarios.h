#pragma once
// One measurement each, run in a process of its own (so that peak memory is its own); each
// prints its figures as "name value" lines on standard output and returns the exit code.

namespace bench {

// `stream` is "text" or "random", `view` "text" or "hex".
int RunPlainReader(const char* stream);                    // baseline: reads the slave only
int RunFrameReceive(const char* stream, const char* view, // the frame shows and records a flood
                    const char* megabytes = nullptr);      // of this size (default as set)
int RunPaint();           // one paint of a full 1280x800 screen of text
int RunKeystrokes();      // key event to byte on the wire, and write(2) to byte as baseline
int RunSlowTransmit();    // transmission and close drain to a slow line
int RunPlainSlowWriter(); // baseline: blocking writes to the slow line

} // namespace bench
