#pragma once
// What the command line does to the program, in three steps:
//   PrepareCommandLine  before any window: a device path becomes a COM number (the map's, else
//                       a run-only one of COM97-COM99), a relative dump path becomes absolute
//                       and the dump file is tried. A refusal is one line for standard error;
//                       the program then ends with kBadUsage and has written nothing.
//   ApplyCommandLine    on the frame, after its stored settings are loaded: port, settings,
//                       handshaking, echo and hex view, kept like changes made in the window.
//                       --hex turns a stored local echo off and says so in the status bar.
//   StartCommandLine    once the window is up: the dump, then the port, each as its command
//                       does it, failures shown in its boxes.

#include "app/commandline.h"

#include <string>

class CMainFrame;

namespace app {

bool PrepareCommandLine(CommandLine& c, std::string& error);
void ApplyCommandLine(CMainFrame& frame, const CommandLine& c);
void StartCommandLine(CMainFrame& frame, const CommandLine& c);

} // namespace app
