// The terminal front end: shows the model's windows in a terminal and turns the keyboard,
// the mouse and the real clock into what the window system would give the program.
//
// It is a user of the model's front door (model.h), as a test is: it draws what the view
// shows, acts through the user's actions, and moves the clock to real time. Input always
// comes before a timer that is due, however late the timers are, as on Windows: a slow
// library never keeps a key from being read.
#pragma once

#include "terminal/io.h"
#include "terminal/scene.h"

#include <functional>
#include <string>
#include <vector>

namespace terminal {

class FrontEnd {
  public:
    // messages gives the lines the library wrote since it was last asked (none by default);
    // log, where given, is shown under the dialog when the terminal has room for it.
    FrontEnd(Io& io, model::Program& program,
             std::function<std::vector<std::string>()> messages = {},
             const PressLog* log = nullptr);
    // The program's other windows, which may open later (its dialog templates' client sizes
    // in pixels): the terminal must be large enough for each, not only for those shown.
    void alsoFit(std::vector<std::pair<int, int>> clientSizes);
    // Until the program ends or the user interrupts it; the Io's clock drives the timers.
    void run();
    void handle(const Key& key); // one key or click, as input to the program
    void redraw();
    bool menuOpen() const { return m_menu.window != nullptr; }
    bool moving() const { return m_moving != nullptr; }
    const std::vector<std::string>& messages() const { return m_messages; }
    int waitFor(); // how long the next read may wait, in ms: 0 when a timer is due
    // The program said "ZELK_HWInit() failed!": the verdict a script reads in the exit status.
    bool initFailed() const { return m_initFailed; }

  private:
    Scene scene(int rows, int& needCols, int& needRows) const;
    void placeLog(Scene& s, int rows, int needRows) const;
    void watchForFailure();
    void collectMessages();
    void handleMenuKey(const Key& key);
    void handleMoveKey(const Key& key);
    void handleClick(const Key& key);
    void openMenu(HWND window);
    void moveSelection(int delta);
    void choose(int index);

    Io& m_io;
    model::Program& m_program;
    std::function<std::vector<std::string>()> m_source;
    std::vector<std::string> m_messages; // the newest, escaped (escape.h)
    size_t m_messagesDropped = 0;        // earlier ones, no longer kept
    std::vector<std::pair<int, int>> m_alsoFit;
    OpenMenu m_menu;         // its window is null while no menu is open
    HWND m_moving = nullptr; // the window the arrow keys move, after the menu's Move
    std::map<HWND, std::pair<int, int>> m_moved;
    bool m_interrupted = false;
    bool m_initFailed = false;
    const PressLog* m_log;
};

} // namespace terminal
