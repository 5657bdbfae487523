// Runs a program on the described card (mock_card.h) and presses the remote's keys when told:
// each line written to the CONTROL fifo writes the next press of EVENTS (an evemu events file:
// its MSC_SCAN values, in order) to the event device. Exits with the program's status.
// usage (under umockdev-wrapper): feed_card CONTROL EVENTS -- PROGRAM [ARGS...]
//
// Why told rather than timed: a test that must see each press's byte on the screen presses
// the next key only once it has seen the last one, however slow the machine is.
#include "mock_card.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

std::vector<uint32_t> scancodesIn(const std::string& path) {
    std::ifstream in(path);
    std::vector<uint32_t> out;
    for (std::string line; std::getline(in, line);) {
        std::istringstream fields(line);
        std::string tag, time, type, code;
        long value = 0;
        if (fields >> tag >> time >> type >> code >> value && tag == "E:" && type == "0004" &&
            code == "0004")
            out.push_back(static_cast<uint32_t>(value));
    }
    return out;
}

// The exit status of the child, once it has ended; -1 while it runs.
int ended(pid_t child) {
    int status = 0;
    if (waitpid(child, &status, WNOHANG) != child)
        return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// One line from the fifo means one press; partial lines wait for their newline.
int feed(rccore_test::MockCard& card, int control, pid_t child, const std::vector<uint32_t>& keys) {
    size_t next = 0;
    for (;;) {
        pollfd p{control, POLLIN, 0};
        if (poll(&p, 1, 100) > 0) {
            char buf[64];
            const ssize_t n = read(control, buf, sizeof buf);
            for (ssize_t i = 0; i < n; ++i)
                if (buf[i] == '\n' && next < keys.size())
                    card.pressOnEventDevice(keys[next++]);
        }
        const int status = ended(child);
        if (status >= 0)
            return status;
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 5 || std::string(argv[3]) != "--") {
        std::fprintf(stderr, "usage: feed_card CONTROL EVENTS -- PROGRAM [ARGS...]\n");
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
    rccore_test::MockCard card(CARD_DEVICE, CARD_IOCTL, false);
    const pid_t child = fork();
    if (child == 0) {
        execvp(argv[4], argv + 4);
        std::perror(argv[4]);
        _exit(127);
    }
    return feed(card, control, child, keys);
}
