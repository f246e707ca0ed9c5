// The calls with which waiting code lets the user-interface thread go on handling events.
#pragma once

#include <chrono>

namespace platform {

// Dispatches every event that is pending now, then returns.
void ProcessMessages();

// One pass of a wait loop: sleeps until at least one event has been dispatched (a socket
// notification, a posted message, a timer tick, input), then dispatches everything pending.
// It has no time bound: every flag a wait loop tests is changed by an event handler, so a pass
// that returned without an event would only make the loop spin. The caller tests its flags
// after each pass; a wait that nothing ends waits for ever, without using the processor.
void WaitPass();

// The same, but also returns once `bound` has passed with nothing dispatched: for loops that
// keep a deadline of their own rather than a timer.
void WaitPassFor(std::chrono::milliseconds bound);

} // namespace platform
