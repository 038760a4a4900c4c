#pragma once
// A port on another machine typed into Port Settings' Com Port field ("rfc2217://lab-pi:2001")
// becomes a COM number: the one the port map already gives that address, else the first free
// number from COM99 down, linked to it in the port map folder.

#include <optional>
#include <string>

struct TypedAddress {
    std::optional<int> port; // none: refused, `message` says why
    std::string message;     // what to tell the user; empty when the map already had it
};

TypedAddress TakeTypedAddress(const std::string& text);
