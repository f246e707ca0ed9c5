// Strands over ucontext: a stack of their own from mmap with a guard page below it, the C++
// runtime's record of exceptions in handling swapped with them, and AddressSanitizer told of
// every switch so that it follows the stacks.
#include "platform/core/Strand.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cxxabi.h>
#include <sys/mman.h>
#include <ucontext.h>
#include <unistd.h>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
#define QUORVEL_STRAND_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QUORVEL_STRAND_ASAN 1
#endif
#endif
#ifdef QUORVEL_STRAND_ASAN
#include <sanitizer/common_interface_defs.h>
#endif

namespace platform {
namespace {

using Clock = std::chrono::steady_clock;

// The runtime's per-thread record of the exceptions being handled. A strand may wait inside a
// catch block (a polite logout after a failure); when it goes on it must find its own exception
// there, and the thread must find its own meanwhile.
struct EhGlobals {
    void* caught = nullptr;
    unsigned int uncaught = 0;
};

EhGlobals& ThreadEhGlobals()
{
    return *reinterpret_cast<EhGlobals*>(abi::__cxa_get_globals());
}

// Address space only: pages are taken as the stack grows into them. A check with its TLS
// handshake uses a small part of it; the sanitizers' frames are several times larger.
constexpr std::size_t kStackSize = std::size_t { 1024 } * 1024;

} // namespace

struct Strand::State {
    std::function<void()> work;
    std::exception_ptr error;
    ucontext_t context {};
    char* mapping = nullptr; // the guard page, then the stack
    std::size_t pageSize = 0;
    bool started = false;
    bool finished = false;
    strands::Waiting waiting = strands::Waiting::Ready;
    Clock::time_point deadline;
    EhGlobals eh;
#ifdef QUORVEL_STRAND_ASAN
    void* fakeStack = nullptr;
#endif

