#pragma once
// The program's own flags are 32-bit values: they are saved and loaded as they are held,
// so a stored 5 stays 5 (any non-zero value counts as set).

#include <cstdint>

using Bool32 = std::int32_t;
