// Keys, clicks, the system menu and real time for the model.
#include "frontend.h"

#include <algorithm>
#include <cwctype>

namespace terminal {

namespace {

const std::vector<model::MenuItem>* itemsOf(HWND window) {
    const model::Window* w = model::window(window);
    return w != nullptr ? model::menuItems(w->sysMenu) : nullptr;
}

HWND activeWindow() {
    const auto& stack = model::desktop().modalStack;
    return stack.empty() ? nullptr : stack.back();
}

// The underlined letter of an item: the one after '&'.
char16_t mnemonic(const std::u16string& text) {
    const size_t amp = text.find(u'&');
    return amp != std::u16string::npos && amp + 1 < text.size() ? text[amp + 1] : 0;
}

} // namespace

FrontEnd::FrontEnd(Io& io) : m_io(io), m_start(std::chrono::steady_clock::now()) {}

uint64_t FrontEnd::elapsedMs() const {
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                     std::chrono::steady_clock::now() - m_start)
                                     .count());
}

void FrontEnd::redraw() {
    int cols = 0, rows = 0, needCols = 0, needRows = 0;
    m_io.size(cols, rows);
    minimumSize(needCols, needRows);
    ScreenBuffer screen(std::max(cols, 1), std::max(rows, 1));
    if (cols < needCols || rows < needRows) {
        const std::string lines[] = {
            "The terminal is too small for the verifier.",
            "It needs " + std::to_string(needCols) + " x " + std::to_string(needRows) +
                " characters; this one has " + std::to_string(cols) + " x " + std::to_string(rows) + ".",
            "Enlarge it, and the verifier comes back."};
        for (int i = 0; i < 3; ++i)
            screen.text(0, rows / 2 - 1 + i, lines[i], kBold);
    } else {
        render(screen, menuOpen() ? &m_menu : nullptr);
    }
    m_io.draw(screen);
}

void FrontEnd::idle() {
    model::Desktop& d = model::desktop();
    d.now = elapsedMs();
    if (model::window(m_menu.window) == nullptr)
        m_menu = OpenMenu{};
    redraw();
    // Wait for a key, but no longer than until the next timer falls due.
    int timeout = 1000;
    for (const model::Timer& t : d.timers)
        timeout = std::min<int>(timeout, t.due > d.now ? static_cast<int>(t.due - d.now) : 0);
    Key key;
    if (timeout > 0 && m_io.read(key, timeout))
        handle(key);
    d.now = elapsedMs();
}

void FrontEnd::openMenu(HWND window) {
    const model::Window* w = model::window(window);
    if (w == nullptr || (w->style & WS_SYSMENU) == 0 || !model::enabledForInput(window))
        return;
    GetSystemMenu(window, FALSE);
    m_menu = OpenMenu{window, -1};
    moveSelection(1);
}

void FrontEnd::moveSelection(int delta) {
    const auto* items = itemsOf(m_menu.window);
    if (items == nullptr || items->empty())
        return;
    const int n = static_cast<int>(items->size());
    int i = m_menu.selected;
    for (int step = 0; step < n; ++step) {
        i = ((i + delta) % n + n) % n;
        if (model::menuItemEnabled(m_menu.window, (*items)[static_cast<size_t>(i)])) {
            m_menu.selected = i;
            return;
        }
    }
}

void FrontEnd::choose() {
    const OpenMenu chosen = m_menu;
    m_menu = OpenMenu{};
    const auto* items = itemsOf(chosen.window);
    if (items == nullptr || chosen.selected < 0 || chosen.selected >= static_cast<int>(items->size()))
        return;
    const model::MenuItem& item = (*items)[static_cast<size_t>(chosen.selected)];
    // Choosing an item posts its command, as the window system's menu does.
    if (model::menuItemEnabled(chosen.window, item))
        model::post(chosen.window, WM_SYSCOMMAND, item.id, 0, true);
}

void FrontEnd::handle(const Key& key) {
    if (key.kind == Key::Resize || key.kind == Key::None)
        return;
    if (menuOpen()) {
        switch (key.kind) {
        case Key::Up:
            moveSelection(-1);
            break;
        case Key::Down:
            moveSelection(1);
            break;
        case Key::Enter:
            choose();
            break;
        case Key::Char: {
            const auto* items = itemsOf(m_menu.window);
            for (size_t i = 0; items != nullptr && i < items->size(); ++i) {
                const char16_t m = mnemonic((*items)[i].text);
                if (m != 0 && std::towlower(m) == std::towlower(static_cast<wint_t>(key.ch)) &&
                    model::menuItemEnabled(m_menu.window, (*items)[i])) {
                    m_menu.selected = static_cast<int>(i);
                    choose();
                    break;
                }
            }
            break;
        }
        default: // Esc, the menu key again, a click elsewhere
            m_menu = OpenMenu{};
            break;
        }
        return;
    }
    switch (key.kind) {
    case Key::Tab:
        model::postKey(VK_TAB);
        break;
    case Key::BackTab:
        model::postKey(VK_TAB, true);
        break;
    case Key::Enter:
        model::postKey(VK_RETURN);
        break;
    case Key::Escape:
        model::postKey(VK_ESCAPE);
        break;
    case Key::Char:
        if (key.ch == U' ')
            model::postKey(VK_SPACE);
        break;
    case Key::Menu:
        openMenu(activeWindow());
        break;
    case Key::Click: {
        int cols = 0, rows = 0;
        m_io.size(cols, rows);
        const Hit hit = hitTest(cols, rows, key.x, key.y);
        if (hit.closeBox)
            model::post(hit.window, WM_SYSCOMMAND, SC_CLOSE, 0, true);
        else if (hit.menuGlyph)
            openMenu(hit.window);
        else if (hit.control != nullptr)
            model::post(hit.control, WM_LBUTTONUP, 0, 0, true);
        break;
    }
    default:
        break;
    }
}

} // namespace terminal
