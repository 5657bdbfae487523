// The driver: hand-over between the test and the program thread, and the user's actions.
#include "driver.h"

#include <cstdio>

namespace model {

namespace {
struct Aborted {}; // unwinds a program that would not end when asked
const int kModuleTag = 0x400000;
} // namespace

HINSTANCE moduleHandle() { return reinterpret_cast<HINSTANCE>(static_cast<uintptr_t>(kModuleTag)); }

Program::Program(ResourceSet resources, std::function<int()> entry, const ProgramOptions& options) {
    Desktop& d = desktop();
    d = Desktop{};
    d.resources = std::move(resources);
    d.modulePath = options.modulePath;
    if (options.com != ProgramOptions::Com::None)
        CoInitializeEx(nullptr, options.com == ProgramOptions::Com::Apartment
                                    ? COINIT_APARTMENTTHREADED
                                    : COINIT_MULTITHREADED);
    d.idle = [this] {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_programTurn = false;
        m_cv.notify_all();
        m_cv.wait(lock, [this] { return m_programTurn; });
        if (m_aborting)
            throw Aborted{};
    };
    m_thread = std::thread([this, entry = std::move(entry)] {
        int code = -1;
        try {
            code = entry();
        } catch (const Aborted&) {
        }
        std::lock_guard<std::mutex> lock(m_mutex);
        m_exitCode = code;
        m_done = true;
        m_programTurn = false;
        m_cv.notify_all();
    });
    std::unique_lock<std::mutex> lock(m_mutex);
    waitForProgram(lock);
}

Program::~Program() {
    // End each modal window as Esc would, innermost first, until the program returns.
    for (int i = 0; i < 16 && !m_done; ++i) {
        Desktop& d = desktop();
        if (!d.modalStack.empty())
            EndDialog(d.modalStack.back(), IDCANCEL);
        resume();
    }
    if (!m_done) {
        std::fprintf(stderr, "win32 model: the program did not end; unwinding it\n");
        m_aborting = true;
        resume();
    }
    m_thread.join();
    desktop().idle = nullptr;
}

void Program::waitForProgram(std::unique_lock<std::mutex>& lock) {
    m_cv.wait(lock, [this] { return !m_programTurn; });
}

void Program::resume() {
    if (m_done)
        return;
    std::unique_lock<std::mutex> lock(m_mutex);
    m_programTurn = true;
    m_cv.notify_all();
    waitForProgram(lock);
}

HWND Program::active() const {
    const Desktop& d = desktop();
    return d.modalStack.empty() ? nullptr : d.modalStack.back();
}

HWND Program::find(int templateId) const {
    for (auto& [h, w] : desktop().windows)
        if (w->kind == "dialog" && w->templateId == templateId)
            return h;
    return nullptr;
}

void Program::click(int id) {
    HWND target = GetDlgItem(active(), id);
    if (target == nullptr)
        for (auto& [h, w] : desktop().windows)
            if (w->parent != nullptr && w->id == id)
                target = h;
    model::post(target, WM_LBUTTONUP, 0, 0, true);
    resume();
}

void Program::clickIn(HWND window, int id) {
    model::post(GetDlgItem(window, id), WM_LBUTTONUP, 0, 0, true);
    resume();
}

void Program::key(int vk) {
    postKey(static_cast<UINT>(vk));
    resume();
}

void Program::closeBox() {
    model::post(active(), WM_SYSCOMMAND, SC_CLOSE, 0, true);
    resume();
}

bool Program::chooseSystemMenu(UINT_PTR id) {
    HWND h = active();
    const Window* w = window(h);
    const auto* items = w != nullptr ? menuItems(w->sysMenu) : nullptr;
    if (w == nullptr || (w->style & WS_SYSMENU) == 0)
        return false;
    if (items == nullptr) { // never asked for by the program: the standard menu
        GetSystemMenu(h, FALSE);
        items = menuItems(w->sysMenu);
    }
    for (const MenuItem& item : *items)
        if (item.id == id && menuItemEnabled(h, item)) {
            model::post(h, WM_SYSCOMMAND, id, 0, true);
            resume();
            return true;
        }
    return false;
}

void Program::sysCommand(UINT_PTR id) {
    model::post(active(), WM_SYSCOMMAND, id, 0, true);
    resume();
}

void Program::post(UINT msg, WPARAM wp, LPARAM lp) {
    model::post(active(), msg, wp, lp, false);
    resume();
}

void Program::invalidate() {
    if (Window* w = window(active()))
        w->needsPaint = true;
    resume();
}

void Program::setIconicClient(int width, int height) {
    if (Window* w = window(active()))
        w->iconicClient = RECT{0, 0, width, height};
}

void Program::advance(uint64_t ms) {
    Desktop& d = desktop();
    const uint64_t end = d.now + ms;
    d.horizon = end;
    while (!m_done && d.now <= end) {
        uint64_t next = end;
        for (const Timer& t : d.timers)
            next = std::min(next, std::max(t.due, d.now));
        d.now = next;
        resume();
        if (next >= end)
            break;
    }
    d.now = std::max(d.now, end); // a busy program may have run past the end
}

std::string Program::text(int id) const {
    const Window* w = window(GetDlgItem(active(), id));
    return w != nullptr ? utf8(w->text) : std::string("<no control " + std::to_string(id) + ">");
}

std::string Program::caption() const {
    const Window* w = window(active());
    return w != nullptr ? utf8(w->text) : std::string("<no window>");
}

int Program::focusId() const {
    const Window* w = window(desktop().focus);
    return w != nullptr ? w->id : 0;
}

std::vector<std::string> Program::systemMenu() const { return systemMenuOf(active()); }

std::vector<std::string> systemMenuOf(HWND h) {
    std::vector<std::string> out;
    const Window* w = window(h);
    const auto* items = w != nullptr ? menuItems(w->sysMenu) : nullptr;
    if (items == nullptr)
        return out;
    for (const MenuItem& item : *items) {
        char id[16];
        std::snprintf(id, sizeof id, "0x%X ", static_cast<unsigned>(item.id));
        out.push_back(item.flags & MF_SEPARATOR ? "-" : id + utf8(item.text));
    }
    return out;
}

std::vector<std::string> Program::takeRecord() {
    std::vector<std::string> out;
    out.swap(desktop().record);
    return out;
}

} // namespace model
