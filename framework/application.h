#pragma once
// The few application-wide services of the framework layer: the main window, the message
// pump used by long operations, the quit request, and the idle hook that runs command-state
// updates whenever the event loop is about to wait.
//
// Idle detection rests on Qt's Unix event dispatcher (QT_NO_GLIB=1, set before the
// application object exists): its aboutToBlock fires only when no event is queued, in nested
// dialog loops too, and never inside a non-blocking dispatch.

#include <functional>

class QWidget;

namespace fw {

// The application's main window: null until start-up registers it, and again once its
// window is gone.
QWidget* MainWindow();
void SetMainWindow(QWidget* window);

// Makes sure Qt will run on the dispatcher that the idle hook relies on. Call before the
// application object is made.
void PrepareEventDispatcher();

// Dispatches what is waiting now, one batch, without blocking and without idle processing.
// Returns false when nothing was waiting.
bool DispatchPending();

// Waits until the next event comes, at most `maxMs` milliseconds, and dispatches it, without
// idle processing (nested loops of what it dispatches, such as message boxes, keep theirs).
// Long operations call it when nothing was waiting, so that they sleep instead of spinning.
void WaitForEvents(int maxMs);
// Ends a WaitForEvents in progress at once, or the next one when none is waiting; call it
// whenever something a wait may be watching has changed outside an event of its own.
void WakeWaiter();

// The application's own commands (About, Exit), where a window's commands fall through last.
// `run` false only asks whether a handler exists. Registered by the application at start-up.
using AppCommandRoute = bool (*)(unsigned id, bool run);
void SetAppCommandRoute(AppCommandRoute route);
// False when nothing is registered or the application has no such command.
bool RouteAppCommand(unsigned id, bool run);

// The quit message: asked for once the main window is gone; the message pump stops on it.
void RequestQuit();
bool QuitRequested();
void ResetQuitForTests();

// Runs `hook` each time the event loop falls idle (about to block), unless idle processing is
// suspended. One hook per owner; pass an empty function to remove it.
void SetIdleHook(const void* owner, std::function<void()> hook);

// While one of these lives, the idle hook does not run.
class IdleSuspender {
public:
    IdleSuspender();
    ~IdleSuspender();
    IdleSuspender(const IdleSuspender&) = delete;
    IdleSuspender& operator=(const IdleSuspender&) = delete;
};

} // namespace fw
