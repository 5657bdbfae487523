// Runs a program on the described card (mock_card.h) and presses the remote's keys when told:
// each line written to the CONTROL fifo writes the next press of EVENTS (an evemu events file:
// its MSC_SCAN values, in order) to the event device, with the key down and up where the
// card's keymap maps the scancode, as EVENTS has them; a line "hold" holds that key down for
// a second (on the lirc node: its repeat frames, 108 ms apart, as a NEC remote sends them).
// Exits with the program's status.
// usage (under umockdev-wrapper): feed_card [--lirc] CONTROL EVENTS -- PROGRAM [ARGS...]
// With --lirc the presses are records on the lirc node, which then answers as the kernel's.
//
// Or, for a person trying the verifier without a card, pressed by itself: the presses of
// EVENTS at their own times, starting PAUSE seconds after Start (the first ZELK_GetRemoteData
// line in the RIRERUV_TRACE file), so that the hint for a silent receiver shows first.
// usage: feed_card [--lirc] --replay PAUSE EVENTS -- PROGRAM [ARGS...]
//
// Settings for the tests that need another card or remote: FEED_CARD_DEVICE names another
// umockdev device file for the card (one whose receiver decodes raw light, say), FEED_PROTOCOL
// the rc_proto number of every lirc press, and FEED_PROTOCOLS_OUT a file that gets the
// receiver's protocols file as it is once the program has ended (read through the testbed, not
// through the program under test). FEED_KMSG names a file of kernel log records: /dev/kmsg
// and saa7134's ir_debug parameter (0) are added to the testbed, a control line "kmsg" writes
// the next record, and FEED_PARAM_OUT gets the parameter as the program left it.
// FEED_KEYMAP_OUT gets the event device's keymap as the program left it, and FEED_KEYMAP_OUT
// with .before added as it was before the program started.
//
// Why told rather than timed: a test that must see each press's byte on the screen presses
// the next key only once it has seen the last one, however slow the machine is.
#include "tests/rireruv/rccore/card_events.h"
#include "tests/rireruv/rccore/mock_card.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using rccore_test::scancodesIn;
using rccore_test::TimedPress;
using rccore_test::timedPressesIn;

double secondsNow() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

// Whether the trace has a poll yet; reads on from where it last stopped.
bool polled(const std::string& trace, std::streamoff& offset) {
    std::ifstream in(trace);
    in.seekg(offset);
    std::string line;
    while (std::getline(in, line) && !in.eof()) {
        offset = in.tellg();
        if (line.rfind("ZELK_GetRemoteData", 0) == 0)
            return true;
    }
    return false;
}

// The exit status of the child, once it has ended; -1 while it runs.
int ended(pid_t child) {
    int status = 0;
    if (waitpid(child, &status, WNOHANG) != child)
        return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// One line from the fifo means one press; partial lines wait for their newline.
bool g_lirc = false; // presses go to the lirc node, which answers lirc's ioctls

// A saa7134 GPIO receiver's lirc records say no protocol; a code above a byte is an I2C
// receiver's NEC one (card.events says which).
void press(rccore_test::MockCard& card, uint32_t scancode) {
    const uint16_t kUnknown = 0, kNec = 9; // enum rc_proto
    const char* protocol = std::getenv("FEED_PROTOCOL");
    if (g_lirc && protocol != nullptr)
        card.pressOnLirc(scancode, static_cast<uint16_t>(std::atoi(protocol)));
    else if (g_lirc)
        card.pressOnLirc(scancode, scancode > 0xFF ? kNec : kUnknown);
    else
        card.pressKeyOnEventDevice(scancode);
}

// The first frame, then nine repeats: a key held for about a second.
void hold(rccore_test::MockCard& card, uint32_t scancode) {
    const uint16_t kRepeat = 2; // LIRC_SCANCODE_FLAG_REPEAT
    press(card, scancode);
    for (int frame = 1; frame < 10; ++frame) {
        usleep(108000);
        if (g_lirc)
            card.pressOnLirc(scancode, scancode > 0xFF ? 9 : 0, kRepeat);
        else
            card.pressOnEventDevice(scancode);
    }
}

const char kIrDebug[] = "/sys/module/saa7134/parameters/ir_debug";

// The next record of FEED_KMSG into the testbed's /dev/kmsg.
void logRecord(rccore_test::MockCard& card) {
    static std::ifstream records(std::getenv("FEED_KMSG"));
    std::string record;
    if (std::getline(records, record))
        card.kmsg(record + "\n");
}

int feed(rccore_test::MockCard& card, int control, pid_t child, const std::vector<uint32_t>& keys) {
    size_t next = 0;
    std::string line;
    for (;;) {
        pollfd p{control, POLLIN, 0};
        if (poll(&p, 1, 100) > 0) {
            char buf[64];
            const ssize_t n = read(control, buf, sizeof buf);
            for (ssize_t i = 0; i < n; ++i) {
                if (buf[i] != '\n') {
                    line += buf[i];
                    continue;
                }
                if (line == "kmsg")
                    logRecord(card);
                else if (next < keys.size())
                    (line == "hold" ? hold : press)(card, keys[next++]);
                line.clear();
            }
        }
        const int status = ended(child);
        if (status >= 0)
            return status;
    }
}

int replay(rccore_test::MockCard& card, double pause, pid_t child,
           const std::vector<TimedPress>& presses) {
    const char* trace = std::getenv("RIRERUV_TRACE");
    std::streamoff offset = 0;
    double start = -1;
    size_t next = 0;
    for (;;) {
        const int status = ended(child);
        if (status >= 0)
            return status;
        if (start < 0 && trace != nullptr && polled(trace, offset))
            start = secondsNow() + pause - (presses.empty() ? 0 : presses.front().seconds);
        while (start >= 0 && next < presses.size() && secondsNow() >= start + presses[next].seconds)
            press(card, presses[next++].scancode);
        usleep(20000);
    }
}

pid_t startProgram(char** argv) {
    const pid_t child = fork();
    if (child == 0) {
        execvp(argv[0], argv);
        std::perror(argv[0]);
        _exit(127);
    }
    return child;
}

} // namespace

