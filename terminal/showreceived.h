#pragma once
// The receive road's last step: a chunk of received bytes to the dump, the text log and the
// screen, all stamped with one reading of the clock taken as the chunk arrives.

#include "terminal/render.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>

class CTermEdit;

namespace terminal {

// Where a chunk goes besides the screen; each is empty while nothing is open there.
struct ReceiveSinks {
    // Every byte as it came.
    std::function<void(std::string_view bytes)> dump;
    // The text as the text view shows it, after `erase` bytes erased at the end (characters
    // of the screen's character set, counted in bytes).
    std::function<void(std::string_view text, std::size_t erase, std::int64_t arrivedMs)> log;
};

// Trims the screen to its bound (terminal/screentrim.h, at the screen's size), then adds the chunk: as text (backspaces applied, line
// breaks as `breaks` says, which carries a CR over to the next chunk) or as hexadecimal.
void ShowReceived(CTermEdit& screen, std::string_view received, bool hexView, TextBreaks& breaks,
                  const ReceiveSinks& sinks);

} // namespace terminal
