#include "framework/keystate.h"

#include <QGuiApplication>

#include <X11/XKBlib.h>

namespace fw {
namespace {

unsigned g_state = 0;
bool g_stale = true;

Display* XDisplay() {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->display() : nullptr;
}

unsigned ReadIndicatorBit(Display* display, const char* name) {
    const Atom atom = XInternAtom(display, name, True);
    if (atom == None) return 0;
    Bool on = False;
    return XkbGetNamedIndicator(display, atom, nullptr, &on, nullptr, nullptr) && on ? 1u : 0u;
}

void Refresh() {
    g_stale = false;
    g_state = 0;
    Display* display = XDisplay();
    if (!display) return;
    g_state = ReadIndicatorBit(display, "Caps Lock") | ReadIndicatorBit(display, "Num Lock") << 1 |
              ReadIndicatorBit(display, "Scroll Lock") << 2;
}

} // namespace

void InvalidateLockKeys() {
    g_stale = true;
}

bool IsLockOn(LockKey key) {
    if (g_stale) Refresh();
    return (g_state >> static_cast<unsigned>(key)) & 1u;
}

} // namespace fw
