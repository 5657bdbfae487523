// Drawing the model's windows into character cells.
#include "screen.h"

#include <algorithm>

namespace terminal {

namespace {

const int kFrameWidth = 2;  // left and right borders
const int kFrameHeight = 4; // top border, caption, separator, bottom border
const int kIconicWidth = 32;

int width(const std::u32string& s) {
    int w = 0;
    for (char32_t c : s)
        w += c == U'&' ? 0 : charWidth(c);
    return w;
}

int width(const std::string& utf8) {
    return width(model::decodeUtf8(utf8));
}

// A control's rectangle in cells, relative to its window's client area; at least one row.
void cells(const model::ControlView& c, int& x0, int& y0, int& x1, int& y1) {
    x0 = c.rect.left / model::kCharWidth;
    y0 = c.rect.top / model::kCharHeight;
    x1 = std::max(x0 + 1, static_cast<int>(c.rect.right / model::kCharWidth));
    y1 = std::max(y0 + 1, static_cast<int>(c.rect.bottom / model::kCharHeight));
}

std::string toUtf8(const std::u32string& s) {
    std::string out;
    for (char32_t c : s)
        model::appendUtf8(out, c);
    return out;
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
        s.text(ox + x0 + std::max(0, (w - width(label)) / 2), oy + y0 + (y1 - y0 - 1) / 2, label,
               c.focused ? kReverse : kNormal, w, false);
        break;
    }
    case model::Kind::Icon:
        s.text(ox + x0, oy + y0, " \\/ ", kNormal, w);
        s.text(ox + x0, oy + y0 + 1, "[TV]", kBold, w);
        break;
    default: {
        const auto lines = wrap(model::decodeUtf8(c.text), w);
        for (size_t i = 0; i < lines.size() && static_cast<int>(i) < y1 - y0; ++i)
            s.text(ox + x0, oy + y0 + static_cast<int>(i), toUtf8(lines[i]), kNormal, w,
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

// The open menu's outer rectangle, in cells.
void menuBox(const Scene& scene, int cols, int rows, int& x, int& y, int& w, int& h) {
    const OpenMenu& menu = *scene.menu;
    int mw = 0;
    for (const auto& item : menu.items)
        mw = std::max(mw, width(menuText(item)));
    w = mw + 4;
    h = static_cast<int>(menu.items.size()) + 2;
    x = y = 0;
    for (const Placement& p : layout(scene, cols, rows))
        if (p.window->handle == menu.window) {
            x = p.x + 1;
            y = p.iconic ? std::max(0, p.y - h) : p.y + 2;
        }
}

void drawMenu(ScreenBuffer& s, const Scene& scene) {
    int mx, my, mw, mh;
    menuBox(scene, s.cols(), s.rows(), mx, my, mw, mh);
    s.fill(mx, my, mw, mh, U' ');
    s.frame(mx, my, mw, mh);
    for (size_t i = 0; i < scene.menu->items.size(); ++i) {
        const auto& item = scene.menu->items[i];
        const int y = my + 1 + static_cast<int>(i);
        if (item.separator) {
            s.fill(mx + 1, y, mw - 2, 1, U'─');
            continue;
        }
        uint8_t attr = item.enabled ? kNormal : kDim;
        if (static_cast<int>(i) == scene.menu->selected)
            attr |= kReverse;
        s.fill(mx + 1, y, mw - 2, 1, U' ', attr);
        s.text(mx + 2, y, menuText(item), attr, mw - 4, false);
    }
}

void drawWindow(ScreenBuffer& s, const Placement& p) {
    const model::WindowView& w = *p.window;
    const uint8_t captionAttr = w.active ? kReverse | kBold : kBold;
    const std::string glyph = !w.smallIcon.empty() || !w.bigIcon.empty() ? "▣ " : "";
    if (p.iconic) {
        s.fill(p.x, p.y, p.w, 1, U' ', captionAttr);
        s.text(p.x, p.y, "[" + glyph + w.caption, captionAttr, p.w - 1);
        s.text(p.x + p.w - 1, p.y, "]", captionAttr);
        return;
    }
    s.fill(p.x, p.y, p.w, p.h, U' ');
    s.frame(p.x, p.y, p.w, p.h);
    s.fill(p.x + 1, p.y + 1, p.w - 2, 1, U' ', captionAttr);
    s.text(p.x + 2, p.y + 1, glyph + w.caption, captionAttr, p.w - 8);
    if (w.systemMenu)
        s.text(p.x + p.w - 4, p.y + 1, "[X]", captionAttr);
    s.fill(p.x + 1, p.y + 2, p.w - 2, 1, U'─');
    s.text(p.x, p.y + 2, "├", kNormal);
    s.text(p.x + p.w - 1, p.y + 2, "┤", kNormal);
    for (const model::ControlView& c : w.controls)
        drawControl(s, c, p.x + 1, p.y + 3);
}

void drawStatus(ScreenBuffer& s, const std::vector<std::string>& messages) {
    const int top = s.rows() - kStatusRows;
    s.fill(0, top, s.cols(), kStatusRows, U' ', kReverse);
    // The newest message, and before it as many earlier ones as fit whole: two bad settings
    // are two reasons, and one must not hide the other.
    std::vector<std::u32string> lines;
    for (auto m = messages.rbegin(); m != messages.rend(); ++m) {
        auto more = wrap(model::decodeUtf8(*m), s.cols() - 2);
        if (!lines.empty() && lines.size() + more.size() > static_cast<size_t>(kStatusRows))
            break;
        lines.insert(lines.begin(), more.begin(), more.end());
    }
    // The end of a long message says what to do: keep it when the message must be cut.
    const size_t first = lines.size() > kStatusRows ? lines.size() - kStatusRows : 0;
    for (size_t i = first; i < lines.size(); ++i)
        s.text(1, top + static_cast<int>(i - first), toUtf8(lines[i]), kReverse, s.cols() - 2);
}

// A rule with the count, the columns' header, then the newest rows and the hint, if one stands,
// at the bottom, where the eye waits for the next press.
void drawLog(ScreenBuffer& s, const PressLog& log, int top, int rows) {
    s.fill(0, top, s.cols(), rows, U' ');
    const std::string title =
        " Press log: " + std::to_string(log.total()) + (log.total() == 1 ? " press " : " presses ");
    s.fill(0, top, s.cols(), 1, U'─', kDim);
    s.text(2, top, title, kBold, s.cols() - 2);
    s.text(0, top + 1, PressLog::header(), kDim);
    std::vector<std::pair<std::string, uint8_t>> lines;
    for (const LogRow& row : log.rows())
        lines.emplace_back(PressLog::format(row), kNormal);
    if (log.rows().empty() && log.hint().empty())
        lines.emplace_back("      no press yet: press Start, then keys on the remote", kDim);
    for (const auto& line : wrap(model::decodeUtf8(log.hint()), std::max(1, s.cols() - 2)))
        if (!line.empty())
            lines.emplace_back(toUtf8(line), kBold);
    const int room = rows - 2;
    const size_t first = lines.size() > static_cast<size_t>(room) ? lines.size() - room : 0;
    for (size_t i = first; i < lines.size(); ++i)
        s.text(1, top + 2 + static_cast<int>(i - first), lines[i].first, lines[i].second,
               s.cols() - 1);
}

} // namespace

int charWidth(char32_t c) {
    const bool wide = (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF && c != 0x303F) ||
                      (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) ||
                      (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
                      (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x20000 && c <= 0x3FFFD);
    return wide ? 2 : 1;
}

std::vector<std::u32string> wrap(const std::u32string& text, int w) {
    std::vector<std::u32string> lines(1);
    std::u32string word;
    auto flush = [&] {
        if (word.empty())
            return;
        if (!lines.back().empty() && width(lines.back()) + 1 + width(word) > w)
            lines.emplace_back();
        if (!lines.back().empty())
            lines.back() += U' ';
        while (width(word) > w && w > 0) { // a word too long for a line is cut
            size_t n = 0;
            while (n < word.size() && width(word.substr(0, n + 1)) <= w)
                ++n;
            lines.back() += word.substr(0, n);
            word.erase(0, n);
            lines.emplace_back();
        }
        lines.back() += word;
        word.clear();
    };
    for (char32_t c : text) {
        if (c == U' ' || c == U'\n')
            flush();
        else
            word += c;
    }
    flush();
    return lines;
}

ScreenBuffer::ScreenBuffer(int cols, int rows)
    : m_cols(cols), m_rows(rows), m_cells(static_cast<size_t>(cols) * static_cast<size_t>(rows)) {}

void ScreenBuffer::put(int x, int y, char32_t ch, uint8_t attr, bool continuation) {
    if (x < 0 || y < 0 || x >= m_cols || y >= m_rows)
        return;
    m_cells[index(x, y)] = Cell{ch, attr, continuation};
}

int ScreenBuffer::text(int x, int y, const std::string& utf8Text, uint8_t attr, int maxWidth,
                       bool plain) {
    int used = 0;
    bool mnemonic = false;
    for (char32_t c : model::decodeUtf8(utf8Text)) {
        if (!plain && c == U'&' && !mnemonic) {
            mnemonic = true;
            continue;
        }
        const int w = charWidth(c);
        if (used + w > maxWidth || x + used + w > m_cols)
            break;
        const uint8_t a = mnemonic ? static_cast<uint8_t>(attr | kUnderline) : attr;
        put(x + used, y, c, a);
        if (w == 2)
            put(x + used + 1, y, U' ', a, true);
        used += w;
        mnemonic = false;
    }
    return used;
}

void ScreenBuffer::fill(int x, int y, int w, int h, char32_t ch, uint8_t attr) {
    for (int j = 0; j < h; ++j)
        for (int i = 0; i < w; ++i)
            put(x + i, y + j, ch, attr);
}

void ScreenBuffer::frame(int x, int y, int w, int h, uint8_t attr) {
    if (w < 2 || h < 2)
        return;
    fill(x + 1, y, w - 2, 1, U'─', attr);
    fill(x + 1, y + h - 1, w - 2, 1, U'─', attr);
    fill(x, y + 1, 1, h - 2, U'│', attr);
    fill(x + w - 1, y + 1, 1, h - 2, U'│', attr);
    put(x, y, U'┌', attr);
    put(x + w - 1, y, U'┐', attr);
    put(x, y + h - 1, U'└', attr);
    put(x + w - 1, y + h - 1, U'┘', attr);
}

std::string ScreenBuffer::row(int y) const {
    std::string out;
    for (int x = 0; x < m_cols; ++x)
        if (!at(x, y).continuation)
            model::appendUtf8(out, at(x, y).ch);
    return out;
}

std::string ScreenBuffer::dump() const {
    std::string out;
    for (int y = 0; y < m_rows; ++y)
        out += row(y) + "\n";
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
        const int cw = (w.width + model::kCharWidth - 1) / model::kCharWidth + kFrameWidth;
        const int ch = (w.height + model::kCharHeight - 1) / model::kCharHeight + kFrameHeight;
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
    for (const Placement& p : layout(centred, 0, 0)) {
        cols = std::max(cols, p.w);
        rows = std::max(rows, p.h + 1 + kStatusRows); // a row for a minimised window's bar
    }
}

void render(ScreenBuffer& s, const Scene& scene) {
    s.fill(0, 0, s.cols(), s.rows(), U' ');
    for (const Placement& p : layout(scene, s.cols(), s.rows()))
        drawWindow(s, p);
    if (scene.menu != nullptr && scene.menu->window != nullptr)
        drawMenu(s, scene);
    if (scene.log != nullptr && scene.logRows > 0)
        drawLog(s, *scene.log, s.rows() - kStatusRows - scene.logRows, scene.logRows);
    drawStatus(s, scene.status);
}

Hit hitTest(const Scene& scene, int cols, int rows, int x, int y) {
    Hit hit;
    if (scene.menu != nullptr && scene.menu->window != nullptr) {
        int mx, my, mw, mh;
        menuBox(scene, cols, rows, mx, my, mw, mh);
        if (x > mx && x < mx + mw - 1 && y > my && y < my + mh - 1) {
            hit.window = scene.menu->window;
            hit.menuItem = y - my - 1;
            return hit;
        }
    }
    const auto places = layout(scene, cols, rows);
    for (auto p = places.rbegin(); p != places.rend(); ++p) {
        if (x < p->x || y < p->y || x >= p->x + p->w || y >= p->y + p->h)
            continue;
        const model::WindowView& w = *p->window;
        hit.window = w.handle;
        if (p->iconic || y == p->y + 1) {
            hit.closeBox =
                !p->iconic && w.systemMenu && x >= p->x + p->w - 4 && x < p->x + p->w - 1;
            hit.menuGlyph = !hit.closeBox && x <= p->x + 3;
            return hit;
        }
        for (const model::ControlView& c : w.controls) {
            int x0, y0, x1, y1;
            cells(c, x0, y0, x1, y1);
            const int cx = x - p->x - 1, cy = y - p->y - 3;
            if (cx >= x0 && cx < x1 && cy >= y0 && cy < y1 && c.kind != model::Kind::GroupBox)
                hit.control = c.handle;
        }
        return hit;
    }
    return hit;
}

} // namespace terminal
