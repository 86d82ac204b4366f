#pragma once

#include <functional>

namespace TestSupport {

// Runs the event loop of this thread until condition holds or the time-out passes; returns the
// condition's last value. The time-out is a safety net only, never what a test measures.
bool waitUntil(const std::function<bool()>& condition, int timeoutMs = 20000);

// Processes the events already queued for this thread.
void drainEvents();

} // namespace TestSupport
