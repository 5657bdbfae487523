// The "why nothing arrives" line: each state of a receiver's protocols file, read from a
// made-up /sys folder; the processes holding its nodes, on a made-up /proc and on the real one
// with a child of this test holding a file.
//
// The made-up trees let a test show what only a root-owned daemon or another user's process
// would otherwise cause; every test builds its own under the build folder, since ctest runs
// them at once.
#include "rireruv/rccore/silence.h"
#include "rireruv/shown.h"

#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using rireruv::Receiver;

bool has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

class Silence : public testing::Test {
  protected:
    const fs::path dir = fs::path(BUILD_SCRATCH) / "silence" /
                         testing::UnitTest::GetInstance()->current_test_info()->name();
    const fs::path sys = dir / "sys" / "rc0";
    const fs::path proc = dir / "proc";

    void SetUp() override {
        fs::remove_all(dir);
        fs::create_directories(sys);
        fs::create_directories(proc);
    }

    // rc0 as discovery saw it, with `now` in its protocols file.
    Receiver receiver(const std::string& discovered, const std::string& now,
                      const std::string& driver = "saa7134") {
        std::ofstream(sys / "protocols") << now << "\n";
        Receiver r;
        r.name = "rc0";
        r.driver = driver;
        r.keymap = "rc-pinnacle-color";
        r.sysPath = sys.string();
        r.protocols = discovered;
        r.lircNode = "/dev/lirc0";
        r.eventNode = "/dev/input/event5";
        return r;
    }

    // A process in the made-up /proc with descriptors pointing at targets.
    void process(const std::string& pid, const std::string& comm,
                 const std::vector<std::string>& targets) {
        fs::create_directories(proc / pid / "fd");
        std::ofstream(proc / pid / "comm") << comm << "\n";
        for (size_t i = 0; i < targets.size(); ++i)
            fs::create_symlink(targets[i], proc / pid / "fd" / std::to_string(i + 3));
    }

    // A process whose descriptors cannot be read, as another user's in the real /proc.
    void hiddenProcess(const std::string& pid) {
        fs::create_directories(proc / pid);
        std::ofstream(proc / pid / "fd") << "not a folder\n";
    }

    std::string why(const Receiver& r, int seconds = 5) {
        const std::string line = rireruv::whyNothingArrives(r, r.lircNode, seconds, proc);
        EXPECT_EQ(line.find('\n'), std::string::npos) << line;
        return line;
    }
};

