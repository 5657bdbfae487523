// The terminal front end's picture of the model's windows: a grid of character cells, drawn
// from the windows' state alone, so it can be checked without a terminal.
//
// One cell is 4 x 8 dialog units (a quarter of the average character width and an eighth of
// its height are one dialog unit), so dialogs keep the proportions of their templates.
// Chinese characters take two cells. Below the windows, a status line shows the library's
// messages.
#pragma once

#include "model.h"
#include "presslog.h"

#include <map>
#include <string>
#include <vector>

namespace terminal {

enum Attr : uint8_t {
    kNormal = 0,
    kReverse = 1,  // the active caption, the focused button, the chosen menu item
    kBold = 2,     // captions
    kDim = 4,      // greyed menu items, disabled windows
    kUnderline = 8 // mnemonics
};

struct Cell {
    char32_t ch = U' ';
    uint8_t attr = kNormal;
    bool continuation = false; // the right half of a double-width character
};

int charWidth(char32_t c); // 1, or 2 for East Asian wide characters

class ScreenBuffer {
  public:
    ScreenBuffer(int cols, int rows);
    int cols() const { return m_cols; }
    int rows() const { return m_rows; }
    const Cell& at(int x, int y) const { return m_cells[index(x, y)]; }
    // Writes UTF-8 text from (x, y), clipped to the row and to maxWidth cells; returns the cells
    // used. '&' marks the next character as a mnemonic (underlined) unless plain is set.
    int text(int x, int y, const std::string& utf8, uint8_t attr, int maxWidth = 1 << 20,
             bool plain = true);
    void fill(int x, int y, int w, int h, char32_t ch, uint8_t attr = kNormal);
    void frame(int x, int y, int w, int h, uint8_t attr = kNormal);
    std::string row(int y) const; // as UTF-8, continuation cells left out
    std::string dump() const;     // all rows, one per line

  private:
    void put(int x, int y, char32_t ch, uint8_t attr, bool continuation = false);
    size_t index(int x, int y) const {
        return static_cast<size_t>(y) * static_cast<size_t>(m_cols) + static_cast<size_t>(x);
    }
    int m_cols, m_rows;
    std::vector<Cell> m_cells;
};

// The system menu a front end shows: its window, its items and the highlighted one.
struct OpenMenu {
    HWND window = nullptr;
    std::vector<model::MenuItemView> items;
    int selected = 0;
};

// What there is to draw: the windows as the model shows them, where the user moved them, the
// open menu and the status line.
struct Scene {
    std::vector<model::WindowView> windows;    // bottom first
    std::map<HWND, std::pair<int, int>> moved; // cells right and down of the centred place
    const OpenMenu* menu = nullptr;
    std::vector<std::string> status; // the messages, newest last
    const PressLog* log = nullptr;   // shown above the status line when logRows > 0
    int logRows = 0;
};

const int kStatusRows = 2; // the status line's rows at the bottom of the screen
const int kLogMinRows = 4; // the press log's rule, its header and two rows
const int kLogMaxRows = 12;

// Where a top-level window goes on the screen: its outer rectangle, in cells.
struct Placement {
    const model::WindowView* window;
    int x, y, w, h;
    bool iconic;
};
std::vector<Placement> layout(const Scene& scene, int cols, int rows); // bottom window first

// The smallest screen on which the windows and the status line fit.
void minimumSize(const Scene& scene, int& cols, int& rows);

// Draws every visible top-level window, the open menu, if any, the press log and the status line.
void render(ScreenBuffer& screen, const Scene& scene);

// Breaks text into lines of at most w cells, at spaces where it can, as SS_LEFT does.
std::vector<std::u32string> wrap(const std::u32string& text, int w);

// What is under a cell: a control, the close glyph of a caption, a caption's icon, or an item
// of the open menu.
struct Hit {
    HWND window = nullptr;
    HWND control = nullptr;
    bool closeBox = false;
    bool menuGlyph = false;
    int menuItem = -1;
};
Hit hitTest(const Scene& scene, int cols, int rows, int x, int y);

} // namespace terminal
