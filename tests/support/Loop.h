// Running the message loop until something holds, under a watchdog.
// Tests never sleep to wait.
#pragma once

#include <functional>

// Runs the message loop until done() is true or timeoutMs has passed.
// Returns done()'s last value.
bool RunUntil(const std::function<bool()>& done, int timeoutMs = 5000);
// A "nothing more happens" check anchors on the event that would have
// caused the change, with the two below or a witness of its own, never on
// a fixed time.

// Runs the message loop until a message posted now (PostMessage) has been
// dispatched: every message posted before it has been dispatched or dropped
// by then. Returns false when the watchdog ran out first.
bool RunUntilPostedMessagesDispatched(int timeoutMs = 5000);

// Runs the message loop until a witness timer of intervalMs milliseconds,
// started now, has fired `count` times: a timer of that interval or shorter
// that was running before has had `count` chances to fire by then. The
// witness is a toolkit timer, so it fires while the message queue's dispatch
// is suspended too. Returns false when the watchdog ran out first.
bool RunIntervals(int intervalMs, int count, int timeoutMs = 5000);

// Delivers what is pending now: the toolkit's posted events (layouts, show
// and resize events) and then the messages posted so far. For a picture or a
// walk of the controls, taken once the window has settled. Returns false when
// the watchdog ran out first.
bool RunPendingEvents(int timeoutMs = 5000);
