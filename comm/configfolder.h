#pragma once
// Where Wirelog keeps its configuration: the port map folder and the settings store live in
// this folder unless their own variables ($WIRELOG_PORTS, $WIRELOG_REGISTRY) say otherwise.
// The one rule for the program, its tools and its tests:
//
//   $XDG_CONFIG_HOME/wirelog  when XDG_CONFIG_HOME is an absolute path,
//   ~/.config/wirelog         otherwise (unset, empty or relative: a relative XDG_CONFIG_HOME
//                             is invalid and ignored, so every program agrees on the folder
//                             whatever its working folder is).
//
// The home folder is $HOME when set and not empty, else the password entry's.

#include <string>

namespace comm {

// The rule on given values (null for an unset variable). Empty when `xdgConfigHome` is not
// absolute and `home` is null or empty: no folder is known.
std::string ConfigFolderFor(const char* xdgConfigHome, const char* home);

// The rule on this process's environment. Empty when no home folder is known.
std::string ConfigFolder();

} // namespace comm
