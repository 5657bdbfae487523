// The check mode's JSON lines, as a script reads them: each event the library's notes become,
// written whole by runCheck over a scripted library, compared with the exact lines expected. An
// exact line pins each field's JSON type too: a number unquoted, a boolean as true or false,
// null only where nothing is known.
#include "terminal/check.h"
#include "terminal/check_lines.h"
#include "tests/support/files.h"
#include "tests/terminal/scripted_library.h"

#include <cstdio>
#include <gtest/gtest.h>

namespace {

// What jsonString makes of text from outside: what JSON would misread is escaped, every byte
// that is not UTF-8 becomes U+FFFD, and the rest is kept as it is.
TEST(CheckLines, StringsAreEscapedSoThatAnyJsonReaderTakesThem) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"say \"hi\"", R"("say \"hi\"")"},
        {"C:\\dir\\", R"("C:\\dir\\")"},
        {"two\nlines\r\tand \x1B[2J", R"("two\u000alines\u000d\u0009and \u001b[2J")"},
        {std::string("nul\0, \x1F and del\x7F", 16), R"("nul\u0000, \u001f and del\u007f")"},
        {"latin1 \xE4, cut \xE2\x82", "\"latin1 \xEF\xBF\xBD, cut \xEF\xBF\xBD\""},
        {"overlong \xE0\x80\xAF", "\"overlong \xEF\xBF\xBD\""},
        {"Ger\xC3\xA4t \xE2\x82\xAC \xF0\x9F\x93\xBA",
         "\"Ger\xC3\xA4t \xE2\x82\xAC \xF0\x9F\x93\xBA\""},
        // What JSON takes as it is, but a reader's line splitter would end a line at.
        {"line\xE2\x80\xA8separator\xE2\x80\xA9, next\xC2\x85",
         R"("line\u2028separator\u2029, next\u0085")"},
    };
    for (const auto& [text, expected] : cases) {
        SCOPED_TRACE(expected);
        EXPECT_EQ(terminal::jsonString(text), expected);
    }
}

const RireruvBoard kReceiver{"rc0",
                             "RIRERUV_DEVICE=auto",
                             "saa7134",
                             "saa7134 IR (Pinnacle PCTV 110i)",
                             "/dev/input/event5",
                             "rc-mce",
                             "nec rc-5",
                             "raw",
                             "rc-5 nec rc-6",
                             500,
                             125};
// A lirc node alone, of a driver that names nothing.
const RireruvBoard kBareReceiver{
    "rc1", "RIRERUV_DEVICE=rc1", "", "", "/dev/lirc1", "", "", "", "", -1, -1};
const RireruvBoard kSimulated{"simulated", "RIRERUV_DATA", "", "", "", "", "", "", "", -1, -1};

// The presses the notes carry, in notes.h's order: number, ms, scancode, protocol, repeat,
// toggle, key, keymap, byte, shown, frames, timed, kernel_us, held_us, by, layer, coded.
enum { kKeyDown, kKeyHeld, kKeyUp, kLostWithCode, kLostNoise, kSimulatedPress };
const RireruvPress kPresses[] = {
    // A receiver's key: an rc-6 code past 2^31, toggle 0, timed by the kernel; held, then up.
    {1, 200, 0x800f040c, "rc-6", 0, 0, "KEY_OK", "rc-mce", 12, 1, 1, 1, 5000000, 0, "", "", 1},
    {1, 200, 0x800f040c, "rc-6", 0, 0, "KEY_OK", "rc-mce", 12, 1, 4, 1, 5000000, 4000, "", "", 1},
    {1, 200, 0x800f040c, "rc-6", 0, 0, "KEY_OK", "rc-mce", 12, 1, 9, 1, 5000000, 9000, "key_up", "",
     1},
    // Attempts that became no key: one with its code, one without.
    {0, 400, 0x1e3b, "rc-5", -1, -1, nullptr, "rc-mce", 0x3b, 0, 0, 0, 0, 0, "", "no_decoder", 1},
    {0, 400, 0, "-", -1, -1, nullptr, "rc-mce", 0, 0, 0, 0, 0, 0, "", "noise", 0},
    // The simulated board's: nothing it does not know, and a later press took its place.
    {1, 0, 0x05, "-", -1, -1, nullptr, "", 0x05, 0, 1, 0, 0, 0, "", "", 1},
};

