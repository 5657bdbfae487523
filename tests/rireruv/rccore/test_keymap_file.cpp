// Keymap files as rc_keymap(5) has them: every keymap Debian ships reads, and reads back the
// same once written; what is no such file says on which line.
#include "receivers/keymap_file.h"

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>

namespace {

using rireruv::KeymapFile;

// The shipped keymaps (ir-keytable's package, in the tests' set-up): the files --identify ranks.
TEST(KeymapFile, EveryShippedKeymapReadsAndWritesBackTheSame) {
    const std::filesystem::path shipped = "/lib/udev/rc_keymaps";
    ASSERT_TRUE(std::filesystem::is_directory(shipped)) << "ir-keytable is not installed";
    size_t files = 0, pairs = 0;
    for (const auto& entry : std::filesystem::directory_iterator(shipped)) {
        if (entry.path().extension() != ".toml") // protocols/ holds BPF decoders
            continue;
        SCOPED_TRACE(entry.path().string());
        KeymapFile file, again;
        std::string why;
        ASSERT_TRUE(rireruv::readKeymapFile(entry.path(), file, why)) << why;
        ASSERT_TRUE(rireruv::parseKeymapFile(rireruv::writeKeymapFile(file, "again"), again, why))
            << why;
        ASSERT_EQ(again.protocols.size(), file.protocols.size());
        for (size_t i = 0; i < file.protocols.size(); ++i) {
            auto expected = file.protocols[i].scancodes;
            std::stable_sort(expected.begin(), expected.end(),
                             [](const auto& a, const auto& b) { return a.first < b.first; });
            EXPECT_EQ(again.protocols[i].scancodes, expected);
            EXPECT_EQ(again.protocols[i].protocol,
                      file.protocols[i].protocol.empty() ? "unknown" : file.protocols[i].protocol);
            EXPECT_EQ(again.protocols[i].variant, file.protocols[i].variant);
            EXPECT_EQ(again.protocols[i].params, file.protocols[i].params);
            pairs += expected.size();
        }
        ++files;
    }
    EXPECT_GE(files, 100u);
    EXPECT_GE(pairs, 5000u);
}

TEST(KeymapFile, WhatIsNoKeymapSaysWhere) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"", "no [[protocols]] table"},
        {"name = \"x\"\n", "line 1: a key before any [[protocols]]"},
        {"[[protocols]]\n[protocols.keys]\n", "line 2: a table rc_keymap files do not have"},
        {"[[protocols]]\nname = \"open\n", "line 2: not a key = value pair"},
        {"[[protocols]]\n[protocols.scancodes]\n0xZZ = \"KEY_A\"\n",
         "line 3: not a scancode: 0xZZ"},
        {"[protocols.scancodes]\n", "line 1: [protocols.scancodes] before any [[protocols]]"},
    };
    for (const auto& [text, expected] : cases) {
        KeymapFile file;
        std::string why;
        EXPECT_FALSE(rireruv::parseKeymapFile(text, file, why)) << text;
        EXPECT_EQ(why.rfind(expected, 0), 0u) << why;
    }
    KeymapFile file;
    std::string why;
    ASSERT_TRUE(rireruv::parseKeymapFile("# a remote\n[[protocols]]\nname = 'x' # its name\n"
                                         "protocol = \"nec\"\n[protocols.scancodes]\n"
                                         "0x40C = 'KEY_POWER'  # red\n  12 = \"KEY_1\"\n",
                                         file, why))
        << why;
    EXPECT_EQ(file.protocols[0].name, "x");
    EXPECT_EQ(file.protocols[0].scancodes,
              (std::vector<std::pair<uint64_t, std::string>>{{0x40c, "KEY_POWER"}, {12, "KEY_1"}}));
}

} // namespace
