#include "terminal/screentrim.h"

namespace terminal {

std::size_t TrimBeforeAdding(std::size_t length, std::size_t sizeKB) {
    std::size_t above = 0x3FFF;
    std::size_t step = 0x1001;
    if (sizeKB > kSmallestScreenKB) {
        above = sizeKB * 1024;
        step = above / 4;
    }
    if (length <= above) return 0;
    // As many steps as it takes to come back to `above` or under.
    return (length - above + step - 1) / step * step;
}

} // namespace terminal
