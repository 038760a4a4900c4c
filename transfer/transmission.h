#pragma once
// Sending a text file through the port, chunk by chunk, while the frame is disabled and a
// progress dialog offers Cancel.

#include "framework/types.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

class QWidget;

namespace transfer {

// Where the file's bytes go: a queue in front of the port.
struct Outlet {
    std::function<bool()> open;                 // the port is open
    std::function<int()> chunkSize;             // bytes per chunk (the port's buffer)
    std::function<void(std::string_view)> send; // queues one chunk
    std::function<std::int64_t()> unsent;       // queued or in the port, not yet on the line
    std::function<void()> drop;                 // what is still queued is never sent
};

// What a transmission works with: the window it disables (and whose child the progress
// dialog is), the way out to the port, the cancel flag that the dialog and the pump watch, the pump that
// keeps the window alive between chunks, the message pane, and where the typing focus goes
// back to.
struct Transmission {
    QWidget& window;
    Outlet out;
    Bool32& cancel;
    std::function<void()> pump;
    std::function<void(const std::string&)> status;
    std::function<void()> restoreFocus;
};

// Asks for a text file and sends it in chunks of the output buffer's size, each once the one
// before has gone out; whatever way it ends, nothing of it stays queued. The port may close under it (a line-error box's Cancel, the device
// gone): it then ends as if cancelled and the message pane says how much of the file got out.
void TransmitTextFile(const Transmission& t);

} // namespace transfer
