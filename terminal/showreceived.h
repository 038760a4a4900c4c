#pragma once
// The receive road's step into the log view: a chunk of received bytes onto the screen, and
// the text that the text log writes of it.

#include "terminal/render.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

class CTermEdit;

namespace terminal {

// What the text log writes of a chunk: the text as the text view shows it, after `erase`
// characters erased at the end.
struct LogText {
    std::string text;
    std::size_t erase = 0;
};

// Trims the screen to its bound, then adds the chunk stamped `arrivedMs`: as text
// (backspaces applied, line breaks as `breaks` says, which carries a CR over to the next
// chunk) or as hexadecimal. With `log`, the text view's text is made (in the hexadecimal view
// too) and put there for the text log.
void ShowReceived(CTermEdit& screen, std::string_view received, bool hexView, TextBreaks& breaks,
                  std::int64_t arrivedMs, LogText* log);

} // namespace terminal
