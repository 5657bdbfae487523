// The key decoder: the bytes terminals send, as each terminal sends them, and what they become.
#include "platform/model/model.h"
#include "terminal/keys.h"

#include <climits>
#include <gtest/gtest.h>

namespace {

using terminal::Key;

std::string name(const Key& key) {
    const char* const kNames[] = {"None",  "char ",  "Tab",    "BackTab", "Enter",
                                  "Esc",   "Menu",   "Up",     "Down",    "Left",
                                  "Right", "click ", "Resize", "AltF4",   "Interrupt"};
    std::string text = kNames[key.kind];
    if (key.kind == Key::Char)
        model::appendUtf8(text, key.ch);
    if (key.kind == Key::Click)
        text += std::to_string(key.x) + "," + std::to_string(key.y);
    return text;
}

std::vector<std::string> names(const std::vector<Key>& keys) {
    std::vector<std::string> out;
    for (const Key& key : keys)
        out.push_back(name(key));
    return out;
}

// The keys in reads that come one after the other, then the escape delay with nothing more.
// An empty read is that delay passing between two reads.
std::vector<std::string> decode(const std::vector<std::string>& reads) {
    terminal::KeyDecoder decoder;
    std::vector<Key> keys;
    for (const std::string& bytes : reads) {
        if (bytes.empty())
            decoder.expire(keys);
        decoder.feed(bytes, keys);
    }
    decoder.expire(keys);
    return names(keys);
}

struct Case {
    const char* what;
    std::vector<std::string> reads;
    std::vector<std::string> keys;
};

void expectCases(const std::vector<Case>& cases) {
    for (const Case& c : cases)
        EXPECT_EQ(decode(c.reads), c.keys) << c.what;
}

TEST(KeyDecoder, TheKeysOfTheDialogAsEachTerminalSendsThem) {
    expectCases({
        {"Enter", {"\r"}, {"Enter"}},
        {"Enter, as a terminal with a line feed sends it", {"\n"}, {"Enter"}},
        {"Tab", {"\t"}, {"Tab"}},
        {"Shift+Tab", {"\x1b[Z"}, {"BackTab"}},
        {"Space", {" "}, {"char  "}},
        {"a letter, for a menu's mnemonic", {"a"}, {"char a"}},
        {"a character beyond ASCII", {"確"}, {"char 確"}},
        {"the arrows, normal mode", {"\x1b[A\x1b[B\x1b[C\x1b[D"}, {"Up", "Down", "Right", "Left"}},
        {"the arrows, application mode",
         {"\x1bOA\x1bOB\x1bOC\x1bOD"},
         {"Up", "Down", "Right", "Left"}},
        {"the keypad's Enter, application mode", {"\x1bOM"}, {"Enter"}},
        {"F10", {"\x1b[21~"}, {"Menu"}},
        {"Alt+Space", {"\x1b "}, {"Menu"}},
        {"Alt+F4 as xterm sends it", {"\x1b[1;3S"}, {"AltF4"}},
        {"Alt+F4 as tmux sends it", {"\x1b\x1bOS"}, {"AltF4"}},
        {"Alt+F4 as rxvt sends it", {"\x1b\x1b[14~"}, {"AltF4"}},
        {"Alt+F4 with VT220's keys and xterm's modifiers", {"\x1b[14;3~"}, {"AltF4"}},
        {"Alt+F4 on the Linux console", {"\x1b\x1b[[D"}, {"AltF4"}},
        {"Esc alone", {"\x1b"}, {"Esc"}},
        {"Esc twice", {"\x1b\x1b"}, {"Esc", "Esc"}},
        {"Esc, then a letter after the escape delay", {"\x1b", "", "a"}, {"Esc", "char a"}},
        {"keys in one read", {"\x1b[A\r\x1b[B"}, {"Up", "Enter", "Down"}},
    });
}

// Each is followed by an x, which must come through alone: a sequence read as Esc would close
// the dialog, and its rest would land in the shell.
TEST(KeyDecoder, ASequenceNotOursIsSwallowedWhole) {
    expectCases({
        {"Ctrl+Left (tmux, xterm)", {"\x1b[1;5Dx"}, {"char x"}},
        {"Alt+Up (tmux, xterm)", {"\x1b[1;3Ax"}, {"char x"}},
        {"Alt+Up (rxvt)", {"\x1b\x1b[Ax"}, {"char x"}},
        {"Alt+letter",
         {"\x1b"
          "ax"},
         {"char x"}},
        {"Alt+Enter", {"\x1b\rx"}, {"char x"}},
        {"Alt with a character beyond ASCII", {"\x1b確x"}, {"char x"}},
        {"focus in", {"\x1b[Ix"}, {"char x"}},
        {"focus out", {"\x1b[Ox"}, {"char x"}},
        {"Home (VT220)", {"\x1b[1~x"}, {"char x"}},
        {"End (VT220)", {"\x1b[4~x"}, {"char x"}},
        {"Home (xterm, application mode)", {"\x1bOHx"}, {"char x"}},
        {"F1 (the Linux console)", {"\x1b[[Ax"}, {"char x"}},
        {"F12 with Shift and Ctrl", {"\x1b[24;6~x"}, {"char x"}},
        {"a private sequence with intermediates", {"\x1b[?1;2$yx"}, {"char x"}},
        {"a bracketed paste, line ends and Esc in it",
         {"\x1b[200~a b\r\x1b\x1b[1~\x1b[201~x"},
         {"char x"}},
        {"Backspace and other control keys", {"\x7f\x08\x01x"}, {"char x"}},
        {"a C1 control character", {"\xc2\x9bx"}, {"char x"}},
        {"bytes that are no UTF-8", {"\xff\xc0\x80x"}, {"char x"}},
        // Shaped as UTF-8, but none (RFC 3629): they once came out as keys of no character.
        {"a surrogate in UTF-8's shape", {"\xed\xa0\x80x"}, {"char x"}},
        {"an overlong form", {"\xe0\x81\x81x"}, {"char x"}},
        {"a code past U+10FFFF", {"\xf4\x90\x80\x80x"}, {"char x"}},
        {"a sequence broken by a control character", {"\x1b[1;\rx"}, {"Enter", "char x"}},
    });
}

// Bytes come as the terminal and the kernel split them: nothing is lost at a split.
TEST(KeyDecoder, KeysSplitOverReadsAreKept) {
    expectCases({
        {"a character over two reads",
         {"a\xe7\xa2", "\xba"
                       "b"},
         {"char a", "char 確", "char b"}},
        {"a character a byte a read", {"\xe7", "\xa2", "\xba"}, {"char 確"}},
        {"an arrow over two reads", {"\x1b[", "A"}, {"Up"}},
        {"Alt+F4 over three reads", {"\x1b", "[1;3", "S"}, {"AltF4"}},
        {"tmux's Alt+F4 over two reads", {"\x1b\x1b", "OS"}, {"AltF4"}},
        {"a paste over three reads", {"\x1b[200~he", "llo\r\x1b[20", "1~x"}, {"char x"}},
        {"a click over two reads", {"\x1b[<0;12;5M\x1b[<0;12", ";5m"}, {"click 11,4"}},
    });
}

// A click is the left button's press, then its release where it is, at any column: SGR's form
// has no limit, where X10's bytes end at column 223. A release alone is half a click, as what
// is left of a click whose press was lost to a split.
TEST(KeyDecoder, MouseClicks) {
    expectCases({
        {"at column 250", {"\x1b[<0;250;3M\x1b[<0;250;3m"}, {"click 249,2"}},
        {"at the top left", {"\x1b[<0;1;1M\x1b[<0;1;1m"}, {"click 0,0"}},
        {"with Shift held", {"\x1b[<4;7;2M\x1b[<4;7;2m"}, {"click 6,1"}},
        {"a release whose press was not read", {"\x1b[<0;7;2m"}, {}},
        {"X10's right button, whose release does not say which", {"\x1b[M\"+%\x1b[M#+%"}, {}},
        {"the right button", {"\x1b[<2;7;2M\x1b[<2;7;2m"}, {}},
        {"the wheel", {"\x1b[<64;7;2M\x1b[<65;7;2M"}, {}},
        {"a drag", {"\x1b[<32;7;2M"}, {}},
        {"X10's form", {"\x1b[M +%\x1b[M#+%"}, {"click 10,4"}},
        {"X10's form, beyond column 95 (bytes past ASCII)",
         {"\x1b[M \xa0!\x1b[M#\xa0!"},
         {"click 127,0"}},
    });
}

// Only an Esc waits for the clock: alone for the escape delay, it is the Esc key, and the rest
// of a sequence that comes within the delay makes it that sequence.
TEST(KeyDecoder, OnlyAnEscWaitsForTheEscapeDelay) {
    terminal::KeyDecoder decoder;
    std::vector<Key> keys;
    decoder.feed("\x1b", keys);
    EXPECT_TRUE(keys.empty());
    EXPECT_EQ(decoder.patienceMs(25), 25);
    decoder.feed("[B", keys);
    EXPECT_EQ(decoder.patienceMs(25), -1);
    decoder.feed("\xe7\xa2", keys); // half a character waits as long as it takes
    EXPECT_EQ(decoder.patienceMs(25), -1);
    decoder.feed("\xba", keys);
    ASSERT_EQ(keys.size(), 2u);
    EXPECT_EQ(name(keys[0]), "Down");
    EXPECT_EQ(name(keys[1]), "char 確");
}

// The keys in reads, each a pause after the one before, with this escape delay, as the front
// end meets them: each wait of the decoder's (for the rest of a sequence, the watch for a late
// rest) that a pause outlasts is over before the next read; after the last, every wait is over.
std::vector<std::string> decodeTimed(const std::vector<std::pair<int, std::string>>& reads,
                                     int escapeDelayMs) {
    terminal::KeyDecoder decoder;
    std::vector<Key> keys;
    const auto pass = [&](int ms) {
        for (int waits = 0; waits < 8; ++waits) { // a few at most: more is a wait that never ends
            int wait = decoder.patienceMs(escapeDelayMs);
            wait = wait >= 0 ? wait : decoder.lateRestMs();
            if (wait < 0 || wait > ms)
                return;
            ms -= wait;
            decoder.expire(keys);
        }
    };
    for (const auto& [pause, bytes] : reads) {
        pass(pause);
        decoder.feed(bytes, keys);
    }
    pass(INT_MAX);
    return names(keys);
}

struct Timed {
    const char* what;
    std::vector<std::pair<int, std::string>> reads;
    std::vector<std::string> keys;
    int escapeDelayMs = 500; // ESCDELAY=500
};

// Over SSH the rest of a key may come hundreds of ms late. Within the escape delay it joins its
// start; after, its start was given up (a lone Esc the Esc key) and the rest is dropped: typed,
// [A would land in the shell once Esc closed the dialog, X10's space would press the focused
// button. A click is no click once a part of it is given up, split anywhere, even twice.
TEST(KeyDecoder, ASequenceSplitOnItsWayIsNeverEscAndText) {
    const Timed cases[] = {
        {"Up, its rest just within the delay", {{0, "\x1b"}, {499, "[A"}}, {"Up"}},
        {"Up, its rest as the delay ends", {{0, "\x1b"}, {500, "[A"}}, {"Esc"}},
        {"Up with ESCDELAY=0, its rest 30 ms late", {{0, "\x1b"}, {30, "OA"}}, {"Esc"}, 0},
        {"Up, its rest just within the watch", {{0, "\x1b"}, {1499, "[A"}}, {"Esc"}},
        {"[A after the watch", {{0, "\x1b"}, {1500, "[A"}}, {"Esc", "char [", "char A"}},
        {"a click split in its press", {{0, "\x1b[<0;2"}, {800, ";5M\x1b[<0;2;5m"}}, {}},
        {"a click split twice", {{0, "\x1b[<0"}, {800, ";2"}, {800, ";5M\x1b[<0;2;5m"}}, {}},
        {"X10's click split after its Esc", {{0, "\x1b"}, {800, "[M +%\x1b[M#+%"}}, {"Esc"}},
        {"a paste split after its Esc",
         {{0, "\x1b"}, {800, "[200~ \r\x1b[201~x"}},
         {"Esc", "char x"}},
    };
    for (const Timed& c : cases)
        EXPECT_EQ(decodeTimed(c.reads, c.escapeDelayMs), c.keys) << c.what;
}

// A person presses keys after Esc, not the rest of a sequence: those that send one start with an
// Esc of their own (Esc, arrows, F10, Alt, clicks), and Space, Enter and letters begin none.
// Each comes while the late rest of the Esc is still watched for.
TEST(KeyDecoder, WhatAPersonTypesAfterEscIsKept) {
    const Timed cases[] = {
        {"Space", {{0, "\x1b"}, {600, " "}}, {"Esc", "char  "}},
        {"an arrow", {{0, "\x1b"}, {600, "\x1b[B"}}, {"Esc", "Down"}},
        {"O, then Enter, which cannot go on with it",
         {{0, "\x1b"}, {600, "O\r"}},
         {"Esc", "Enter"}},
    };
    for (const Timed& c : cases)
        EXPECT_EQ(decodeTimed(c.reads, c.escapeDelayMs), c.keys) << c.what;
}

// ESCDELAY as ncurses reads it, so a setting made for other programs holds here too: what
// strtol takes whole, 0 or more, that fits an int; else the default, which outlasts SSH's splits.
TEST(KeyDecoder, EscDelayIsReadAsNcursesReadsIt) {
    const int kDefault = terminal::kDefaultEscapeDelayMs;
    const char* const refused[] = {nullptr, "fast", "25 ", "-1", "2147483648"};
    for (const char* setting : refused)
        EXPECT_EQ(terminal::escapeDelayMs(setting), kDefault) << (setting ? setting : "unset");
    const std::pair<const char*, int> taken[] = {{"0", 0}, {"25", 25}, {"0x19", 25}, {"031", 25}};
    for (const auto& [setting, ms] : taken)
        EXPECT_EQ(terminal::escapeDelayMs(setting), ms) << setting;
    EXPECT_EQ(decodeTimed({{0, "\x1b"}, {300, "[A"}}, kDefault), std::vector<std::string>{"Up"});
}

} // namespace
