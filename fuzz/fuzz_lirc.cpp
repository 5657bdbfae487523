// Fuzz target: the lirc reader. The input is what a receiver's lirc node gives, written into a
// socket pair in reads of the sizes the input says (a mocked node is a stream, so a record may
// come in parts), drained after each; then the node goes away. Beyond not crashing: every
// whole 24-byte record is one press with its fields, in order, and nothing else; draining
// never blocks; a node that went away says so, and why, every time it is drained again.
#include "fuzz/check.h"

#include "receivers/read.h"
#include "rireruv/report.h"

#include <fuzzer/FuzzedDataProvider.h>
#include <linux/lirc.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

void expectRecords(const std::vector<rireruv::Press>& presses, const std::string& written) {
    FUZZ_REQUIRE(presses.size() == written.size() / sizeof(lirc_scancode),
                 "every whole record is a press, and nothing else is",
                 std::to_string(presses.size()) + " presses from " +
                     std::to_string(written.size()) + " bytes");
    for (size_t i = 0; i < presses.size(); ++i) {
        lirc_scancode r{};
        std::memcpy(&r, written.data() + i * sizeof r, sizeof r);
        const rireruv::Press& p = presses[i];
        FUZZ_REQUIRE(p.scancode == r.scancode && p.protocol == r.rc_proto &&
                         p.keycode == r.keycode &&
                         p.repeat == ((r.flags & LIRC_SCANCODE_FLAG_REPEAT) != 0) &&
                         p.toggle == ((r.flags & LIRC_SCANCODE_FLAG_TOGGLE) != 0 ? 1 : 0),
                     "a press has its record's fields", "record " + std::to_string(i));
        // The trace line of a press holds the kernel's protocol name: it must be safe to show.
        fuzz::requireSafe(rireruv::pressLine(p), "a press's trace line is safe to show");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    std::vector<size_t> reads;
    for (size_t n = in.ConsumeIntegralInRange<size_t>(0, 16); n > 0; --n)
        reads.push_back(in.ConsumeIntegralInRange<size_t>(1, 100));
    const std::string bytes = in.ConsumeRemainingBytesAsString();

    int fds[2];
    FUZZ_REQUIRE(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) == 0, "a socket pair",
                 std::strerror(errno));
    fcntl(fds[1], F_SETFL, O_NONBLOCK);
    const std::unique_ptr<rireruv::Reader> reader = rireruv::lircReader(fds[1]);
    std::vector<rireruv::Press> presses;
    size_t at = 0;
    auto deliver = [&](size_t n) {
        while (n > 0) {
            const ssize_t w = send(fds[0], bytes.data() + at, n, MSG_DONTWAIT | MSG_NOSIGNAL);
            FUZZ_REQUIRE(w > 0 || errno == EAGAIN, "the socket takes the bytes",
                         std::strerror(errno));
            if (w > 0) {
                at += static_cast<size_t>(w);
                n -= static_cast<size_t>(w);
            }
            FUZZ_REQUIRE(reader->drain(presses) == rireruv::Drained::Ready,
                         "a node that is there is drained without an end");
        }
    };
    for (const size_t n : reads)
        deliver(std::min(n, bytes.size() - at));
    deliver(bytes.size() - at);
    expectRecords(presses, bytes);

    close(fds[0]);
    const size_t before = presses.size();
    for (int time = 0; time < 2; ++time) {
        FUZZ_REQUIRE(reader->drain(presses) == rireruv::Drained::Gone,
                     "a node that went away is gone");
        FUZZ_REQUIRE(presses.size() == before, "a node that went away gives nothing");
        FUZZ_REQUIRE(!reader->why().empty(), "a node that went away says why");
        fuzz::requireSafe(reader->why(), "why a node went away is safe to show");
    }
    return 0;
}
