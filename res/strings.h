#pragma once
// The program's texts: installed into the framework's string table at start-up, before any
// window or message box needs one.

namespace res {

void InstallStrings();

} // namespace res
