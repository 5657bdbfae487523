// The terminal front end's picture of the model's windows, drawn into a grid of cells (grid.h)
// from the windows' state alone, so it can be checked without a terminal.
//
// One cell is 4 x 8 dialog units (a quarter of the average character width and an eighth of
// its height are one dialog unit), so dialogs keep the proportions of their templates.
// Chinese characters take two cells. Below the windows, a status line shows the library's
// messages.
#pragma once

#include "platform/model/model.h"
#include "terminal/grid.h"
#include "terminal/presslog.h"

#include <map>
#include <string>
#include <vector>

namespace terminal {

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
    std::vector<std::string> status;          // the messages, newest last
    size_t statusDropped = 0;                 // earlier messages, no longer kept
    std::vector<std::pair<int, int>> alsoFit; // client sizes (pixels) of windows that may open
    const PressLog* log = nullptr;            // shown above the status line when logRows > 0
    int logRows = 0;
    std::vector<std::string> failure; // why the set-up failed: in the log's rows, whole
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

// The smallest screen on which the windows, those that may open, and the status line fit.
void minimumSize(const Scene& scene, int& cols, int& rows);

// The client sizes in pixels of the dialogs the resources' templates make, for Scene::alsoFit.
std::vector<std::pair<int, int>> dialogClientSizes(const model::ResourceSet& resources);

// Draws every visible top-level window, the open menu, if any, the press log and the status line.
void render(ScreenBuffer& screen, const Scene& scene);

// The status line's rows for its messages (newest last) and the number of earlier ones no
// longer kept: the newest messages, each from its beginning, one a row (a message alone may
// take every row); a message cut ends in "...", and the last row says how many are left out,
// since all are printed again after the exit.
std::vector<std::string> statusRows(const std::vector<std::string>& messages, size_t dropped,
                                    int width);

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
