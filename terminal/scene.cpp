// Drawing the model's windows, the menu, the press log and the status line into the grid.
#include "terminal/scene.h"

#include "terminal/escape.h"

#include <algorithm>
#include <stdexcept>

namespace terminal {

namespace {

// A window's frame: a border all round, the caption's rows and a rule under them above the client
// area. Frame below places them, for the drawing and the hit test alike, so that the two cannot
// come apart when one of these changes.
const int kBorder = 1;
const int kCaptionRows = 1;
const int kClientTop = kBorder + kCaptionRows + 1; // the rule's row
const int kFrameWidth = 2 * kBorder;
const int kFrameHeight = kClientTop + kBorder;
const int kIconicWidth = 32;
const char* const kIcon = "▣ ";
const char* const kCloseBox = "[X]";

int outerWidth(int clientPixels) {
    return (clientPixels + model::kCharWidth - 1) / model::kCharWidth + kFrameWidth;
}

int outerHeight(int clientPixels) {
    return (clientPixels + model::kCharHeight - 1) / model::kCharHeight + kFrameHeight;
}

// Where the parts of a placed window's frame are on the screen, in cells. An iconic window's
// bar is all caption, with no close box.
class Frame {
  public:
    explicit Frame(const Placement& p) : m_p(p) {}
    int innerX() const { return m_p.x + kBorder; } // the caption's, the rule's and the client's
    int innerWidth() const { return m_p.w - kFrameWidth; }
    int rightX() const { return m_p.x + m_p.w - 1; } // the right border, or a bar's "]"
    int captionY() const { return m_p.y + kBorder; }
    int ruleY() const { return captionY() + kCaptionRows; }
    int clientY() const { return m_p.y + kClientTop; }
    int titleX() const { return innerX() + 1; }
    int titleWidth() const { return closeX() - 2 - titleX(); } // two cells short of the close box
    int closeX() const { return rightX() - textWidth(kCloseBox); }
    bool hasCloseBox() const { return !m_p.iconic && m_p.window->systemMenu; }
    bool onCaption(int y) const { return m_p.iconic || (y >= captionY() && y < ruleY()); }
    bool onCloseBox(int x) const { return hasCloseBox() && x >= closeX() && x < rightX(); }
    // The icon and the cells left of it open the system menu, on a bar as in a frame.
    bool onIcon(int x) const { return x < titleX() + textWidth(kIcon); }

