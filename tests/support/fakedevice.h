#pragma once
// A serial device for tests, opened through FakeOpener. Its far end (`peer`) is a socket the
// test writes input into, error marks included (the device marks errors in-band). Every write
// the control makes is kept apart in `writes` and counts as sent whole; its modem lines,
// counters, driver queue and refusals are whatever the test puts here, also while the control
// holds the device. Qt-free: the control's tests need nothing of the program.

#include "comm/serialdevice.h"

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct FakeDevice {
    ~FakeDevice();

    // Read by the device on every call.
    std::optional<comm::ModemLines> lines;      // nullopt: no modem lines (as a pty)
    std::optional<comm::LineCounters> counters; // nullopt: no error counters
    int outputQueue = 0;        // bytes the "driver" still holds; discarding output empties it
    bool holdEachWrite = false; // each write stays in outputQueue until the test sets it to 0
    bool refuseSettings = false;

    // Written by the device.
    std::vector<std::string> writes; // each write the control made, in order
    comm::LineSettings settings;
    std::int32_t handshaking = -1;
    bool dtr = false, rts = false;
    struct DtrChange {
        bool on;
        std::chrono::steady_clock::time_point at;
    };
    std::vector<DtrChange> dtrChanges; // every DTR setting in order, the one at open included
    std::vector<bool> breaks;          // every break started (true) and ended (false), in order
    int discards = 0;
    int opens = 0;

    int peer = -1; // far end of the device opened last

    std::string wire() const;                // all writes joined
    bool send(std::string_view bytes) const; // as if received on the line
    void unplug();                           // closes the far end: the device reads 0
};

// Opens a new device over `device` on every open; refuses as the device's settings refusal
// says, with the error a real device gives.
comm::DeviceOpener FakeOpener(std::shared_ptr<FakeDevice> device);
