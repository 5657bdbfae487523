// The terminal front end's picture of the model's windows: a grid of character cells, drawn
// from the windows' state alone, so it can be checked without a terminal.
//
// One cell is 4 x 8 dialog units (a quarter of the average character width and an eighth of
// its height are one dialog unit), so dialogs keep the proportions of their templates.
// Chinese characters take two cells.
#pragma once

#include "desktop.h"

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

// Where a top-level window goes on the screen: its outer rectangle, in cells.
struct Placement {
    HWND hwnd;
    int x, y, w, h;
    bool iconic;
};
std::vector<Placement> layout(int cols, int rows); // bottom window first

// The smallest screen on which the windows fit.
void minimumSize(int& cols, int& rows);

// The system menu a front end shows: its window, its items and the highlighted one.
struct OpenMenu {
    HWND window = nullptr;
    int selected = 0;
};

// Draws every visible top-level window, and the open menu, if any.
void render(ScreenBuffer& screen, const OpenMenu* menu);

// What is under a cell: a control, the close glyph of a caption, or a caption's icon.
struct Hit {
    HWND window = nullptr;
    HWND control = nullptr;
    bool closeBox = false;
    bool menuGlyph = false;
};
Hit hitTest(int cols, int rows, int x, int y);

} // namespace terminal
