#pragma once
// The keyboard's lock keys, as the status bar's key indicators show them. Read from the X
// server when there is one (never under the offscreen platform), and cached: the frame marks
// the cache stale on key and focus events, and the next question reads the server again.

namespace fw {

enum class LockKey { Caps, Num, Scroll };

bool IsLockOn(LockKey key);
void InvalidateLockKeys();

} // namespace fw
