#pragma once
// The string table: every user-visible text of the program by its numeric id. The entries
// are the program's resources, installed at start-up; this is only the access.

#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>

namespace fw {

struct StringEntry {
    unsigned id;
    const char* text; // in the program's code page
};

// Installs the program's table, sorted by id, and the id of the application's title (the
// caption of its message boxes). Until then every text is empty.
void InstallStringTable(std::span<const StringEntry> table, unsigned appTitleId);

// The application's title, from the installed table.
std::string AppTitle();

// The text of `id`, or an empty string when the table has none.
std::string LoadString(unsigned id);

// The line `line` (0-based) of the text of `id`, split at "\n"; empty when there is none.
// Command strings hold the status prompt on line 0 and the tool tip on line 1.
std::string LoadStringLine(unsigned id, int line);

// The text of `id` with %1 to %9 replaced by `args` in order, each taken literally.
std::string FormatString(unsigned id, std::initializer_list<std::string_view> args);

} // namespace fw
