#include "app/terminalapp.h"

#include "app/aboutdlg.h"
#include "app/buildinfo.h"
#include "app/launch.h"
#include "app/splashdlg.h"
#include "framework/application.h"
#include "mainframe/mainframe.h"
#include "res/resource.h"
#include "res/strings.h"
#include "settings/registrystore.h"

#include <QApplication>
#include <QGuiApplication>
#include <QPointer>
#include <QScreen>

#include <algorithm>
#include <csignal>
#include <cstdio>

CTerminalApp theApp;

namespace {

bool g_splashEnabled = true;
constexpr const char* kProfileRoot = "HKEY_CURRENT_USER\\Software\\";

} // namespace

void CTerminalApp::SetSplashEnabled(bool enabled) {
    g_splashEnabled = enabled;
}

int CTerminalApp::Run(int argc, char** argv) {
    // Failures to write a pipe or past a file-size limit are reported as errors of the call
    // that met them, not by ending the process.
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN);
    fw::PrepareEventDispatcher();
    res::InstallStrings();

    // Read before any display is needed: --help and --version work without one, and a bad
    // value ends the program before a window opens or the settings store is touched.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    m_commandLine = app::ParseCommandLine(arguments);
    std::string error;
    switch (m_commandLine.action) {
    case app::CommandLine::Action::Help:
    case app::CommandLine::Action::Version:
        std::fputs(m_commandLine.text.c_str(), stdout);
        return 0;
    case app::CommandLine::Action::Fail:
        std::fprintf(stderr, "%s\n", m_commandLine.text.c_str());
        return app::kBadUsage;
    case app::CommandLine::Action::Run:
        if (!app::PrepareCommandLine(m_commandLine, error)) {
            std::fprintf(stderr, "%s\n", error.c_str());
            return app::kBadUsage;
        }
        break;
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Wirelog"));
    QApplication::setApplicationVersion(QStringLiteral(WIRELOG_VERSION));
    // Lets the desktop match the window with its launcher entry and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral(WIRELOG_APP_ID));
    // The program ends when its main window is gone, not when the last window closes.
    QApplication::setQuitOnLastWindowClosed(false);

    if (!InitInstance()) return 1;
    const int code = QApplication::exec();
    delete fw::MainWindow();
    return code;
}

bool CTerminalApp::InitInstance() {
    fw::SetAppCommandRoute(&CTerminalApp::RouteCommand);
    SetRegistryKey("K-W");
    LoadStdProfileSettings(4);

    auto* frame = new CMainFrame;
    if (!frame->LoadFrame()) {
        delete frame;
        return false;
    }
    fw::SetMainWindow(frame);
    // The platform's default for a new main window: a good part of the screen, not the few
    // hundred pixels its children would ask for.
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        frame->resize(std::max(640, area.width() * 2 / 3), std::max(480, area.height() * 2 / 3));
        frame->move(area.topLeft() + QPoint(area.width() / 8, area.height() / 8));
    }
    app::ApplyCommandLine(*frame, m_commandLine);
    const QPointer<CMainFrame> shown(frame);
    frame->show();
    frame->repaint();

    if (g_splashEnabled) {
        CSplashDlg splash(nullptr);
        splash.DoModal();
    }
    // The window may have been closed while the splash was up.
    if (shown && !shown->IsClosed()) app::StartCommandLine(*shown, m_commandLine);
    return true;
}

void CTerminalApp::OnAppAbout() {
    CAboutDlg about;
    about.DoModal();
}

bool CTerminalApp::RouteCommand(unsigned id, bool run) {
    switch (id) {
    case ID_APP_ABOUT:
        if (run) theApp.OnAppAbout();
        return true;
    case ID_APP_EXIT:
        if (run && fw::MainWindow()) fw::MainWindow()->close();
        return true;
    default:
        return false;
    }
}

std::string CTerminalApp::ProfileKey() const {
    return std::string(kProfileRoot) + m_registryKey + "\\Wirelog\\Recent File List";
}

void CTerminalApp::LoadStdProfileSettings(int maxRecentFiles) {
    m_maxRecentFiles = maxRecentFiles;
    m_recentFiles.clear();
    settings::RegKey key;
    if (settings::OpenKey(ProfileKey(), key) != settings::RegStatus::Ok) return;
    for (int i = 1; i <= m_maxRecentFiles; ++i) {
        char buffer[4096] = {};
        std::uint32_t size = sizeof buffer - 1;
        std::uint32_t type = 0;
        const std::string name = "File" + std::to_string(i);
        if (settings::QueryValue(key, name, &type, buffer, &size) == settings::RegStatus::Ok)
            m_recentFiles.emplace_back(buffer, size);
    }
    settings::CloseKey(key);
}
