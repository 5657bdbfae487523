// Keys, clicks, the system menu, moving a window, the status line and real time.
#include "terminal/frontend.h"

#include "terminal/escape.h"

#include <algorithm>
#include <cwctype>

namespace terminal {

namespace {

// The underlined letter of an item: the one after '&'.
char32_t mnemonic(const std::string& text) {
    const std::u32string t = model::decodeUtf8(text);
    const size_t amp = t.find(U'&');
    return amp != std::u32string::npos && amp + 1 < t.size() ? t[amp + 1] : 0;
}

// The messages kept for the status line; it shows the newest, and counts the rest.
const size_t kMessagesKept = 64;

} // namespace

FrontEnd::FrontEnd(Io& io, model::Program& program,
                   std::function<std::vector<std::string>()> messages, const PressLog* log)
    : m_io(io), m_program(program), m_source(std::move(messages)), m_log(log) {}

void FrontEnd::alsoFit(std::vector<std::pair<int, int>> clientSizes) {
    m_alsoFit = std::move(clientSizes);
}

// The library's lines are its own, and may hold anything: they are escaped and bounded here.
void FrontEnd::collectMessages() {
    if (!m_source)
        return;
    for (const std::string& line : m_source())
        m_messages.push_back(escapeText(line, true));
    if (m_messages.size() > kMessagesKept) {
        const size_t drop = m_messages.size() - kMessagesKept;
        m_messages.erase(m_messages.begin(), m_messages.begin() + static_cast<ptrdiff_t>(drop));
        m_messagesDropped += drop;
    }
}

// needCols and needRows get the smallest screen for the windows (minimumSize): the log's place
// and the redraw's size check both need it, and finding it copies the scene, so it is found once.
Scene FrontEnd::scene(int rows, int& needCols, int& needRows) const {
    Scene s;
    s.windows = m_program.windows();
    s.moved = m_moved;
    s.menu = menuOpen() ? &m_menu : nullptr;
    s.status = m_messages;
    s.statusDropped = m_messagesDropped;
    s.alsoFit = m_alsoFit;
    minimumSize(s, needCols, needRows); // the log, the status and the moves do not change it
    if (m_log != nullptr)
        placeLog(s, rows, needRows);
    if (moving()) {
        s.status = {"Moving: the arrow keys move the window; Enter or Esc when it is there."};
        s.statusDropped = 0;
    }
    return s;
}

// The log takes the rows the dialog does not need, up to a dozen; without room for its header
// and two rows it is left out, and the status line says so. The hint, long as it is, goes in
// the log's rows, with a pointer on the status line; without the log, on the status line.
void FrontEnd::placeLog(Scene& s, int rows, int needRows) const {
    const int room = rows - needRows;
    s.log = m_log;
    s.logRows = room >= kLogMinRows ? std::min(room, kLogMaxRows) : 0;
    const std::string hint = escapeText(m_log->hint(), true);
    if (m_initFailed) // nothing will be pressed: the log's rows give why, all of it
        s.failure = m_messages;
    if (s.logRows == 0)
        s.status.push_back("(press log left out: it needs " +
                           std::to_string(needRows + kLogMinRows) + " rows, the terminal has " +
                           std::to_string(rows) + ")");
    if (!hint.empty() && s.logRows == 0)
        s.status.push_back("rireruv: " + hint);
    else if (!hint.empty())
        s.status.push_back("rireruv: " + hint.substr(0, hint.find(": ")) +
                           ": what to check is above, in the press log");
}

void FrontEnd::watchForFailure() {
    for (const model::WindowView& w : m_program.windows())
        for (const model::ControlView& c : w.controls)
            if (w.kind == model::Kind::MessageBox &&
                c.text.find("ZELK_HWInit() failed!") != std::string::npos)
                m_initFailed = true;
}

void FrontEnd::redraw() {
    collectMessages();
    watchForFailure();
    int cols = 0, rows = 0, needCols = 0, needRows = 0;
    m_io.size(cols, rows);
    const Scene now = scene(rows, needCols, needRows);
    ScreenBuffer screen(std::max(cols, 1), std::max(rows, 1));
    if (cols < needCols || rows < needRows) {
        const std::string notice =
            "The terminal is too small for the verifier. It needs " + std::to_string(needCols) +
            "x" + std::to_string(needRows) + " characters; this one has " + std::to_string(cols) +
            "x" + std::to_string(rows) + ". Enlarge it, and the verifier comes back.";
        const auto lines = wrap(model::decodeUtf8(notice), std::max(cols, 1));
        const int top = std::max(0, (rows - static_cast<int>(lines.size())) / 2);
        for (size_t i = 0; i < lines.size(); ++i)
            screen.text(0, top + static_cast<int>(i), model::utf8(lines[i]), kBold);
    } else {
        render(screen, now);
    }
    m_io.draw(screen);
}

int FrontEnd::waitFor() {
    const auto due = m_program.nextDue();
    if (!due)
        return 1000;
    const uint64_t now = m_io.now();
    return *due <= now ? 0 : static_cast<int>(std::min<uint64_t>(*due - now, 1000));
}

void FrontEnd::run() {
    while (m_program.running() && !m_interrupted) {
        m_program.advanceTo(m_io.now()); // what is due: input first, then one tick
        if (!m_program.running())
            break;
        if (m_menu.window != nullptr && !m_program.window(m_menu.window))
            m_menu = OpenMenu{};
        redraw();
        Key key;
        if (!m_io.read(key, waitFor()))
            continue;
        // The key comes now, not when the clock was last read: a timer the program sets for
        // it is due a period from now, however long the wait for the key was.
        m_program.inputAt(m_io.now());
        handle(key);
    }
}

void FrontEnd::openMenu(HWND window) {
    const auto w = m_program.window(window);
    if (!w || !w->systemMenu || !w->enabled)
        return;
    m_menu = OpenMenu{window, m_program.openSystemMenu(window), -1};
    moveSelection(1);
}

void FrontEnd::moveSelection(int delta) {
    const int n = static_cast<int>(m_menu.items.size());
    int i = m_menu.selected;
    for (int step = 0; step < n; ++step) {
        i = ((i + delta) % n + n) % n;
        if (m_menu.items[static_cast<size_t>(i)].enabled) {
            m_menu.selected = i;
            return;
        }
    }
}

void FrontEnd::choose(int index) {
    const OpenMenu chosen = m_menu;
    m_menu = OpenMenu{};
    if (index < 0 || index >= static_cast<int>(chosen.items.size()))
        return;
    const model::MenuItemView& item = chosen.items[static_cast<size_t>(index)];
    if (!item.enabled || !m_program.chooseSystemMenu(item.id, chosen.window))
        return;
    // The window system's move loop follows the keyboard until Enter or Esc.
    if (item.id == SC_MOVE && m_program.window(chosen.window))
        m_moving = chosen.window;
}

void FrontEnd::handleMenuKey(const Key& key) {
    switch (key.kind) {
    case Key::Up:
        moveSelection(-1);
        break;
    case Key::Down:
        moveSelection(1);
        break;
    case Key::Enter:
        choose(m_menu.selected);
        break;
    case Key::Click:
        handleClick(key);
        break;
    case Key::Char:
        for (size_t i = 0; i < m_menu.items.size(); ++i) {
            const char32_t m = mnemonic(m_menu.items[i].text);
            if (m != 0 && m_menu.items[i].enabled &&
                std::towlower(static_cast<wint_t>(m)) ==
                    std::towlower(static_cast<wint_t>(key.ch))) {
                choose(static_cast<int>(i));
                break;
            }
        }
        break;
    default: // Esc, the menu key again
        m_menu = OpenMenu{};
        break;
    }
}

// An arrow moves the window a cell; Enter, Esc or a click puts it down where it is.
void FrontEnd::handleMoveKey(const Key& key) {
    auto& [dx, dy] = m_moved[m_moving];
    dx += (key.kind == Key::Right) - (key.kind == Key::Left);
    dy += (key.kind == Key::Down) - (key.kind == Key::Up);
    if (key.kind == Key::Enter || key.kind == Key::Escape || key.kind == Key::Click)
        m_moving = nullptr;
}

void FrontEnd::handleClick(const Key& key) {
    int cols = 0, rows = 0, needCols = 0, needRows = 0;
    m_io.size(cols, rows);
    const Scene now = scene(rows, needCols, needRows);
    const Hit hit = hitTest(now, cols, rows, key.x, key.y);
    if (menuOpen()) {
        if (hit.menuItem >= 0)
            choose(hit.menuItem);
        else
            m_menu = OpenMenu{}; // a click elsewhere closes the menu
        return;
    }
    if (hit.closeBox)
        m_program.closeBox(hit.window);
    else if (hit.menuGlyph)
        openMenu(hit.window);
    else if (hit.control != nullptr)
        m_program.clickControl(hit.control);
}

void FrontEnd::handle(const Key& key) {
    if (key.kind == Key::Interrupt) {
        m_interrupted = true;
        return;
    }
    if (key.kind == Key::Resize || key.kind == Key::None)
        return;
    if (moving())
        return handleMoveKey(key);
    if (menuOpen())
        return handleMenuKey(key);
    switch (key.kind) {
    case Key::Tab:
    case Key::BackTab:
        m_program.key(VK_TAB, key.kind == Key::BackTab);
        break;
    case Key::Enter:
        m_program.key(VK_RETURN);
        break;
    case Key::Escape:
        m_program.key(VK_ESCAPE);
        break;
    case Key::Char:
        if (key.ch == U' ')
            m_program.key(VK_SPACE);
        break;
    case Key::AltF4: // the window system turns it into the active window's Close command
        m_program.sysCommand(SC_CLOSE);
        break;
    case Key::Menu:
        openMenu(m_program.active());
        break;
    case Key::Click:
        handleClick(key);
        break;
    default:
        break;
    }
}

} // namespace terminal
