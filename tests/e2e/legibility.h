// How legible a control's text is on the screen, as a person sees it: the pixels Wine drew,
// read back from the display, not what the program asked for.
#pragma once

#include <windows.h>

#include <string>

struct Ink {
    int pixels = 0;          // pixels of the text: those not of the background's colour
    COLORREF background = 0; // the colour most of the control's pixels have
    COLORREF darkest = 0;
    COLORREF quarter = 0; // a quarter of the text's pixels are this dark or darker
};

// The text of a control as drawn, once it is drawn and two reads a moment apart agree, or
// what is there after timeoutMs. A text of smoothed thin strokes has a few dark pixels and
// many light ones: the quarter, not the darkest, says how dark its strokes read.
Ink inkOf(HWND control, DWORD timeoutMs = 3000);

// The contrast ratio of two colours, 1 to 21, by their relative luminance (as WCAG 2 defines
// both): 4.5 is the least for body text.
double contrast(COLORREF a, COLORREF b);

// "ink 158 px, darkest #000000 (18.1:1), a quarter at #3C3C3C or darker (11.0:1) on #F5F5F5"
std::string describe(const Ink& ink);
