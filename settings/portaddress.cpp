#include "settings/portaddress.h"

#include "comm/netaddress.h"
#include "comm/portmap.h"

TypedAddress TakeTypedAddress(const std::string& text) {
    TypedAddress t;
    comm::NetAddress address;
    if (const comm::Status st = comm::ParseNetAddress(text, address); !st) {
        t.message = st.description;
        return t;
    }
    const std::string normal = address.text();
    if (const int known = comm::PortForAddress(normal)) {
        t.port = known;
        return t;
    }
    const int free = comm::FreeLinkPort();
    if (free == 0) {
        t.message = normal + " cannot be given a COM number: COM1 to COM99 are all taken in " +
                    comm::PortMapFolder() + ".";
        return t;
    }
    if (const comm::Status st = comm::LinkAddress(free, normal); !st) {
        t.message = st.description;
        return t;
    }
    t.port = free;
    t.message = normal + " is now COM" + std::to_string(free) + " (linked in " +
                comm::PortMapFolder() + ").";
    return t;
}
