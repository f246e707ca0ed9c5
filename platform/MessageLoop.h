// The calls with which waiting code lets the user-interface thread go on handling events.
#pragma once

namespace platform {

// Dispatches every event that is pending now, then returns.
void ProcessMessages();

// One pass of a wait loop: blocks until an event arrives (at most a few milliseconds), then
// dispatches everything pending. The caller tests its flags after each pass. Blocking instead
// of sleeping keeps the loop from spinning and lets it react as soon as its answer arrives.
void WaitPass();

} // namespace platform
