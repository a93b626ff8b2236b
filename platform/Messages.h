// Hidden message windows and the one message queue of the program.
//
// Everything runs on the GUI thread. A message window is a handle plus a
// handler; PostMessage appends to one FIFO queue that the Qt event loop
// drains, SendMessage calls the handler at once. Handles are never reused, so
// a message still queued for a freed window is dropped, not delivered to a
// stranger. PostMessage may be called from any thread (the name resolver's
// worker hands its replies back through it); everything else is GUI-thread only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>

using HWND = std::uintptr_t;  // 0 is no window
using UINT = unsigned int;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;

constexpr UINT WM_NULL = 0x0000;
constexpr UINT WM_CLOSE = 0x0010;
constexpr UINT WM_QUIT = 0x0012;
constexpr UINT WM_TIMER = 0x0113;
constexpr UINT WM_USER = 0x0400;

struct TMessage {
    UINT Msg = 0;
    WPARAM WParam = 0;
    LPARAM LParam = 0;
    LRESULT Result = 0;
};

using TWndMethod = std::function<void(TMessage&)>;

HWND AllocateHWnd(TWndMethod handler);
// Frees the window; messages still queued for it are dropped. Safe to call
// from inside the window's own handler.
void DeallocateHWnd(HWND wnd);
bool IsWindow(HWND wnd);

// False when the window does not exist.
bool PostMessage(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam);
// Calls the handler now and returns its Result; 0 when the window does not exist.
LRESULT SendMessage(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam);

// Runs everything pending (queued messages, timers, socket and window events)
// and returns. May be entered again from inside a handler. GUI thread only;
// elsewhere this and WaitAndProcessMessages do nothing.
void ProcessMessages();
// Waits until at least one event arrives (bounded by maxWaitMs), then runs
// what is pending. For loops that wait on a flag without spinning.
void WaitAndProcessMessages(int maxWaitMs = 100);
// Number of queued messages not yet dispatched (tests).
std::size_t PendingMessageCount();

// WM_QUIT of the queue: the program is ending. PostQuitMessage notes it, and
// every loop that waits with the queue running (the socket layer's waits)
// sees it and stops waiting. It stays noted until ClearQuitMessage (tests
// that start over).
void PostQuitMessage();
bool QuitMessagePosted();
void ClearQuitMessage();

// Timers deliver WM_TIMER (WParam = id) through the queue, at most one pending
// per window and id, the way the system's timers do. Setting a timer that
// runs restarts it with the new interval; intervals under 10 ms become 10.
// KillTimer and DeallocateHWnd drop the timer's pending WM_TIMER. SetTimer is
// false without a Qt application or for a window that does not exist.
bool SetTimer(HWND wnd, std::uintptr_t id, UINT elapseMs);
bool KillTimer(HWND wnd, std::uintptr_t id);

// A handler run from the queue that throws does not unwind the event loop:
// the exception goes to this handler (default: its message in the error box,
// ShowErrorBox) and dispatching carries on. SendMessage lets exceptions
// through to its caller. An empty handler puts the default back.
using TDispatchExceptionHandler = std::function<void(std::exception_ptr)>;
void SetDispatchExceptionHandler(TDispatchExceptionHandler handler);

// While suspended, nothing is dispatched from the queue (neither by the event
// loop nor by ProcessMessages); posts and timers keep queueing. Lets a test
// look at what is queued while time passes.
void SuspendQueueDispatch(bool suspended);

// For a source that posts from its own event-loop callback (the sockets'
// readiness): runs `post`, then what the queue holds up to the last message
// posted so far, at once, as the event loop's next dispatch would, so that a
// notification is handled without a second trip through the loop. Messages
// that handlers post meanwhile wait for the next round, as always.
void PostAndDispatch(const std::function<void()>& post);
