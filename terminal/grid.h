// A grid of character cells, as the terminal shows them: text written into it (UTF-8, labels
// with their mnemonics), measured and wrapped as the dialog's static texts are, and what each
// cell is sent as, in a locale that can show UTF-8 or in one that cannot.
#pragma once

#include <cstdint>
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

// What the terminal is sent for a cell: the cell's character, or 0 for the right half of a
// double-width one. Where the locale cannot show UTF-8 (unicode false), ASCII: frames drawn with
// + - |, and '?' in each cell of any other character beyond ASCII.
char32_t glyph(const Cell& cell, bool unicode);

class ScreenBuffer {
  public:
    ScreenBuffer(int cols, int rows);
    int cols() const { return m_cols; }
    int rows() const { return m_rows; }
    const Cell& at(int x, int y) const { return m_cells[index(x, y)]; }
    // Writes UTF-8 text from (x, y), clipped to the row and to maxWidth cells; returns the cells
    // used. Unless plain is set, '&' marks the next character as a mnemonic (underlined), and
    // "&&" is an '&'. A control character is shown as U+FFFD: the terminal would obey it.
    int text(int x, int y, const std::string& utf8, uint8_t attr, int maxWidth = 1 << 20,
             bool plain = true);
    void fill(int x, int y, int w, int h, char32_t ch, uint8_t attr = kNormal);
    void frame(int x, int y, int w, int h, uint8_t attr = kNormal);
    // As UTF-8, as the terminal gets it (glyph): in ASCII where unicode is false.
    std::string row(int y, bool unicode = true) const;
    std::string dump(bool unicode = true) const; // all rows, one per line

  private:
    void put(int x, int y, char32_t ch, uint8_t attr, bool continuation = false);
    size_t index(int x, int y) const {
        return static_cast<size_t>(y) * static_cast<size_t>(m_cols) + static_cast<size_t>(x);
    }
    int m_cols, m_rows;
    std::vector<Cell> m_cells;
};

// The cells text takes; with mnemonics, as ScreenBuffer::text draws a label, whose '&' takes
// none. Only labels (menus, buttons, static texts without SS_NOPREFIX) have them: in any other
// text (a message, a caption) an '&' is a character like the others.
int textWidth(const std::u32string& text, bool mnemonics = false);
int textWidth(const std::string& utf8, bool mnemonics = false);

// Breaks text into lines of at most w cells, at spaces where it can, as SS_LEFT does; with
// mnemonics, an '&' takes no cell (ScreenBuffer::text). A character wider than w (a wide one at
// w 1) takes a line of its own, the one line wider than w.
std::vector<std::u32string> wrap(const std::u32string& text, int w, bool mnemonics = false);

} // namespace terminal
