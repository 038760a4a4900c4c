#include "comm/configfolder.h"

#include <cstdlib>
#include <pwd.h>
#include <unistd.h>

namespace comm {

std::string ConfigFolderFor(const char* xdgConfigHome, const char* home) {
    if (xdgConfigHome && xdgConfigHome[0] == '/') return std::string(xdgConfigHome) + "/wirelog";
    if (!home || !*home) return {};
    return std::string(home) + "/.config/wirelog";
}

std::string ConfigFolder() {
    const char* home = std::getenv("HOME");
    if (!home || !*home) {
        const passwd* user = getpwuid(getuid());
        home = user ? user->pw_dir : nullptr;
    }
    return ConfigFolderFor(std::getenv("XDG_CONFIG_HOME"), home);
}

} // namespace comm
