// The press log as the library's notes make it (library_log.cpp): the rows a poll's presses
// become, told by the scripted library as a poll tells them.
#include "platform/zelk.h"
#include "terminal/library_log.h"
#include "tests/terminal/scripted_library.h"

#include <gtest/gtest.h>

namespace {

// Four presses in one poll: the dialog showed the last one's byte, so the others' are in
// brackets; the toggle is a number wherever the receiver gives one, 0 too, and "-" where not.
TEST(LibraryLog, APollsPressesAreRowsThatSayWhichByteTheDialogShowed) {
    const RireruvPress presses[] = {
        {1, 1200, 0x1e0c, "rc-5", 0, 0, "KEY_POWER", "rc-5-tv", 0x0c, 0, 1, 0, 0, 0, "", "", 1},
        {2, 1200, 0x1e0c, "rc-5", 0, 1, "KEY_POWER", "rc-5-tv", 0x0c, 0, 1, 0, 0, 0, "", "", 1},
        {3, 1200, 0x40c, "nec", 0, -1, nullptr, "rc-5-tv", 0x0c, 0, 1, 0, 0, 0, "", "", 1},
        {4, 1200, 0x05, "-", -1, -1, nullptr, "", 0x05, 1, 1, 0, 0, 0, "", "", 1},
    };
    const std::vector<std::string> expected = {
        "     1    1.200    0x1e0c rc-5      0   -          KEY_POWER                (0C)",
        "     2    1.200    0x1e0c rc-5      1   -          KEY_POWER                (0C)",
        "     3    1.200     0x40c nec       -   -          not in rc-5-tv           (0C)",
        "     4    1.200       0x5 -         -   -          -                         05",
    };
    scripted::Script script;
    script.polls.emplace_back();
    for (const RireruvPress& p : presses)
        script.polls[0].push_back({RIRERUV_NOTE_PRESS, &p, ""});
    scripted::play(script);

    terminal::PressLog log;
    terminal::listenToLibrary(&log);
    unsigned char byte = 0;
    ZELK_GetRemoteData(&byte);
    terminal::listenToLibrary(nullptr);
    std::vector<std::string> rows;
    for (const terminal::LogRow& row : log.rows())
        rows.push_back(log.format(row));
    EXPECT_EQ(rows, expected);
}

} // namespace
