// The driver: the program on a stack of its own, the hand-over, and the user's actions.
//
// The program and its caller never run at once, so they need two stacks, not two threads:
// a Boost.Context fiber switches between them in a few nanoseconds, where a pair of thread
// switches took microseconds. A program that will not end is unwound by an exception thrown
// at its next wait, so its frames' destructors run.
#include "platform/model/desktop.h"

#include <boost/context/fiber.hpp>
#include <boost/context/fixedsize_stack.hpp>
#include <cstdio>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/common_interface_defs.h>
#endif

namespace model {

namespace {
namespace ctx = boost::context;
struct Aborted {}; // unwinds a program that would not end when asked
const int kModuleTag = 0x400000;
const std::size_t kStackSize = 1 << 20; // as much as a Windows thread's default
bool g_programExists = false;

// AddressSanitizer must be told of each switch of stacks, or it takes the other stack's frames
// for overflows (Debian's Boost.Context switches without telling it). Nothing otherwise.
struct Stack {
    const void* bottom = nullptr;
    std::size_t size = 0;
    void* fakeStack = nullptr; // the sanitizer's own, while this stack is not running
};
#if defined(__SANITIZE_ADDRESS__)
void leaving(Stack* from, const Stack& to) {
    __sanitizer_start_switch_fiber(from != nullptr ? &from->fakeStack : nullptr, to.bottom,
                                   to.size);
}
void arrived(Stack& at, Stack* from) {
    __sanitizer_finish_switch_fiber(at.fakeStack, from != nullptr ? &from->bottom : nullptr,
                                    from != nullptr ? &from->size : nullptr);
}
#else
void leaving(Stack* /*from*/, const Stack& /*to*/) {}
void arrived(Stack& /*at*/, Stack* /*from*/) {}
#endif

// The stack the program runs on, noted where the sanitizer can be told of it.
struct ProgramStack {
    Stack* noted;
    ctx::fixedsize_stack inner{kStackSize};
    ctx::stack_context allocate() {
        ctx::stack_context sc = inner.allocate();
        noted->bottom = static_cast<char*>(sc.sp) - sc.size;
        noted->size = sc.size;
        return sc;
    }
    void deallocate(ctx::stack_context& sc) noexcept { inner.deallocate(sc); }
};
} // namespace

HINSTANCE moduleHandle() {
    return reinterpret_cast<HINSTANCE>(static_cast<uintptr_t>(kModuleTag));
}

struct Program::Impl {
    ctx::fiber program; // the program's side, while the caller runs
    ctx::fiber caller;  // the caller's side, while the program runs
    Stack programStack, callerStack;
    bool done = false;
    bool aborting = false;
    int exitCode = 0;