TEST_F(Silence, ProtocolsFileParsed) {
    struct Case {
        std::string text;
        std::vector<std::string> available, enabled;
        bool lirc, lircEnabled;
    };
    const std::vector<Case> cases = {
        {"lirc rc-5 jvc sony [nec]", {"rc-5", "jvc", "sony", "nec"}, {"nec"}, true, false},
        {"rc-5 nec rc-6 [lirc]\n", {"rc-5", "nec", "rc-6"}, {}, true, true},
        {"[rc-5] [nec] sony [lirc]", {"rc-5", "nec", "sony"}, {"rc-5", "nec"}, true, true},
        {"rc-5 [nec]", {"rc-5", "nec"}, {"nec"}, false, false},
        {"", {}, {}, false, false},
        {"unknown", {}, {}, false, false},
        {"[unknown]", {}, {}, false, false},
        {"none", {}, {}, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("\"" + c.text + "\"");
        const rireruv::ProtocolList p = rireruv::parseProtocols(c.text);
        EXPECT_EQ(p.available, c.available);
        EXPECT_EQ(p.enabled, c.enabled);
        EXPECT_EQ(p.lirc, c.lirc);
        EXPECT_EQ(p.lircEnabled, c.lircEnabled);
    }
}

TEST_F(Silence, OnlyLircEnabledSaysADaemonSwitchedTheDecodersOff) {
    const std::string line = why(receiver("rc-5 nec jvc [lirc]", "rc-5 nec jvc [lirc]"), 12);
    EXPECT_EQ(line.rfind("no press in 12 s from rc0 (/dev/lirc0): a checklist, as rc0 shows no "
                         "raw light to tell from: only lirc is enabled on rc0: a lirc daemon (or "
                         "ir-keytable -p lirc) switched the kernel's decoders "
                         "off",
                         0),
              0u)
        << line;
    EXPECT_TRUE(has(line, "ir-keytable -s rc0 -p nec (available: rc-5 nec jvc)")) << line;
    // Causes come in the order a person should check them.
    const size_t holders = line.find("nobody else has /dev/lirc0 or /dev/input/event5 open");
    const size_t battery = line.find("; if none of this: the remote's battery and aim");
    ASSERT_NE(holders, std::string::npos) << line;
    ASSERT_NE(battery, std::string::npos) << line;
    EXPECT_LT(line.find("available"), holders);
    EXPECT_LT(holders, battery);
}

// With no decoder loaded, a receiver that hands raw light on lists lirc alone: no protocol is
// available, yet the card type is not what to check, as it would be for a hardware decoder.
TEST_F(Silence, LircAloneIsNoHardwareDecoder) {
    const std::string line = why(receiver("[lirc]", "[lirc]"));
    EXPECT_TRUE(has(line, ": only lirc is enabled on rc0: ")) << line;
    EXPECT_TRUE(has(line, "ir-keytable -s rc0 -p nec (available: none listed)")) << line;
    EXPECT_FALSE(has(line, "decodes in hardware")) << line;
}

TEST_F(Silence, RawReceiverWithNoProtocolSaysHowToEnableOne) {
    // Older kernels list lirc as a decoder of its own, unbracketed when it is off too.
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"rc-5 nec jvc", "-p nec (available: rc-5 nec jvc)"},
        {"lirc rc-5 nec", "-p nec (available: rc-5 nec)"},
        {"rc-5 sony", "-p rc-5 (available: rc-5 sony)"},
    };
    for (const auto& [protocols, command] : cases) {
        SCOPED_TRACE(protocols);
        const std::string line = why(receiver(protocols, protocols));
        EXPECT_TRUE(has(line, ": no protocol is enabled on rc0, so it decodes no remote; as root, "
                              "enable yours with ir-keytable -s rc0 " +
                                  command))
            << line;
        EXPECT_FALSE(has(line, "only lirc")) << line;
    }
}

TEST_F(Silence, RawReceiverNamesTheProtocolsItHears) {
    const std::string line = why(receiver("", "rc-5 [nec] [rc-6] sony [lirc]"));
    EXPECT_TRUE(has(line, ": rc0 decodes nec, rc-6 in software: a remote of another protocol is "
                          "not heard; as root, ir-keytable -s rc0 -p <protocol> changes that "
                          "(available: rc-5 nec rc-6 sony)"))
        << line;
    EXPECT_FALSE(has(line, "only lirc")) << line;
    EXPECT_FALSE(has(line, "no protocol is enabled")) << line;
}

TEST_F(Silence, HardwareReceiverHasNothingToEnable) {
    for (const std::string protocols : {"", "unknown", "[unknown]"}) {
        SCOPED_TRACE("\"" + protocols + "\"");
        const std::string line = why(receiver(protocols, protocols));
        EXPECT_TRUE(has(line, ": rc0 decodes in hardware (a GPIO receiver): nothing to enable, but "
                              "saa7134 reads the GPIO lines of the card type it took"))
            << line;
        EXPECT_FALSE(has(line, "ir-keytable -s")) << line;
        EXPECT_FALSE(has(line, "ir-kbd-i2c")) << line;
        EXPECT_TRUE(has(line, "the receiver's cable")) << line;
    }
    const std::string i2c = why(receiver("", "", "ir_kbd_i2c"));
    EXPECT_TRUE(has(i2c, "rc0 is an I2C receiver chip that decodes by itself")) << i2c;
    EXPECT_TRUE(has(i2c, "and ir-kbd-i2c must be loaded (lsmod | grep ir_kbd_i2c)")) << i2c;
}

