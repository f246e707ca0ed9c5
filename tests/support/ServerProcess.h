// The life of a server that a fixture runs as a child process: started so that it dies with the
// test program, waited for until it serves, stopped politely and killed if need be.
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace testing_support {

// Starts the program (looked up in PATH when the name has no slash); -1 when it could not.
pid_t SpawnServer(const std::vector<std::string>& argv);
// Waits until `ready` holds; false when the child ended first or the limit passed (the child is
// then stopped, and `pid` is -1).
bool AwaitServer(pid_t& pid, const std::function<bool()>& ready, std::chrono::seconds limit);
// SIGTERM, then SIGKILL after `grace`; `pid` becomes -1.
void StopServer(pid_t& pid, std::chrono::seconds grace);

} // namespace testing_support
