// Strands: work written as one blocking sequence (a mail check with its waits) that runs beside
// other such work on the user-interface thread. Each strand has a stack of its own; where its
// code waits (a wait pass of MessageLoop.h) the strand is put aside and the thread goes on, and
// the next wait pass made outside any strand resumes it. Nothing runs on a second thread, so
// the code a strand runs needs no locks.
#pragma once

#include <exception>
#include <functional>
#include <memory>

namespace platform {

class Strand {
public:
    // The work starts at the next wait pass made outside any strand. What it raises is kept
    // (Error) rather than passed on: no exception crosses from one stack to another.
    explicit Strand(std::function<void()> work);
    // The work must be over (Finished): a strand's stack cannot be given back while its frames
    // are live. A strand destroyed too early leaves its stack behind rather than free it.
    ~Strand();
    Strand(const Strand&) = delete;
    Strand& operator=(const Strand&) = delete;

    bool Finished() const;
    // What the work raised; empty when it returned.
    std::exception_ptr Error() const;

    struct State;

private:
    std::unique_ptr<State> FState;
};

// True while the code running now is a strand's.
bool InStrand();

namespace strands {

// For the wait passes (MessageLoop.cpp) and nothing else.

// How a strand gave the thread back.
enum class Waiting {
    Ready, // wants to go on at once (it had only pending events to see)
    Event, // until anything has been dispatched
    Until, // until something has been dispatched or its deadline came
};

// Puts the running strand aside until the next pass; `boundMs` is read with Waiting::Until.
void Suspend(Waiting waiting, long long boundMs);
// Whether any strand wants to go on at once, and the milliseconds until the earliest deadline
// of a waiting strand (negative: none).
bool AnyReady();
long long MsToEarliestDeadline();
// Resumes every strand that has not finished, each until it waits again or is over.
void ResumeAll();

} // namespace strands
} // namespace platform
