// The library's account of a session as a listener hears it (notes.h): press numbers and times
// across runs of polling, which press a poll showed, the hint once per silent run and its
// withdrawal, and the summary at the end. Time is given, never waited for.
#include "rireruv/notes.h"
#include "rireruv/report.h"
#include "rireruv/tally.h"
#include "tests/support/listening.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

using rireruv::PressNote;
using rireruv::Tally;

struct Heard {
    std::vector<std::string> notes; // "press 1 +400 0x40c KEY_POWER shown", "hint ...", ...
};

void listen(void* context, int kind, const RireruvPress* p, const char* text) {
    auto* heard = static_cast<Heard*>(context);
    if (kind == RIRERUV_NOTE_PRESS) {
        char line[160];
        std::snprintf(line, sizeof line, "press %u +%llu 0x%llx %s %02X%s", p->number,
                      p->msSinceRun, p->scancode, p->key != nullptr ? p->key : "-", p->byte,
                      p->shown != 0 ? " shown" : "");
        heard->notes.push_back(line);
    } else if (kind == RIRERUV_NOTE_HINT) {
        heard->notes.push_back(std::string("hint ") + text);
    } else if (kind == RIRERUV_NOTE_HINT_WITHDRAWN) {
        heard->notes.push_back("withdrawn");
    } else if (kind == RIRERUV_NOTE_HELD || kind == RIRERUV_NOTE_RELEASED) {
        char line[160];
        std::snprintf(line, sizeof line, "%s %u x%u %llums%s%s",
                      kind == RIRERUV_NOTE_HELD ? "held" : "up", p->number, p->frames,
                      p->heldUs / 1000, *p->releasedBy != 0 ? " " : "", p->releasedBy);
        heard->notes.push_back(line);
    }
}

PressNote press(uint64_t scancode, const std::string& key = "") {
    PressNote p;
    p.scancode = scancode;
    p.key = key;
    return p;
}

class TallyTest : public ::testing::Test {
  protected:
    void SetUp() override {
        rireruv_listen(&listen, &heard);
        tally.begin("rc0", "rc-test");
    }
    void TearDown() override { rireruv_listen(nullptr, nullptr); }
    // One poll at time t (ms) taking these presses.
    void poll(uint64_t t, const std::vector<PressNote>& taken = {}) {
        tally.poll(t);
        tally.presses(taken, t + 1);
    }
    // Polls every 200 ms from t up to, not including, end, taking nothing.
    void pollUntil(uint64_t t, uint64_t end) {
        for (; t < end; t += 200)
            poll(t);
    }
    Tally tally;
    Heard heard;
};

TEST_F(TallyTest, NumbersRunOnAcrossRunsAndTimesCountFromEachRunsStart) {
    poll(10000);
    poll(10200, {press(0x40c, "KEY_POWER")});
    poll(10400);
    poll(10600, {press(0x05), press(0x1f), press(0x40c, "KEY_POWER")}); // three in one poll
    poll(12600, {press(0x07)}); // a poll a busy machine held back for two seconds: the same run
    // Stop, and Start again four seconds later: a new run.
    poll(16600, {press(0x00)});
    poll(16800);
    poll(17000, {press(0x00)}); // the same key twice is two presses
    EXPECT_EQ(heard.notes, (std::vector<std::string>{
                               "press 1 +200 0x40c KEY_POWER 0C shown",
                               "press 2 +600 0x5 - 05",
                               "press 3 +600 0x1f - 1F",
                               "press 4 +600 0x40c KEY_POWER 0C shown",
                               "press 5 +2600 0x7 - 07 shown",
                               "press 6 +0 0x0 - 00 shown",
                               "press 7 +400 0x0 - 00 shown",
                           }));
}

