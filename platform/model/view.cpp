// The read-only view: what a user sees of the model's windows and menus, as copies in UTF-8.
#include "platform/model/desktop.h"

#include <cstdio>

namespace model {

namespace {

ControlView controlView(const Window& c) {
    ControlView v;
    v.handle = c.handle;
    v.kind = c.kind;
    v.id = c.id;
    v.text = utf8(c.text);
    v.rect = c.rect;
    v.visible = c.visible;
    v.enabled = c.enabled;
    v.focused = desktop().focus == c.handle;
    v.noPrefix = (c.style & SS_NOPREFIX) != 0 && !isButton(c);
    return v;
}

WindowView windowView(const Window& w) {
    const Desktop& d = desktop();
    WindowView v;
    v.handle = w.handle;
    v.kind = w.kind;
    v.templateId = w.templateId;
    v.caption = utf8(w.text);
    v.width = w.rect.right;
    v.height = w.rect.bottom;
    v.visible = w.visible;
    v.enabled = w.enabled;
    v.iconic = w.iconic;
    v.active = !d.modalStack.empty() && d.modalStack.back() == w.handle;
    v.systemMenu = (w.style & WS_SYSMENU) != 0;
    v.needsPaint = w.needsPaint;
    v.bigIcon = w.bigIcon != nullptr ? describe(w.bigIcon) : "";
    v.smallIcon = w.smallIcon != nullptr ? describe(w.smallIcon) : "";
    for (HWND c : w.children)
        if (const Window* child = window(c))
            v.controls.push_back(controlView(*child));
    return v;
}

} // namespace

std::vector<WindowView> Program::windows() const {
    std::vector<WindowView> out;
    for (auto& [h, w] : desktop().windows) // handles grow, so this is creation order
        if (w->parent == nullptr)
            out.push_back(windowView(*w));
    return out;
}

std::optional<WindowView> Program::window(HWND h) const {
    const Window* w = model::window(h);
    if (w == nullptr || w->parent != nullptr)
        return std::nullopt;
    return windowView(*w);
}

HWND Program::active() const {
    const Desktop& d = desktop();
    return d.modalStack.empty() ? nullptr : d.modalStack.back();
}

HWND Program::find(int templateId) const {
    for (auto& [h, w] : desktop().windows)
        if (w->kind == Kind::Dialog && w->templateId == templateId)
            return h;
    return nullptr;
}

std::string Program::text(int id) const {
    const Window* w = model::window(GetDlgItem(active(), id));
    return w != nullptr ? utf8(w->text) : std::string("<no control " + std::to_string(id) + ">");
}

std::string Program::caption() const {
    const Window* w = model::window(active());
    return w != nullptr ? utf8(w->text) : std::string("<no window>");
}

int Program::focusId() const {
    const Window* w = model::window(desktop().focus);
    return w != nullptr ? w->id : 0;
}

std::string Program::describeIcon(HICON icon) {
    return describe(icon);
}

int Program::comInitializations() const {
    return desktop().comCount;
}

std::vector<MenuItemView> Program::openSystemMenu(HWND h) {
    if (h == nullptr)
        h = active();
    std::vector<MenuItemView> out;
    const Window* w = model::window(h);
    if (w == nullptr || (w->style & WS_SYSMENU) == 0)
        return out;
    if (menuItems(w->sysMenu) == nullptr) // never asked for by the program: the standard one
        GetSystemMenu(h, FALSE);
    for (const MenuItem& item : *menuItems(w->sysMenu))
        out.push_back(MenuItemView{item.id, utf8(item.text), (item.flags & MF_SEPARATOR) != 0,
                                   menuItemEnabled(h, item)});
    return out;
}

std::vector<std::string> Program::systemMenu() const {
    return systemMenuOf(active());
}

std::vector<std::string> Program::systemMenuOf(HWND h) {
    std::vector<std::string> out;
    const Window* w = model::window(h);
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

} // namespace model
