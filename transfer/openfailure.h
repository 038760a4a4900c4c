#pragma once
// The box for a file that the dump, the log or the transmission cannot open.

#include "framework/msgbox.h"

namespace fw {
class FileError;
}

namespace transfer {

// "Failed to open file!" and, on a second line, the path and the system's reason, e.g.
// "/tmp/x.dmp is in use by another program."
std::string OpenFailureText(const fw::FileError& error);

// Shows that text with an OK button and `icon`.
void ShowOpenFailure(const fw::FileError& error, fw::Icon icon = fw::Icon::Default);

} // namespace transfer