TEST_F(TallyTest, ASilentRunIsToldOnceAndAPressOrANewRunWithdrawsIt) {
    pollUntil(0, 8000);
    EXPECT_FALSE(tally.silentFor(8, 7999)) << "too early";
    EXPECT_TRUE(tally.silentFor(8, 8000));
    tally.hint("check the battery");
    pollUntil(8000, 9000);
    EXPECT_FALSE(tally.silentFor(8, 9000)) << "said once per run";
    poll(9000, {press(0x05)});
    pollUntil(9200, 20000);
    EXPECT_FALSE(tally.silentFor(8, 20000)) << "the run gave a press";
    // A new run that stays silent is told again; the next run withdraws it.
    pollUntil(30000, 38000);
    EXPECT_TRUE(tally.silentFor(8, 38000));
    tally.hint("again");
    poll(50000);
    EXPECT_EQ(heard.notes, (std::vector<std::string>{"hint check the battery", "withdrawn",
                                                     "press 1 +9000 0x5 - 05 shown", "hint again",
                                                     "withdrawn"}));
}

TEST_F(TallyTest, SummaryNamesTheKeymapsKeysSeenAndNotSeen) {
    // KEY_OK is mapped twice (two remotes of one card): it is one key of the map.
    tally.setKeymap({{0x05, "KEY_POWER"}, {0x11, "KEY_OK"}, {0x12, "KEY_OK"}, {0x13, "KEY_1"}}, "");
    poll(0, {press(0x05, "KEY_POWER"), press(0x05, "KEY_POWER"), press(0x12, "KEY_OK")});
    poll(200, {press(0x99)}); // not in the map
    EXPECT_EQ(tally.summary(),
              "summary: 4 presses read from rc0, 3 distinct scancodes; 2 of 3 keys "
              "of rc-test seen: KEY_POWER KEY_OK; 1 scancode not in rc-test: "
              "0x99 (-); not seen: KEY_1");
    // What a second Ctrl-C writes while a slow call holds the library: the same, as of the last
    // poll; and nothing once ZELK_Free has said it.
    EXPECT_EQ(std::string(rireruv_summary_so_far()), tally.summary());
    EXPECT_EQ(tally.finalSummary(), tally.summary());
    EXPECT_STREQ(rireruv_summary_so_far(), "");
}

TEST_F(TallyTest, SummaryWhenNothingCouldBeCounted) {
    EXPECT_EQ(tally.summary(), "summary: rc0 was never polled (Start was not pressed)");
    poll(0);
    tally.hint("no press in 8 s: check the battery");
    EXPECT_EQ(tally.summary(),
              "summary: no press read from rc0; no press in 8 s: check the battery");
    tally.setKeymap({}, "no permission to read /dev/input/event5");
    poll(9000, {press(0x05)});
    EXPECT_EQ(tally.summary(), "summary: 1 press read from rc0, 1 distinct scancode; the keys of "
                               "rc-test could not be read (no permission to read "
                               "/dev/input/event5)");
    Tally simulated;
    simulated.begin("the simulated board", "");
    simulated.poll(0);
    simulated.presses({press(0x05), press(0x05), press(0xAB)}, 0);
    EXPECT_EQ(simulated.summary(), "summary: 3 presses read from the simulated board, 2 distinct "
                                   "bytes");
}

// A frame of a receiver at kernel time ms: hold 1 the node's repeat flag, 0 a key down, -1
// neither; toggle as RC-5 gives it.
PressNote frame(uint64_t scancode, uint64_t ms, int hold = -1, int toggle = 0) {
    PressNote f = press(scancode);
    f.timed = true;
    f.kernelUs = ms * 1000;
    f.hold = hold;
    f.toggle = toggle;
    return f;
}

PressNote keyUp(uint64_t scancode, uint64_t ms) {
    PressNote f = frame(scancode, ms);
    f.keyUp = true;
    return f;
}

