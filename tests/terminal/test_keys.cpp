// The key decoder: the bytes terminals send, as each terminal sends them, and what they become.
#include "terminal/keys.h"

#include "platform/model/model.h"

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
    std::vector<std::string> out;
    for (const Key& key : keys)
        out.push_back(name(key));
    return out;
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
        {"a click over two reads", {"\x1b[<0;12", ";5m"}, {"click 11,4"}},
    });
}

// A click is the left button's release, at any column: SGR's form has no limit, where X10's
// bytes end at column 223.
TEST(KeyDecoder, MouseClicks) {
    expectCases({
        {"at column 250", {"\x1b[<0;250;3M\x1b[<0;250;3m"}, {"click 249,2"}},
        {"at the top left", {"\x1b[<0;1;1M\x1b[<0;1;1m"}, {"click 0,0"}},
        {"with Shift held", {"\x1b[<4;7;2m"}, {"click 6,1"}},
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

} // namespace
