// Linked into the test programs that show the program's texts: they are installed before the
// test starts, as start-up does for the program.

#include "res/strings.h"

namespace {

const bool g_installed = [] {
    res::InstallStrings();
    return true;
}();

} // namespace
