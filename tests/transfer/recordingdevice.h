#pragma once
// A serial device for the transfer tests that keeps every write apart and every DTR change in
// order. It can hold each write in the "driver" until the test releases it, so that a test sees
// the program wait for an empty output buffer after each chunk. Its far end (`peer`) takes
// input for the control, error marks included.

#include "comm/serialdevice.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

struct DeviceRecord {
    ~DeviceRecord();

    std::vector<std::string> writes; // each write the control made, in order
    std::vector<bool> dtr;           // every DTR setting, in order, the one at open included
    bool holdEachWrite = false;      // after each write the driver reports unsent bytes...
    bool held = false;               // ...until the test clears this

    int peer = -1; // far end of the device opened last

    std::string wire() const;                // all writes joined
    bool send(std::string_view bytes) const; // as if received on the line
};

comm::DeviceOpener RecordingOpener(std::shared_ptr<DeviceRecord> record);