struct CheckRun {
    const char* what;
    scripted::Script script;
    unsigned presses, timeoutMs;
    std::vector<std::string> lines;
    int status;
    unsigned freed;
};

const char kStartOfRc0[] =
    R"({"event":"start","schema":1,"program":"test-rireruv","version":"1.0.0.2",)"
    R"("library":"9.8.7","init":0,"board":"rc0","simulated":false,)"
    R"("asked_by":"RIRERUV_DEVICE=auto","receiver":"rc0","driver":"saa7134",)"
    R"j("card":"saa7134 IR (Pinnacle PCTV 110i)","node":"/dev/input/event5",)j"
    R"("keymap":"rc-mce","decoder":"raw","protocols":["nec","rc-5"],)"
    R"("available_protocols":["rc-5","nec","rc-6"],"autorepeat_ms":[500,125],)"
    R"("presses":1,"timeout_ms":30000})";
const char kNullBoard[] =
    R"("receiver":null,"driver":null,"card":null,"node":null,"keymap":null,"decoder":null,)"
    R"("protocols":null,"available_protocols":null,"autorepeat_ms":null,)";

std::vector<CheckRun> runs() {
    return {
        {"every event a pass on a receiver writes, a message from the set-up after the start",
         {0,
          &kReceiver,
          {{RIRERUV_NOTE_MESSAGE, nullptr, "board: rc0"}},
          {{RIRERUV_NOTE_MESSAGE, nullptr, "summary: 1 press"}},
          {{{RIRERUV_NOTE_HINT, nullptr, R"(lircd has "/dev/lirc0" open)"},
            {RIRERUV_NOTE_HINT_WITHDRAWN, nullptr, ""},
            {RIRERUV_NOTE_PRESS, &kPresses[kKeyDown], ""},
            {RIRERUV_NOTE_HELD, &kPresses[kKeyHeld], ""},
            {RIRERUV_NOTE_LOST, &kPresses[kLostWithCode], "light but no decoder"},
            {RIRERUV_NOTE_LOST, &kPresses[kLostNoise], "noise"},
            {RIRERUV_NOTE_RELEASED, &kPresses[kKeyUp], ""}}}},
         1,
         30000,
         {kStartOfRc0, R"({"event":"message","text":"board: rc0"})",
          R"({"event":"hint","text":"lircd has \"/dev/lirc0\" open"})",
          R"({"event":"hint_withdrawn"})",
          R"({"event":"press","number":1,"ms":200,"kernel_us":5000000,"scancode":2148467724,)"
          R"("hex":"0x800f040c","protocol":"rc-6","repeat":false,"toggle":0,"key":"KEY_OK",)"
          R"("keymap":"rc-mce","byte":12,"shown":true})",
          R"({"event":"lost","layer":"no_decoder","ms":400,"scancode":7739,"hex":"0x1e3b",)"
          R"("protocol":"rc-5","text":"light but no decoder"})",
          R"({"event":"lost","layer":"noise","ms":400,"scancode":null,"hex":null,)"
          R"("protocol":null,"text":"noise"})",
          R"({"event":"release","number":1,"scancode":2148467724,"hex":"0x800f040c",)"
          R"("frames":9,"held_us":9000,"kernel_us":5009000,"by":"key_up"})",
          R"({"event":"message","text":"summary: 1 press"})",
          R"({"event":"verdict","verdict":"pass","status":0,"presses":1,"asked":1,)"
          R"("timeout_ms":30000,"init":0,"board":"rc0","signal":null})"},
         0,
         1},
        {"the simulated board's press, and the time run out",
         {0, &kSimulated, {}, {}, {{{RIRERUV_NOTE_PRESS, &kPresses[kSimulatedPress], ""}}}},
         2,
         0,
         {std::string(R"({"event":"start","schema":1,"program":"test-rireruv",)"
                      R"("version":"1.0.0.2","library":"9.8.7","init":0,"board":"simulated",)"
                      R"("simulated":true,"asked_by":"RIRERUV_DATA",)") +
              kNullBoard + R"("presses":2,"timeout_ms":0})",
          R"({"event":"press","number":1,"ms":0,"kernel_us":null,"scancode":5,"hex":"0x5",)"
          R"("protocol":"-","repeat":null,"toggle":null,"key":null,"keymap":"","byte":5,)"
          R"("shown":false})",
          R"({"event":"verdict","verdict":"timeout","status":1,"presses":1,"asked":2,)"
          R"("timeout_ms":0,"init":0,"board":"simulated","signal":null})"},
         1,
         1},
        {"a receiver that names little, gone while polled",
         {0, &kBareReceiver, {}, {}, {{{RIRERUV_NOTE_GONE, nullptr, "rc1 went away"}}}},
         1,
         30000,
         {R"({"event":"start","schema":1,"program":"test-rireruv","version":"1.0.0.2",)"
          R"("library":"9.8.7","init":0,"board":"rc1","simulated":false,)"
          R"("asked_by":"RIRERUV_DEVICE=rc1","receiver":"rc1","driver":null,"card":null,)"
          R"("node":"/dev/lirc1","keymap":null,"decoder":null,"protocols":[],)"
          R"("available_protocols":[],"autorepeat_ms":null,"presses":1,"timeout_ms":30000})",
          R"({"event":"gone","text":"rc1 went away"})",
          R"({"event":"verdict","verdict":"gone","status":2,"presses":0,"asked":1,)"
          R"("timeout_ms":30000,"init":0,"board":"rc1","signal":null})"},
         2,
         1},
        {"a failed set-up: no board, its reason after the start, no poll and nothing to free",
         {8, &kReceiver, {{RIRERUV_NOTE_MESSAGE, nullptr, "RIRERUV_DATA: token 1"}}, {}, {}},
         1,
         30000,
         {std::string(R"({"event":"start","schema":1,"program":"test-rireruv",)"
                      R"("version":"1.0.0.2","library":"9.8.7","init":8,"board":null,)"
                      R"("simulated":null,"asked_by":null,)") +
              kNullBoard + R"("presses":1,"timeout_ms":30000})",
          R"({"event":"message","text":"RIRERUV_DATA: token 1"})",
          R"({"event":"verdict","verdict":"init_failed","status":2,"presses":0,"asked":1,)"
          R"("timeout_ms":30000,"init":8,"board":null,"signal":null})"},
         2,
         0},
    };
}

