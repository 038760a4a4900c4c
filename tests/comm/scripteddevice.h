#pragma once
// A serial device for the control's tests: its far end is a socket the test writes marked
// input into and reads output from; its modem lines, counters, driver queue and refusals are
// whatever the test puts into the script, also while the control holds the device.

#include "comm/serialdevice.h"

#include <chrono>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

struct DeviceScript {
    ~DeviceScript();

    // Read by the device on every call.
    std::optional<comm::ModemLines> lines;
    std::optional<comm::LineCounters> counters;
    int outputQueue = 0;
    bool refuseSettings = false;

    // Written by the device.
    comm::LineSettings settings;
    std::int32_t handshaking = -1;
    bool dtr = false, rts = false;
    struct DtrChange {
        bool on;
        std::chrono::steady_clock::time_point at;
    };
    std::vector<DtrChange> dtrChanges; // every DTR setting in order, the one at open included
    int discards = 0;
    int opens = 0;

    int peer = -1; // far end of the device opened last

    bool send(std::string_view bytes) const; // as if received on the line
    std::string sent() const;                // what the control has written, without waiting
    void unplug();                           // closes the far end: the device reads 0
};

comm::DeviceOpener ScriptedOpener(std::shared_ptr<DeviceScript> script);
