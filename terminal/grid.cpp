// The grid of cells: text written into it, wrapped, measured, and what the terminal is sent.
#include "terminal/grid.h"

#include "platform/model/model.h"

#include <algorithm>

namespace terminal {

namespace {

bool isControl(char32_t c) {
    return c < 0x20 || (c >= 0x7F && c < 0xA0);
}

} // namespace

int textWidth(const std::u32string& s, bool mnemonics) {
    int w = 0;
    bool prefix = false;
    for (char32_t c : s) {
        if (mnemonics && c == U'&' && !prefix) {
            prefix = true;
            continue;
        }
        prefix = false;
        w += charWidth(c);
    }
    return w;
}

int textWidth(const std::string& utf8, bool mnemonics) {
    return textWidth(model::decodeUtf8(utf8), mnemonics);
}

int charWidth(char32_t c) {
    const bool wide = (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF && c != 0x303F) ||
                      (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) ||
                      (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
                      (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x20000 && c <= 0x3FFFD);
    return wide ? 2 : 1;
}

char32_t glyph(const Cell& cell, bool unicode) {
    if (unicode)
        return cell.continuation ? 0 : cell.ch;
    if (cell.continuation)
        return U'?';
    switch (cell.ch) {
    case U'─':
        return U'-';
    case U'│':
        return U'|';
    case U'┌':
    case U'┐':
    case U'└':
    case U'┘':
    case U'├':
    case U'┤':
        return U'+';
    case U'▣':
        return U'#';
    default:
        return cell.ch < 0x7F ? cell.ch : U'?';
    }
}

std::vector<std::u32string> wrap(const std::u32string& text, int w, bool mnemonics) {
    std::vector<std::u32string> lines(1);
    std::u32string word;
    auto flush = [&] {
        if (word.empty())
            return;
        if (!lines.back().empty() &&
            textWidth(lines.back(), mnemonics) + 1 + textWidth(word, mnemonics) > w)
            lines.emplace_back();
        if (!lines.back().empty())
            lines.back() += U' ';
        while (textWidth(word, mnemonics) > w && w > 0) { // a word too long for a line is cut
            size_t n = 0;
            while (n < word.size() && textWidth(word.substr(0, n + 1), mnemonics) <= w)
                ++n;
            // A character wider than the whole line cannot be cut: it takes a line of its own,
            // or the cut would take nothing, again and again.
            n = std::max<size_t>(n, 1);
            lines.back() += word.substr(0, n);
            word.erase(0, n);
            if (!word.empty())
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
    m_cells[index(x, y)] = Cell{isControl(ch) ? U'\uFFFD' : ch, attr, continuation};
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
        const bool underline = mnemonic && c != U'&'; // "&&" is an '&' of its own
        const uint8_t a = underline ? static_cast<uint8_t>(attr | kUnderline) : attr;
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

std::string ScreenBuffer::row(int y, bool unicode) const {
    std::string out;
    for (int x = 0; x < m_cols; ++x)
        if (const char32_t c = glyph(at(x, y), unicode); c != 0)
            model::appendUtf8(out, c);
    return out;
}

std::string ScreenBuffer::dump(bool unicode) const {
    std::string out;
    for (int y = 0; y < m_rows; ++y)
        out += row(y, unicode) + "\n";
    return out;
}

} // namespace terminal