  private:
    const Placement& m_p;
};

// A control's rectangle in cells, relative to its window's client area; at least one row.
void cells(const model::ControlView& c, int& x0, int& y0, int& x1, int& y1) {
    x0 = c.rect.left / model::kCharWidth;
    y0 = c.rect.top / model::kCharHeight;
    x1 = std::max(x0 + 1, static_cast<int>(c.rect.right / model::kCharWidth));
    y1 = std::max(y0 + 1, static_cast<int>(c.rect.bottom / model::kCharHeight));
}

// As much of text as leaves room for tail in w cells, then tail.
std::u32string fitted(const std::u32string& text, const std::u32string& tail, int w) {
    const int room = w - textWidth(tail);
    std::u32string out;
    int used = 0;
    for (char32_t c : text) {
        used += charWidth(c);
        if (used > room)
            break;
        out += c;
    }
    return out + tail;
}

// Where text goes on after the first n of its wrapped lines, which wrap() took it apart into
// without the spaces where it broke them.
size_t afterLines(const std::u32string& text, const std::vector<std::u32string>& lines, size_t n) {
    size_t at = 0;
    for (size_t i = 0; i < n; ++i)
        for (char32_t c : lines[i]) {
            while (at < text.size() && text[at] != c)
                ++at;
            ++at;
        }
    while (at < text.size() && text[at] == U' ')
        ++at;
    return std::min(at, text.size());
}

void drawControl(ScreenBuffer& s, const model::ControlView& c, int ox, int oy) {
    if (!c.visible)
        return;
    int x0, y0, x1, y1;
    cells(c, x0, y0, x1, y1);
    const int w = x1 - x0;
    switch (c.kind) {
    case model::Kind::GroupBox:
        s.frame(ox + x0, oy + y0, w, y1 - y0);
        s.text(ox + x0 + 1, oy + y0, c.text, kNormal, w - 2, false);
        break;
    case model::Kind::PushButton: {
        const std::string label = (c.focused ? ">" : "[") + c.text + (c.focused ? "<" : "]");
        s.text(ox + x0 + std::max(0, (w - textWidth(label, true)) / 2), oy + y0 + (y1 - y0 - 1) / 2,
               label, c.focused ? kReverse : kNormal, w, false);
        break;
    }
    case model::Kind::Icon:
        s.text(ox + x0, oy + y0, " \\/ ", kNormal, w);
        s.text(ox + x0, oy + y0 + 1, "[TV]", kBold, w);
        break;
    default: {
        const auto lines = wrap(model::decodeUtf8(c.text), w, !c.noPrefix);
        for (size_t i = 0; i < lines.size() && static_cast<int>(i) < y1 - y0; ++i)
            s.text(ox + x0, oy + y0 + static_cast<int>(i), model::utf8(lines[i]), kNormal, w,
                   c.noPrefix);
        break;
    }
    }
}

std::string menuText(const model::MenuItemView& item) {
    std::string text = item.text;
    const size_t tab = text.find('\t');
    if (tab != std::string::npos)
        text.replace(tab, 1, "   ");
    return text;
}

// The open menu on the screen, in cells: a border round a row for each item, whose text has a
// cell of room on either side. The drawing and the hit test both place the items by it.
struct MenuBox {
    int x = 0, y = 0, w = 0, h = 0; // the outer rectangle
    int innerX() const { return x + kBorder; }
    int innerWidth() const { return w - 2 * kBorder; }
    int itemY(size_t i) const { return y + kBorder + static_cast<int>(i); }
    int labelX() const { return innerX() + 1; }
    int labelWidth() const { return innerWidth() - 2; }
    int itemAt(int cx, int cy) const { // -1 off the items
        const bool inside = cx >= innerX() && cx < innerX() + innerWidth() && cy >= itemY(0) &&
                            cy < y + h - kBorder;
        return inside ? cy - itemY(0) : -1;
    }
};

// Dropped from under the caption of the menu's window, or above its bar when it is iconic.
MenuBox menuBox(const Scene& scene, int cols, int rows) {
    const OpenMenu& menu = *scene.menu;
    MenuBox box;
    for (const auto& item : menu.items)
        box.w = std::max(box.w, textWidth(menuText(item), true));
    box.w += 2 * kBorder + 2;
    box.h = static_cast<int>(menu.items.size()) + 2 * kBorder;
    for (const Placement& p : layout(scene, cols, rows))
        if (p.window->handle == menu.window) {
            const Frame frame(p);
            box.x = frame.innerX();
            box.y = p.iconic ? std::max(0, p.y - box.h) : frame.ruleY();
        }
    return box;
}

void drawMenu(ScreenBuffer& s, const Scene& scene) {
    const MenuBox box = menuBox(scene, s.cols(), s.rows());
    s.fill(box.x, box.y, box.w, box.h, U' ');
    s.frame(box.x, box.y, box.w, box.h);
    for (size_t i = 0; i < scene.menu->items.size(); ++i) {
        const auto& item = scene.menu->items[i];
        if (item.separator) {
            s.fill(box.innerX(), box.itemY(i), box.innerWidth(), 1, U'─');
            continue;
        }
        uint8_t attr = item.enabled ? kNormal : kDim;
        if (static_cast<int>(i) == scene.menu->selected)
            attr |= kReverse;
        s.fill(box.innerX(), box.itemY(i), box.innerWidth(), 1, U' ', attr);
        s.text(box.labelX(), box.itemY(i), menuText(item), attr, box.labelWidth(), false);
    }
}

void drawWindow(ScreenBuffer& s, const Placement& p) {
    const model::WindowView& w = *p.window;
    const uint8_t captionAttr = w.active ? kReverse | kBold : kBold;
    const std::string icon = !w.smallIcon.empty() || !w.bigIcon.empty() ? kIcon : "";
    const Frame frame(p);
    if (p.iconic) {
        s.fill(p.x, p.y, p.w, 1, U' ', captionAttr);
        s.text(p.x, p.y, "[" + icon + w.caption, captionAttr, p.w - 1);
        s.text(frame.rightX(), p.y, "]", captionAttr);
        return;
    }
    s.fill(p.x, p.y, p.w, p.h, U' ');
    s.frame(p.x, p.y, p.w, p.h);
    s.fill(frame.innerX(), frame.captionY(), frame.innerWidth(), kCaptionRows, U' ', captionAttr);
    s.text(frame.titleX(), frame.captionY(), icon + w.caption, captionAttr, frame.titleWidth());
    if (frame.hasCloseBox())
        s.text(frame.closeX(), frame.captionY(), kCloseBox, captionAttr);
    s.fill(frame.innerX(), frame.ruleY(), frame.innerWidth(), 1, U'─');
    s.text(p.x, frame.ruleY(), "├", kNormal);
    s.text(frame.rightX(), frame.ruleY(), "┤", kNormal);
    for (const model::ControlView& c : w.controls)
        drawControl(s, c, frame.innerX(), frame.clientY());
}

void drawStatus(ScreenBuffer& s, const Scene& scene) {
    const int top = s.rows() - kStatusRows;
    s.fill(0, top, s.cols(), kStatusRows, U' ', kReverse);
    const auto rows = statusRows(scene.status, scene.statusDropped, s.cols() - 2);
    for (size_t i = 0; i < rows.size(); ++i)
        s.text(1, top + static_cast<int>(i), rows[i], kReverse, s.cols() - 2);
}

// A rule with the count, the columns' header, then the newest rows and the hint, if one stands,
// at the bottom, where the eye waits for the next press.
void drawLog(ScreenBuffer& s, const PressLog& log, const std::vector<std::string>& failure, int top,
             int rows) {
    s.fill(0, top, s.cols(), rows, U' ');
    const std::string title =
        " Press log: " + std::to_string(log.total()) + (log.total() == 1 ? " press " : " presses ");
    s.fill(0, top, s.cols(), 1, U'─', kDim);
    s.text(2, top, title, kBold, s.cols() - 2);
    s.text(0, top + 1, PressLog::header(), kDim);
    std::vector<std::pair<std::string, uint8_t>> lines;
    for (const LogRow& row : log.rows()) { // the key and protocol names are the kernel's
        if (row.lost.empty()) {
            lines.emplace_back(escapeText(log.format(row), true), kNormal);
            continue;
        }
        // Where a press died, whole: its last words are what to do.
        for (const auto& line :
             wrap(model::decodeUtf8(escapeText(log.format(row), true)), std::max(1, s.cols() - 2)))
            lines.emplace_back(model::utf8(line), kNormal);
    }
    if (log.rows().empty() && log.hint().empty() && failure.empty())
        // True before Start and while polling alike: the log does not see the dialog's button.
        lines.emplace_back(
            "      no press yet: keys pressed on the remote show here while the dialog polls",
            kDim);
    std::vector<std::string> notes = failure; // already escaped, as the status line has them
    notes.push_back(escapeText(log.hint(), true));
    for (const std::string& note : notes)
        for (const auto& line : wrap(model::decodeUtf8(note), std::max(1, s.cols() - 2)))
            if (!line.empty())
                lines.emplace_back(model::utf8(line), kBold);
    const int room = rows - 2;
    const size_t first = lines.size() > static_cast<size_t>(room) ? lines.size() - room : 0;
    for (size_t i = first; i < lines.size(); ++i)
        s.text(1, top + 2 + static_cast<int>(i - first), lines[i].first, lines[i].second,
               s.cols() - 1);
}

} // namespace

std::vector<std::string> statusRows(const std::vector<std::string>& messages, size_t dropped,
                                    int width) {
    const size_t shown = std::min(messages.size(), static_cast<size_t>(kStatusRows));
    const size_t leftOut = dropped + messages.size() - shown;
    std::vector<std::u32string> rows;
    std::vector<bool> cut; // the row's message goes on past it: the row is filled to its end
    for (size_t i = messages.size() - shown; i < messages.size(); ++i) {
        const std::u32string text = model::decodeUtf8(messages[i]);
        auto lines = wrap(text, width);
        const size_t room = shown == 1 ? kStatusRows : 1;
        const bool more = lines.size() > room;
        if (more) {
            lines.resize(room);
            lines.back() = text.substr(afterLines(text, lines, room - 1));
        }
        rows.insert(rows.end(), lines.begin(), lines.end());
        cut.insert(cut.end(), lines.size(), false);
        cut.back() = more;
    }
    std::vector<std::string> out;
    for (size_t i = 0; i < rows.size(); ++i) {
        std::string tail = cut[i] ? "..." : "";
        if (leftOut > 0 && i + 1 == rows.size())
            tail += " (+" + std::to_string(leftOut) + " more after exit)";
        out.push_back(model::utf8(fitted(rows[i], model::decodeUtf8(tail), width)));
    }
    return out;
}

std::vector<Placement> layout(const Scene& scene, int cols, int rows) {
    std::vector<Placement> out;
    const int rowsAbove = std::max(0, rows - kStatusRows - scene.logRows);
    for (const model::WindowView& w : scene.windows) {
        if (!w.visible)
            continue;
        if (w.iconic) { // a minimised window: a bar at the bottom, above the status line
            out.push_back(
                {&w, 0, std::max(0, rowsAbove - 1), std::min(kIconicWidth, cols), 1, true});
            continue;
        }
        const int cw = outerWidth(w.width), ch = outerHeight(w.height);
        int x = (cols - cw) / 2, y = (rowsAbove - ch) / 2;
        if (auto m = scene.moved.find(w.handle); m != scene.moved.end()) {
            x = std::min(x + m->second.first, cols - cw);
            y = std::min(y + m->second.second, rowsAbove - ch);
        }
        out.push_back({&w, std::max(0, x), std::max(0, y), cw, ch, false});
    }
    return out;
}

void minimumSize(const Scene& scene, int& cols, int& rows) {
    cols = 0;
    rows = 0;
    Scene centred = scene;
    centred.moved.clear();
    centred.logRows = 0;
    auto fit = [&cols, &rows](int w, int h) {
        cols = std::max(cols, w);
        rows = std::max(rows, h + 1 + kStatusRows); // a row for a minimised window's bar
    };
    for (const Placement& p : layout(centred, 0, 0))
        fit(p.w, p.h);
    for (const auto& [w, h] : scene.alsoFit)
        fit(outerWidth(w), outerHeight(h));
}

std::vector<std::pair<int, int>> dialogClientSizes(const model::ResourceSet& resources) {
    std::vector<std::pair<int, int>> out;
    for (const model::Resource& r : resources.all()) {
        if (!(r.type == model::kRtDialog))
            continue;
        try { // as the model sizes a dialog: a dialog unit is a quarter and an eighth of a cell
            const model::DialogTemplate t = model::parseDialog(r.data);
            out.emplace_back(t.cx * model::kCharWidth / 4, t.cy * model::kCharHeight / 8);
        } catch (const std::runtime_error&) { // a template that opens no window needs no room
        }
    }
    return out;
}

void render(ScreenBuffer& s, const Scene& scene) {
    s.fill(0, 0, s.cols(), s.rows(), U' ');
    for (const Placement& p : layout(scene, s.cols(), s.rows()))
        drawWindow(s, p);
    if (scene.menu != nullptr && scene.menu->window != nullptr)
        drawMenu(s, scene);
    if (scene.log != nullptr && scene.logRows > 0)
        drawLog(s, *scene.log, scene.failure, s.rows() - kStatusRows - scene.logRows,
                scene.logRows);
    drawStatus(s, scene);
}

Hit hitTest(const Scene& scene, int cols, int rows, int x, int y) {
    Hit hit;
    if (scene.menu != nullptr && scene.menu->window != nullptr) {
        hit.menuItem = menuBox(scene, cols, rows).itemAt(x, y);
        if (hit.menuItem >= 0) {
            hit.window = scene.menu->window;
            return hit;
        }
    }
    const auto places = layout(scene, cols, rows);
    for (auto p = places.rbegin(); p != places.rend(); ++p) {
        if (x < p->x || y < p->y || x >= p->x + p->w || y >= p->y + p->h)
            continue;
        const model::WindowView& w = *p->window;
        hit.window = w.handle;
        const Frame frame(*p);
        if (frame.onCaption(y)) {
            hit.closeBox = frame.onCloseBox(x);
            hit.menuGlyph = !hit.closeBox && frame.onIcon(x);
            return hit;
        }
        for (const model::ControlView& c : w.controls) {
            int x0, y0, x1, y1;
            cells(c, x0, y0, x1, y1);
            const int cx = x - frame.innerX(), cy = y - frame.clientY();
            if (cx >= x0 && cx < x1 && cy >= y0 && cy < y1 && c.kind != model::Kind::GroupBox)
                hit.control = c.handle;
        }
        return hit;
    }
    return hit;
}

} // namespace terminal