const char* cardDevice() {
    const char* device = std::getenv("FEED_CARD_DEVICE");
    return device != nullptr ? device : CARD_DEVICE;
}

// The event device's keymap as the card has it now, a "0x<scancode> <keycode>" line an entry.
void writeKeymap(const rccore_test::MockCard& card, const std::string& path) {
    std::ofstream out(path);
    for (const auto& [scancode, keycode] : card.keymap())
        out << "0x" << std::hex << scancode << std::dec << " " << keycode << "\n";
}

// The receiver's protocols file as the card has it now, into FEED_PROTOCOLS_OUT if set; its
// keymap into FEED_KEYMAP_OUT.
int keepProtocols(const rccore_test::MockCard& card, int status) {
    if (const char* keymap = std::getenv("FEED_KEYMAP_OUT"))
        writeKeymap(card, keymap);
    const char* out = std::getenv("FEED_PROTOCOLS_OUT");
    if (out != nullptr) {
        std::ifstream in("/sys/class/rc/rc0/protocols");
        std::ofstream(out) << in.rdbuf();
    }
    if (const char* param = std::getenv("FEED_PARAM_OUT")) {
        std::ifstream in(kIrDebug);
        std::ofstream(param) << in.rdbuf();
    }
    return status;
}

int main(int argc, char** argv) {
    if (argc > 1 && std::string(argv[1]) == "--lirc") {
        g_lirc = true;
        --argc;
        ++argv;
    }
    if (argc >= 6 && std::string(argv[1]) == "--replay" && std::string(argv[4]) == "--") {
        rccore_test::MockCard card(cardDevice(), CARD_IOCTL, g_lirc);
        return replay(card, std::atof(argv[2]), startProgram(argv + 5), timedPressesIn(argv[3]));
    }
    if (argc < 5 || std::string(argv[3]) != "--") {
        std::fprintf(stderr, "usage: feed_card [--lirc] CONTROL EVENTS -- PROGRAM [ARGS...]\n"
                             "       feed_card [--lirc] --replay PAUSE EVENTS -- PROGRAM ...\n");
        return 2;
    }
    const std::vector<uint32_t> keys = scancodesIn(argv[2]);
    if (mkfifo(argv[1], 0600) != 0 && errno != EEXIST) {
        std::perror(argv[1]);
        return 2;
    }
    // Read and write, so the fifo never reads as ended between two writers.
    const int control = open(argv[1], O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (control < 0) {
        std::perror(argv[1]);
        return 2;
    }
    rccore_test::MockCard card(cardDevice(), CARD_IOCTL, g_lirc);
    if (std::getenv("FEED_KMSG") != nullptr) {
        card.addKmsg();
        card.file(kIrDebug, "0\n");
    }
    if (const char* keymap = std::getenv("FEED_KEYMAP_OUT"))
        writeKeymap(card, std::string(keymap) + ".before");
    return keepProtocols(card, feed(card, control, startProgram(argv + 4), keys));
}
