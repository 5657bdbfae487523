// The harness on the model: its driver, and virtual time.
#include "platform/model/model.h"
#include "tests/model/harness.h"

extern const unsigned char kProgramResources[];
extern const std::size_t kProgramResourcesSize;

namespace fidelity {

namespace {
Handler g_handler;
const model::Program* g_program = nullptr;
} // namespace

void note(const std::string& line) {
    model::note(line);
}
void busy(unsigned ms) {
    model::busy(ms);
}
void invalidate(HWND h) {
    model::invalidate(h);
}
HINSTANCE module() {
    return model::moduleHandle();
}
void postMessage(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    model::postMessage(h, msg, wp, lp);
}
void focusOn(HWND h) {
    model::setFocus(h);
}
bool enabled(HWND h) {
    const auto w = g_program != nullptr ? g_program->window(h) : std::nullopt;
    return w && w->enabled;
}
bool visible(HWND h) {
    const auto w = g_program != nullptr ? g_program->window(h) : std::nullopt;
    return w && w->visible;
}

std::vector<std::string> systemMenu(HWND h) {
    return model::Program::systemMenuOf(h);
}

INT_PTR CALLBACK dialogProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    return recordedThenHandled(g_handler, h, msg, wp, lp);
}

struct Session::Impl {
    model::Program program;
    Impl(std::function<void()> run)
        : program(model::ResourceSet::parse(kProgramResources, kProgramResourcesSize), [run] {
              run();
              return 0;
          }) {}
};

Session::Session(Handler handler, std::function<void()> program) {
    g_handler = std::move(handler);
    m_impl = new Impl(program ? program : runDialog);
    g_program = &m_impl->program;
}

Session::~Session() {
    delete m_impl;
    g_program = nullptr;
    g_handler = nullptr;
}

HWND Session::dialog() const {
    return m_impl->program.active();
}
HWND Session::activeWindow() const {
    return m_impl->program.active();
}
HWND Session::focus() const {
    for (const model::WindowView& w : m_impl->program.windows())
        for (const model::ControlView& c : w.controls)
            if (c.focused)
                return c.handle;
    return nullptr;
}
bool Session::finished() const {
    return !m_impl->program.running();
}
void Session::key(UINT vk) {
    m_impl->program.key(static_cast<int>(vk));
}
void Session::sysCommand(WPARAM id) {
    m_impl->program.sysCommand(id);
}
void Session::post(UINT msg, WPARAM wp, LPARAM lp) {
    m_impl->program.post(msg, wp, lp);
}
// The model's program runs only when handed control, so the handler runs to its end first; the
// user's actions then come at the time it took, before anything it left due.
void Session::postMeanwhile(UINT msg, const std::vector<UINT>& keys, bool uncover) {
    model::Program& program = m_impl->program;
    program.post(msg, 0, 0);
    program.inputAt(program.now());
    for (UINT vk : keys)
        program.key(static_cast<int>(vk));
    if (uncover)
        program.invalidate();
}
void Session::wait(unsigned ms) {
    m_impl->program.advance(ms);
}
// The model's window system acts at once: what has not happened by now never will.
bool Session::waitUntil(const std::function<bool()>& condition, unsigned /*ms*/) {
    return condition();
}
std::vector<std::string> Session::take() {
    return m_impl->program.takeRecord();
}

} // namespace fidelity
