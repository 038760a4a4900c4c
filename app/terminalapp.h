#pragma once
// The application object: start-up, the About command, and the framework's own profile
// settings: a recent-file list, read from the current user's Software\<key>\Wirelog, that
// nothing shows or changes, so nothing is ever written back.

#include "app/commandline.h"

#include <string>
#include <vector>

class CMainFrame;

class CTerminalApp {
public:
    CTerminalApp() = default;

    // The entry point's work: makes the Qt application, runs InitInstance and the event loop.
    int Run(int argc, char** argv);

    // Creates, registers and shows the main window, then the splash screen. False when the
    // main window could not be made; the program then ends.
    bool InitInstance();

    void OnAppAbout();

    // The application's commands (About, and the framework's Exit). With `run` false only
    // tells whether a handler exists.
    static bool RouteCommand(unsigned id, bool run);

    void SetRegistryKey(const std::string& key) { m_registryKey = key; }
    void LoadStdProfileSettings(int maxRecentFiles);
    const std::vector<std::string>& recentFiles() const { return m_recentFiles; }

    // Tests run without the splash screen's three seconds.
    static void SetSplashEnabled(bool enabled);

private:
    std::string ProfileKey() const;

    app::CommandLine m_commandLine; // read by Run, applied by InitInstance
    std::string m_registryKey;
    int m_maxRecentFiles = 0;
    std::vector<std::string> m_recentFiles;
};

// The one application object.
extern CTerminalApp theApp;