    void resume() {
        if (done)
            return;
        leaving(&callerStack, programStack);
        program = std::move(program).resume();
        arrived(callerStack, nullptr);
    }
    void yield() {
        leaving(&programStack, callerStack);
        caller = std::move(caller).resume();
        arrived(programStack, nullptr);
        if (aborting)
            throw Aborted{};
    }
    int run(const std::function<int()>& entry) {
        arrived(programStack, &callerStack);
        try {
            exitCode = entry();
        } catch (const Aborted&) {
            exitCode = -1;
        }
        done = true;
        leaving(nullptr, callerStack); // for good: the sanitizer may drop this stack's state
        return exitCode;
    }
};

Program::Program(ResourceSet resources, std::function<int()> entry, const ProgramOptions& options)
    : m(std::make_unique<Impl>()) {
    if (g_programExists)
        fatal("a second Program while one runs: the model is one desktop; end the first");
    g_programExists = true;
    Desktop& d = desktop();
    d = Desktop{};
    d.resources = std::move(resources);
    d.modulePath = options.modulePath;
    if (options.com != ProgramOptions::Com::None)
        CoInitializeEx(nullptr, options.com == ProgramOptions::Com::Apartment
                                    ? COINIT_APARTMENTTHREADED
                                    : COINIT_MULTITHREADED);
    Impl* impl = m.get();
    d.yield = [impl] { impl->yield(); };
    m->program = ctx::fiber(std::allocator_arg, ProgramStack{&m->programStack},
                            [impl, entry = std::move(entry)](ctx::fiber&& caller) {
                                impl->caller = std::move(caller);
                                impl->run(entry);
                                return std::move(impl->caller);
                            });
    m->resume();
}

Program::~Program() {
    // End each modal window as Esc would, innermost first, until the program returns.
    for (int i = 0; i < 16 && !m->done; ++i) {
        Desktop& d = desktop();
        if (!d.modalStack.empty())
            EndDialog(d.modalStack.back(), IDCANCEL);
        m->resume();
    }
    if (!m->done) {
        std::fprintf(stderr, "win32 model: the program did not end; unwinding it\n");
        m->aborting = true;
        m->resume();
    }
    desktop().yield = nullptr;
    g_programExists = false;
}

bool Program::running() const {
    return !m->done;
}
int Program::exitCode() const {
    return m->exitCode;
}

// ---- the user ---------------------------------------------------------------------------

void Program::click(int id) {
    HWND target = GetDlgItem(active(), id);
    if (target == nullptr)
        for (auto& [h, w] : desktop().windows)
            if (w->parent != nullptr && w->id == id)
                target = h;
    clickControl(target);
}

void Program::clickIn(HWND window, int id) {
    clickControl(GetDlgItem(window, id));
}

void Program::clickControl(HWND control) {
    model::post(control, WM_LBUTTONUP, 0, 0, true);
    m->resume();
}

void Program::key(int vk, bool shift) {
    postKey(static_cast<UINT>(vk), shift);
    m->resume();
}

void Program::closeBox(HWND window) {
    model::post(window != nullptr ? window : active(), WM_SYSCOMMAND, SC_CLOSE, 0, true);
    m->resume();
}

bool Program::chooseSystemMenu(UINT_PTR id, HWND window) {
    HWND h = window != nullptr ? window : active();
    for (const MenuItemView& item : openSystemMenu(h))
        if (item.id == id && item.enabled) {
            model::post(h, WM_SYSCOMMAND, id, 0, true);
            m->resume();
            return true;
        }
    return false;
}

void Program::sysCommand(UINT_PTR id) {
    model::post(active(), WM_SYSCOMMAND, id, 0, true);
    m->resume();
}

void Program::post(UINT msg, WPARAM wp, LPARAM lp) {
    model::post(active(), msg, wp, lp, false);
    m->resume();
}

void Program::invalidate() {
    model::invalidate(active());
    m->resume();
}

void Program::setIconicClient(int width, int height) {
    if (Window* w = model::window(active()))
        w->iconicClient = RECT{0, 0, width, height};
}

// ---- the clock --------------------------------------------------------------------------

void Program::advance(uint64_t ms) {
    Desktop& d = desktop();
    const uint64_t end = d.now + ms;
    d.horizon = end;
    m->resume(); // what is due now
    for (std::optional<uint64_t> due = nextDue(); !m->done && due && *due <= end && d.now <= end;
         due = nextDue()) {
        d.now = std::max(d.now, *due);
        m->resume();
    }
    d.now = std::max(d.now, end); // a busy program may have run past the end
}

void Program::advanceTo(uint64_t t) {
    inputAt(t);
    m->resume();
}

void Program::inputAt(uint64_t t) {
    Desktop& d = desktop();
    d.now = std::max(d.now, t);
    d.horizon = d.now;
}

uint64_t Program::now() const {
    return desktop().now;
}

std::optional<uint64_t> Program::nextDue() const {
    std::optional<uint64_t> next;
    for (const Timer& t : desktop().timers)
        if (!next || t.due < *next)
            next = t.due;
    return next;
}

std::vector<TimerView> Program::timers() const {
    std::vector<TimerView> out;
    for (const Timer& t : desktop().timers)
        out.push_back(TimerView{t.hwnd, t.id, t.period, t.due});
    return out;
}

std::vector<std::string> Program::takeRecord() {
    std::vector<std::string> out;
    out.swap(desktop().record);
    return out;
}

// ---- the program's side -----------------------------------------------------------------

void busy(unsigned ms) {
    desktop().now += ms;
}

void invalidate(HWND h) {
    if (Window* w = window(h))
        w->needsPaint = true;
}

void postMessage(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    post(h, msg, wp, lp, false);
}

} // namespace model