TEST_F(Silence, ProtocolsReadAgainNotTakenFromDiscovery) {
    // A lirc daemon started after discovery switched nec off.
    const Receiver r = receiver("rc-5 [nec] [lirc]", "rc-5 nec [lirc]");
    EXPECT_TRUE(has(why(r), ": only lirc is enabled on rc0")) << why(r);
    // And back on; then the file is gone (the receiver went away): discovery's text is left.
    std::ofstream(sys / "protocols") << "[rc-5] [nec] [lirc]\n";
    EXPECT_TRUE(has(why(r), ": rc0 decodes rc-5, nec in software")) << why(r);
    fs::remove(sys / "protocols");
    EXPECT_TRUE(has(why(r), ": rc0 decodes nec in software")) << why(r);
}

TEST_F(Silence, HiddenProcessesAreNotNobody) {
    process("101", "lircd", {"/dev/null", "/dev/lirc0", "/dev/lirc0"});
    process("102", "kodi", {"/dev/lirc0", "/dev/input/event5"});
    process("103", "bash", {"/dev/pts/0", "/dev/input/event50"});
    fs::create_directories(proc / "104"); // gone since the listing: not hidden
    hiddenProcess("105");
    process(std::to_string(getpid()), "rccore_tests", {"/dev/lirc0"});
    fs::create_directory_symlink("101", proc / "self");

    const rireruv::Holders h =
        rireruv::nodeHolders({"/dev/lirc0", "/dev/input/event5"}, proc.string());
    EXPECT_EQ(h.hidden, 1);
    EXPECT_EQ(h.found.size(), 2u);
    const std::string line = why(receiver("", ""));
    EXPECT_TRUE(has(line, "; 2 other processes have /dev/lirc0 or /dev/input/event5 open, and a "
                          "reader that grabs the event device (as lircd does) silences it for "
                          "everybody else: stop it and try again: lircd (pid 101) has /dev/lirc0 "
                          "open, kodi"))
        << line;
    EXPECT_TRUE(has(line, "kodi (pid 102) has /dev/lirc0 and /dev/input/event5 open")) << line;
    EXPECT_TRUE(has(line, "; cannot see other users' processes (1); fuser -v /dev/lirc0 "
                          "/dev/input/event5 as root shows them"))
        << line;
    EXPECT_FALSE(has(line, "nobody")) << line;
    EXPECT_FALSE(has(line, "bash")) << line;
    EXPECT_FALSE(has(line, "rccore_tests")) << line;
}

TEST_F(Silence, NobodyOnlyWhenEveryProcessWasSeen) {
    process("200", "bash", {"/dev/null"});
    Receiver eventOnly = receiver("", "");
    eventOnly.lircNode.clear();
    const std::string alone = rireruv::whyNothingArrives(eventOnly, "/dev/input/event5", 3, proc);
    EXPECT_EQ(alone.rfind("no press in 3 s from rc0 (/dev/input/event5): ", 0), 0u) << alone;
    EXPECT_TRUE(has(alone, "; nobody else has /dev/input/event5 open; ")) << alone;

    hiddenProcess("201");
    hiddenProcess("202");
    const std::string unsure = why(receiver("", ""));
    EXPECT_FALSE(has(unsure, "nobody")) << unsure;
    EXPECT_TRUE(has(unsure, "cannot see other users' processes (2)")) << unsure;

    fs::remove_all(proc);
    const std::string blind = why(receiver("", ""));
    EXPECT_FALSE(has(blind, "nobody")) << blind;
    EXPECT_TRUE(has(blind, "cannot list the processes; fuser -v /dev/lirc0 /dev/input/event5"))
        << blind;
}

