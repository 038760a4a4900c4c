#include "framework/application.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QPointer>
#include <QThread>
#include <QTimer>
#include <QWidget>

#include <cstdlib>
#include <map>
#include <utility>

namespace fw {
namespace {

QPointer<QWidget> g_mainWindow;
bool g_quit = false;
int g_idleSuspended = 0;
std::map<const void*, std::function<void()>> g_idleHooks;
QMetaObject::Connection g_idleConnection;
bool g_inIdle = false;
int g_waitLevel = -1; // event loop level of the wait in progress, -1 when none

int LoopLevel() {
    return QThread::currentThread()->loopLevel();
}

void RunIdleHooks() {
    if (g_idleSuspended > 0 || g_inIdle) return;
    // A wait's own pass is no idle time; a loop nested in what it dispatches is.
    if (g_waitLevel >= 0 && LoopLevel() == g_waitLevel) return;
    g_inIdle = true;
    // A hook may add or remove hooks: walk a copy.
    const auto hooks = g_idleHooks;
    for (const auto& [owner, hook] : hooks)
        hook();
    g_inIdle = false;
}

void ConnectIdle() {
    if (g_idleConnection) return;
    auto* dispatcher = QAbstractEventDispatcher::instance();
    if (!dispatcher) return;
    g_idleConnection =
        QObject::connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, &RunIdleHooks);
}

} // namespace

QWidget* MainWindow() {
    return g_mainWindow.data();
}
void SetMainWindow(QWidget* window) {
    g_mainWindow = window;
}

void PrepareEventDispatcher() {
    ::setenv("QT_NO_GLIB", "1", 1);
}

bool DispatchPending() {
    auto* dispatcher = QAbstractEventDispatcher::instance();
    if (!dispatcher) return false;
    return dispatcher->processEvents(QEventLoop::AllEvents);
}

void WaitForEvents(int maxMs) {
    auto* dispatcher = QAbstractEventDispatcher::instance();
    if (!dispatcher) return;
    const int outer = std::exchange(g_waitLevel, LoopLevel());
    QTimer bound; // the dispatcher sleeps at most until its next timer
    bound.setSingleShot(true);
    bound.start(maxMs);
    dispatcher->processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    g_waitLevel = outer;
}

void WakeWaiter() {
    if (auto* dispatcher = QAbstractEventDispatcher::instance()) dispatcher->wakeUp();
}

namespace {
AppCommandRoute g_appCommandRoute = nullptr;
} // namespace

void SetAppCommandRoute(AppCommandRoute route) {
    g_appCommandRoute = route;
}

bool RouteAppCommand(unsigned id, bool run) {
    return g_appCommandRoute && g_appCommandRoute(id, run);
}

void RequestQuit() {
    g_quit = true;
    QCoreApplication::quit();
}
bool QuitRequested() {
    return g_quit;
}
void ResetQuitForTests() {
    g_quit = false;
}

void SetIdleHook(const void* owner, std::function<void()> hook) {
    if (hook) {
        g_idleHooks[owner] = std::move(hook);
        ConnectIdle();
    } else {
        g_idleHooks.erase(owner);
    }
}

IdleSuspender::IdleSuspender() {
    ++g_idleSuspended;
}
IdleSuspender::~IdleSuspender() {
    --g_idleSuspended;
}

} // namespace fw
