#pragma once
// Sending a text file through the port, chunk by chunk, while the frame is disabled and a
// progress dialog offers Cancel.

#include "framework/types.h"

#include <functional>
#include <string>

class CCommCtrl;
class QWidget;

namespace transfer {

// What a transmission works with: the window it disables (and whose child the progress
// dialog is), the port, the cancel flag that the dialog and the pump watch, the pump that
// keeps the window alive between chunks, the message pane, and where the typing focus goes
// back to.
struct Transmission {
    QWidget& window;
    CCommCtrl& comm;
    Bool32& cancel;
    std::function<void()> pump;
    std::function<void(const std::string&)> status;
    std::function<void()> restoreFocus;
};

// Asks for a text file and sends it in chunks of the output buffer's size, each once the one
// before has gone out. The port may close under it (a line-error box's Cancel, the device
// gone): it then ends as if cancelled and the message pane says how much of the file got out.
void TransmitTextFile(const Transmission& t);

} // namespace transfer