// With thousands of holders, or more descriptors than the look may read, the advice and the
// count still lead the bounded line, and what was not looked at is said, not called nobody.
TEST_F(Silence, ManyHoldersOrTooManyDescriptorsKeepTheAdvice) {
    // Above any pid_max, so that none of them is this test's own (which is never named).
    for (int pid = 5000000; pid < 5002000; ++pid)
        process(std::to_string(pid), "holder", {"/dev/lirc0"});
    const std::string crowd = rireruv::bounded(why(receiver("", "")));
    EXPECT_TRUE(has(crowd, "; 2000 other processes have /dev/lirc0 or /dev/input/event5 open, and "
                           "a reader that grabs"))
        << crowd;
    EXPECT_TRUE(has(crowd, "holder (pid 5000007) has /dev/lirc0 open, and 1992 more (fuser -v"))
        << crowd;
    EXPECT_FALSE(has(crowd, "(pid 5000008)")) << crowd;
    EXPECT_TRUE(has(crowd, "if none of this: the remote's battery")) << "the advice was cut";

    rireruv::ScanBounds bounds;
    bounds.maxLinks = 500;
    const rireruv::Holders some = rireruv::nodeHolders({"/dev/lirc0"}, proc.string(), bounds);
    EXPECT_EQ(some.found.size(), 500u);
    EXPECT_EQ(some.unseen, 1500u);
    const std::string cut = rireruv::whyNothingArrives(receiver("", ""), "/dev/lirc0", 5, proc,
                                                       rireruv::ScanBounds::none());
    EXPECT_TRUE(has(cut, "; 2000 processes not looked at (too many open descriptors")) << cut;
    EXPECT_FALSE(has(cut, "nobody")) << cut;
}

// The protocols file and other processes' names go into the hint as they are, unless escaped:
// a command that clears the screen, or a newline, would reach the press log's terminal.
TEST_F(Silence, NamesFromTheKernelAndOtherProcessesAreEscaped) {
    process("300", "evil\x1B]0;title\x07", {"/dev/lirc0"});
    const std::string line = why(receiver("", "rc-5\x1B[2J sony\x7F [lirc]"));
    EXPECT_TRUE(has(line, "only lirc is enabled on rc0")) << line;
    EXPECT_TRUE(has(line, "ir-keytable -s rc0 -p rc-5\\e[2J (available: rc-5\\e[2J sony\\x7F)"))
        << line;
    EXPECT_TRUE(has(line, ": evil\\e]0;title\\x07 (pid 300) has /dev/lirc0 open")) << line;

    const std::string decoding = why(receiver("", "[rc-6\x1B[2J] [lirc]"));
    EXPECT_TRUE(has(decoding, "rc0 decodes rc-6\\e[2J in software")) << decoding;
}

// A child process holding a file open until the test lets it go.
class Holder {
  public:
    explicit Holder(const std::string& path) {
        int ready[2], done[2];
        if (pipe(ready) != 0 || pipe(done) != 0)
            return;
        m_pid = fork();
        if (m_pid == 0)
            hold(path, ready[1], done);
        close(ready[1]);
        close(done[0]);
        m_done = done[1];
        char byte = 0;
        m_holding = read(ready[0], &byte, 1) == 1;
        close(ready[0]);
    }
    ~Holder() {
        close(m_done);
        if (m_pid > 0)
            waitpid(m_pid, nullptr, 0);
    }
    Holder(const Holder&) = delete;
    Holder& operator=(const Holder&) = delete;

    pid_t pid() const { return m_pid; }
    bool holding() const { return m_holding; }

  private:
    [[noreturn]] static void hold(const std::string& path, int ready, int done[2]) {
        close(done[1]);
        prctl(PR_SET_NAME, "silence-holder");
        if (open(path.c_str(), O_RDONLY) >= 0 && write(ready, "!", 1) == 1) {
            char byte;
            while (read(done[0], &byte, 1) > 0) {
            }
        }
        _exit(0);
    }

    pid_t m_pid = -1;
    int m_done = -1;
    bool m_holding = false;
};

TEST_F(Silence, NamesTheProcessHoldingANodeInTheRealProc) {
    const std::string node = (dir / "lirc0").string();
    std::ofstream(node) << "a stand-in for the node\n";
    const Holder child(node);
    ASSERT_TRUE(child.holding());
    const int ours = open(node.c_str(), O_RDONLY | O_CLOEXEC); // this process is never named
    ASSERT_GE(ours, 0);

    Receiver r = receiver("", "");
    r.lircNode = node;
    const std::string line = rireruv::whyNothingArrives(r, node, 5);
    close(ours);
    EXPECT_TRUE(
        has(line, "silence-holder (pid " + std::to_string(child.pid()) + ") has " + node + " open"))
        << line;
    EXPECT_FALSE(has(line, "(pid " + std::to_string(getpid()) + ")")) << line;
    EXPECT_FALSE(has(line, "nobody")) << line;
}

} // namespace
