// Reads a control's text back from the screen and says how dark it is drawn.
#include "tests/e2e/legibility.h"

#include "tests/e2e/session.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <vector>

namespace {

// The screen's pixels in a rectangle, row by row from the top, as 0x00RRGGBB.
std::vector<DWORD> screenPixels(const RECT& r) {
    const std::vector<char> bytes = screenBytes(r, 32, true);
    std::vector<DWORD> pixels(bytes.size() / sizeof(DWORD));
    std::memcpy(pixels.data(), bytes.data(), pixels.size() * sizeof(DWORD));
    for (DWORD& px : pixels)
        px &= 0xFFFFFF;
    return pixels;
}

COLORREF fromPixel(DWORD px) {
    return RGB((px >> 16) & 0xFF, (px >> 8) & 0xFF, px & 0xFF);
}

double luminance(COLORREF c) {
    auto linear = [](int channel) {
        const double v = channel / 255.0;
        return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * linear(GetRValue(c)) + 0.7152 * linear(GetGValue(c)) +
           0.0722 * linear(GetBValue(c));
}

Ink measure(const std::vector<DWORD>& pixels) {
    Ink ink;
    std::map<DWORD, int> counts;
    for (DWORD px : pixels)
        ++counts[px];
    if (counts.empty())
        return ink;
    const DWORD background =
        std::max_element(counts.begin(), counts.end(), [](const auto& a, const auto& b) {
            return a.second < b.second;
        })->first;
    ink.background = fromPixel(background);
    std::vector<std::pair<double, COLORREF>> text;
    for (DWORD px : pixels)
        if (px != background)
            text.emplace_back(luminance(fromPixel(px)), fromPixel(px));
    ink.pixels = static_cast<int>(text.size());
    if (text.empty())
        return ink;
    std::sort(text.begin(), text.end());
    ink.darkest = text.front().second;
    ink.quarter = text[text.size() / 4].second;
    return ink;
}

std::string hexColour(COLORREF c) {
    char s[8];
    std::snprintf(s, sizeof s, "#%02X%02X%02X", GetRValue(c), GetGValue(c), GetBValue(c));
    return s;
}

std::string ratio(double r) {
    char s[16];
    std::snprintf(s, sizeof s, "%.1f:1", r);
    return s;
}

} // namespace

double contrast(COLORREF a, COLORREF b) {
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

Ink inkOf(HWND control, DWORD timeoutMs) {
    // Drawn, and drawn through: Wine copies a window's pixels to the display a little after
    // the program paints, so the same pixels twice in a row are what a person sees.
    std::vector<DWORD> previous;
    for (DWORD waited = 0;; waited += 50) {
        RECT r{};
        GetWindowRect(control, &r);
        std::vector<DWORD> now = screenPixels(r);
        const Ink ink = measure(now);
        if ((ink.pixels > 0 && now == previous) || waited >= timeoutMs)
            return ink;
        previous = std::move(now);
        Sleep(50);
    }
}

std::string describe(const Ink& ink) {
    if (ink.pixels == 0)
        return "no text drawn on " + hexColour(ink.background);
    return "ink " + std::to_string(ink.pixels) + " px, darkest " + hexColour(ink.darkest) + " (" +
           ratio(contrast(ink.darkest, ink.background)) + "), a quarter at " +
           hexColour(ink.quarter) + " or darker (" + ratio(contrast(ink.quarter, ink.background)) +
           ") on " + hexColour(ink.background);
}