    char* StackBottom() const
    {
        return mapping + pageSize;
    }
};

namespace {

// Live strands in the order they were made; a slot is emptied (not erased) by a strand that
// ends while a sweep is under way.
std::vector<Strand::State*> g_strands;
bool g_sweeping = false;
Strand::State* g_running = nullptr;
// Where the thread was when it resumed the running strand.
ucontext_t g_resumer;
#ifdef QUORVEL_STRAND_ASAN
const void* g_resumerStackBottom = nullptr;
std::size_t g_resumerStackSize = 0;
#endif

[[noreturn]] void Fatal(const char* what)
{
    std::fprintf(stderr, "strand: %s\n", what);
    std::abort();
}

// From the strand back to the thread that resumed it. `over`: the strand will not go on.
void SwitchOut(Strand::State& s, bool over)
{
#ifdef QUORVEL_STRAND_ASAN
    __sanitizer_start_switch_fiber(over ? nullptr : &s.fakeStack, g_resumerStackBottom, g_resumerStackSize);
#else
    (void)over;
#endif
    if (swapcontext(&s.context, &g_resumer) != 0)
        Fatal("cannot switch");
#ifdef QUORVEL_STRAND_ASAN
    __sanitizer_finish_switch_fiber(s.fakeStack, &g_resumerStackBottom, &g_resumerStackSize);
#endif
}

void Entry()
{
    Strand::State& s = *g_running;
#ifdef QUORVEL_STRAND_ASAN
    __sanitizer_finish_switch_fiber(nullptr, &g_resumerStackBottom, &g_resumerStackSize);
#endif
    try {
        s.work();
    } catch (...) {
        s.error = std::current_exception();
    }
    s.work = nullptr;
    s.finished = true;
    SwitchOut(s, true);
    Fatal("a finished strand was resumed");
}

void Resume(Strand::State& s)
{
    if (!s.started) {
        if (getcontext(&s.context) != 0)
            Fatal("cannot make a context");
        s.context.uc_stack.ss_sp = s.StackBottom();
        s.context.uc_stack.ss_size = kStackSize;
        s.context.uc_link = nullptr;
        makecontext(&s.context, Entry, 0);
        s.started = true;
    }
    const EhGlobals thread = ThreadEhGlobals();
    ThreadEhGlobals() = s.eh;
    g_running = &s;
#ifdef QUORVEL_STRAND_ASAN
    void* fakeStack = nullptr;
    __sanitizer_start_switch_fiber(&fakeStack, s.StackBottom(), kStackSize);
#endif
    if (swapcontext(&g_resumer, &s.context) != 0)
        Fatal("cannot switch");
#ifdef QUORVEL_STRAND_ASAN
    __sanitizer_finish_switch_fiber(fakeStack, nullptr, nullptr);
#endif
    g_running = nullptr;
    s.eh = ThreadEhGlobals();
    ThreadEhGlobals() = thread;
}

} // namespace

Strand::Strand(std::function<void()> work)
    : FState(std::make_unique<State>())
{
    State& s = *FState;
    s.work = std::move(work);
    s.pageSize = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    void* mapping = ::mmap(nullptr, kStackSize + s.pageSize, PROT_READ | PROT_WRITE,
        MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE | MAP_STACK, -1, 0);
    if (mapping == MAP_FAILED)
        throw std::bad_alloc();
    s.mapping = static_cast<char*>(mapping);
    // A stack that overflows faults on the guard page instead of writing over other memory.
    if (::mprotect(s.mapping, s.pageSize, PROT_NONE) != 0) {
        ::munmap(s.mapping, kStackSize + s.pageSize);
        throw std::bad_alloc();
    }
    g_strands.push_back(&s);
}

Strand::~Strand()
{
    State& s = *FState;
    for (auto& slot : g_strands)
        if (slot == &s)
            slot = nullptr;
    if (!g_sweeping)
        std::erase(g_strands, nullptr);
    if (s.started && !s.finished) {
        // Its frames still hold resources; freeing the stack under them would be worse than
        // leaving it mapped.
        static_cast<void>(FState.release());
        return;
    }
    ::munmap(s.mapping, kStackSize + s.pageSize);
}

bool Strand::Finished() const
{
    return FState->finished;
}

std::exception_ptr Strand::Error() const
{
    return FState->error;
}

bool InStrand()
{
    return g_running != nullptr;
}

namespace strands {

void Suspend(Waiting waiting, long long boundMs)
{
    Strand::State* s = g_running;
    if (!s)
        Fatal("suspended outside a strand");
    s->waiting = waiting;
    if (waiting == Waiting::Until)
        s->deadline = Clock::now() + std::chrono::milliseconds(boundMs < 0 ? 0 : boundMs);
    SwitchOut(*s, false);
    s->waiting = Waiting::Ready;
}

bool AnyReady()
{
    for (const Strand::State* s : g_strands)
        if (s && !s->finished && s->waiting == Waiting::Ready)
            return true;
    return false;
}

long long MsToEarliestDeadline()
{
    long long earliest = -1;
    const auto now = Clock::now();
    for (const Strand::State* s : g_strands) {
        if (!s || s->finished || s->waiting != Waiting::Until)
            continue;
        const long long left = std::chrono::ceil<std::chrono::milliseconds>(s->deadline - now).count();
        const long long ms = left < 0 ? 0 : left;
        if (earliest < 0 || ms < earliest)
            earliest = ms;
    }
    return earliest;
}

void ResumeAll()
{
    if (g_running || g_sweeping)
        return;
    g_sweeping = true;
    // Strands made meanwhile are at the end and are resumed in the same sweep.
    for (std::size_t i = 0; i < g_strands.size(); ++i) {
        Strand::State* s = g_strands[i];
        if (s && !s->finished)
            Resume(*s);
    }
    g_sweeping = false;
    std::erase(g_strands, nullptr);
}

} // namespace strands
} // namespace platform
