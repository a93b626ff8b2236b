// Running the message loop until something holds, under a watchdog.
// Tests never sleep to wait.
#pragma once

#include <functional>

// Runs the message loop until done() is true or timeoutMs has passed.
// Returns done()'s last value.
bool RunUntil(const std::function<bool()>& done, int timeoutMs = 5000);
// Runs the message loop for about ms milliseconds (for "nothing happens" checks).
void RunFor(int ms);