// A key held is one press as the kernel counts one: frames the node calls repeats, or the same
// code and toggle within rc-core's key-up window; its end from the node's key up, or from the
// frames stopping. Each row: the polls (200 ms apart) and what a listener hears.
TEST_F(TallyTest, AKeyHeldIsOnePressWithItsFramesAndItsRelease) {
    struct Case {
        const char* what;
        std::vector<std::vector<PressNote>> polls;
        std::vector<std::string> heard;
    };
    const std::vector<Case> cases = {
        {"NEC held: the repeat flag; up when the frames stop",
         {{frame(0x40c, 0), frame(0x40c, 108, 1)}, {frame(0x40c, 216, 1)}, {}, {}},
         {"press 1 +0 0x40c - 0C shown", "held 1 x2 108ms", "held 1 x3 216ms",
          "up 1 x3 216ms silence"}},
        {"RC-5 held: the same code and toggle, no flag; a flipped toggle is a new press",
         {{frame(0x1e3b, 0, -1, 1), frame(0x1e3b, 114, -1, 1), frame(0x1e3b, 228, -1, 0)}},
         {"press 1 +0 0x1e3b - 3B", "up 1 x2 114ms next_press", "press 2 +0 0x1e3b - 3B shown"}},
        {"the same code after rc-core's window is a new press",
         {{frame(0x05, 0), frame(0x05, 400)}},
         {"press 1 +0 0x5 - 05", "up 1 x1 0ms next_press", "press 2 +0 0x5 - 05 shown"}},
        {"a key down is a new press even at once; a key up ends it there",
         {{frame(0x05, 0, 0), keyUp(0x05, 250), frame(0x05, 260, 0)}, {}, {}},
         {"press 1 +0 0x5 - 05", "up 1 x1 250ms key_up", "press 2 +0 0x5 - 05 shown"}},
        {"a key up of a key not held is nobody's release",
         {{keyUp(0x07, 0)}, {frame(0x05, 100, 0)}, {keyUp(0x07, 300)}},
         {"press 1 +200 0x5 - 05 shown"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        heard.notes.clear();
        tally.begin("rc0", "");
        uint64_t t = 0;
        for (const auto& taken : c.polls) {
            poll(t, taken);
            t += 200;
        }
        EXPECT_EQ(heard.notes, c.heard);
    }
}

TEST_F(TallyTest, SummaryCountsPressesAndFramesAndListsTheCodesTheKeymapLacks) {
    tally.setKeymap({{0x05, "KEY_POWER"}, {0x06, "KEY_MUTE"}}, "");
    PressNote power = frame(0x05, 900, 0);
    power.key = "KEY_POWER";
    PressNote nec = frame(0x40c, 0);
    nec.protocol = "nec";
    PressNote repeat = frame(0x40c, 108, 1);
    repeat.protocol = "nec";
    poll(0, {nec, repeat, frame(0x00, 600), power});
    EXPECT_EQ(tally.summary(), "summary: 3 presses (4 frames) read from rc0, 3 distinct "
                               "scancodes; 1 of 2 keys of rc-test seen: KEY_POWER; 2 scancodes "
                               "not in rc-test: 0x0 (-) 0x40c (nec); not seen: KEY_MUTE");
}

struct Texts {
    std::vector<std::string> all; // a press's key, protocol and keymap; a hint's or message's text
};

void listenToTexts(void* context, int /*kind*/, const RireruvPress* p, const char* text) {
    auto& all = static_cast<Texts*>(context)->all;
    if (p == nullptr) {
        all.push_back(text);
        return;
    }
    all.insert(all.end(), {p->key != nullptr ? p->key : "-", p->protocol, p->keymap});
}

// The press log and --check show what a listener gets as it is: a byte a board should have
// escaped and did not is escaped on the way, and no text is longer than a message may be.
TEST(TallyNotes, AreSafeToShowAsTheyAre) {
    Texts texts;
    Tally t;
    {
        Listening listening(&listenToTexts, &texts);
        t.begin("rc0", "rc-\x1B[2J");
        t.poll(0);
        PressNote p = press(0x05, "KEY_\nX");
        p.protocol = "nec\x7F";
        t.presses({p}, 1);
        t.hint(std::string(100000, 'h'));
        t.message("a\x1Bz");
    }
    ASSERT_EQ(texts.all.size(), 5u);
    EXPECT_EQ(texts.all[0], "KEY_\\x0AX");
    EXPECT_EQ(texts.all[1], "nec\\x7F");
    EXPECT_EQ(texts.all[2], "rc-\\x1B[2J");
    EXPECT_LE(texts.all[3].size(), rireruv::kMessageMax);
    EXPECT_EQ(texts.all[4], "a\\x1Bz");
}

} // namespace