// A JSON reader holds a number exactly up to 2^53: past it, the number would be another code.
TEST(CheckLines, AScancodePastWhatJsonNumbersHoldIsNullBesideItsExactHex) {
    RireruvPress p = kPresses[kKeyDown];
    for (const auto& [scancode, fields] : std::vector<std::pair<uint64_t, std::string>>{
             {1ULL << 53, R"("scancode":9007199254740992,"hex":"0x20000000000000")"},
             {(1ULL << 53) + 1, R"("scancode":null,"hex":"0x20000000000001")"},
             {~0ULL, R"("scancode":null,"hex":"0xffffffffffffffff")"}}) {
        p.scancode = scancode;
        for (const std::string& line :
             {terminal::pressLine(p), terminal::releaseLine(p), terminal::lostLine(p, "")})
            EXPECT_NE(line.find(fields), std::string::npos) << line;
    }
}

// Every run's first poll ends it (the presses asked for, the time, the receiver gone), so no
// run waits for the next one.
TEST(CheckLines, EachEventIsOneLineOfItsFieldsWithTheirTypes) {
    const std::string path = scratch(std::string("check-lines-") +
                                     testing::UnitTest::GetInstance()->current_test_info()->name());
    for (const CheckRun& run : runs()) {
        SCOPED_TRACE(run.what);
        scripted::play(run.script);
        terminal::CheckOptions options;
        options.presses = run.presses;
        options.timeoutMs = run.timeoutMs;
        options.version = "1.0.0.2";
        std::FILE* out = std::fopen(path.c_str(), "w");
        ASSERT_NE(out, nullptr) << path;
        EXPECT_EQ(terminal::runCheck(options, out), run.status);
        std::fclose(out);
        EXPECT_EQ(linesOf(path), run.lines);
        EXPECT_EQ(scripted::freed(), run.freed);
    }
}

} // namespace
