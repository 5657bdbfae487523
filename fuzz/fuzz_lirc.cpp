// Fuzz target: the lirc reader. The input is what a receiver's lirc node gives, written into a
// socket pair in reads of the sizes the input says (a mocked node is a stream, so a record may
// come in parts), drained after each; then the node goes away. The input's first byte says
// whether its records are made to look like the kernel's (flags, protocol, key code in range,
// times rising up to now). Beyond not crashing: from such records, every whole 24-byte record is
// one press with its fields, in order, and nothing else; from any bytes, each press is a
// 24-byte window of them, in order, none overlapping; draining never blocks; a node that went
// away says so, and why, every time it is drained again.
#include "fuzz/check.h"
#include "receivers/read.h"
#include "rireruv/report.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <fuzzer/FuzzedDataProvider.h>
#include <linux/input-event-codes.h>
#include <linux/lirc.h>
#include <memory>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

bool same(const rireruv::Press& p, const std::string& written, size_t offset) {
    lirc_scancode r{};
    std::memcpy(&r, written.data() + offset, sizeof r);
    return p.scancode == r.scancode && p.protocol == r.rc_proto && p.keycode == r.keycode &&
           p.repeat == ((r.flags & LIRC_SCANCODE_FLAG_REPEAT) != 0) &&
           p.toggle == ((r.flags & LIRC_SCANCODE_FLAG_TOGGLE) != 0 ? 1 : 0);
}

void expectRecords(const std::vector<rireruv::Press>& presses, const std::string& written,
                   bool kernelLike) {
    const size_t whole = written.size() / sizeof(lirc_scancode);
    FUZZ_REQUIRE(kernelLike ? presses.size() == whole : presses.size() <= whole,
                 "every whole record is a press, and nothing else is",
                 std::to_string(presses.size()) + " presses from " +
                     std::to_string(written.size()) + " bytes");
    size_t offset = 0;
    for (size_t i = 0; i < presses.size(); ++i, offset += sizeof(lirc_scancode)) {
        while (!kernelLike && offset + sizeof(lirc_scancode) <= written.size() &&
               !same(presses[i], written, offset))
            ++offset; // the reader skipped bytes that were no record
        FUZZ_REQUIRE(offset + sizeof(lirc_scancode) <= written.size() &&
                         same(presses[i], written, offset),
                     "a press has its record's fields", "press " + std::to_string(i));
        // The trace line of a press holds the kernel's protocol name: it must be safe to show.
        fuzz::requireSafe(rireruv::pressLine(presses[i]), "a press's trace line is safe to show");
    }
}

// Records as the kernel writes them, from any bytes: only its flags, a protocol and a key code
// in range, and times that rise from an hour ago.
void likeTheKernel(std::string& bytes) {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    uint64_t ns = static_cast<uint64_t>(now.tv_sec) * 1000000000u;
    ns = ns > 3600000000000u ? ns - 3600000000000u : 0;
    for (size_t at = 0; at + sizeof(lirc_scancode) <= bytes.size(); at += sizeof(lirc_scancode)) {
        lirc_scancode r{};
        std::memcpy(&r, bytes.data() + at, sizeof r);
        r.flags &= LIRC_SCANCODE_FLAG_TOGGLE | LIRC_SCANCODE_FLAG_REPEAT;
        r.rc_proto %= 64;
        r.keycode %= KEY_MAX + 1;
        r.timestamp = ns += r.timestamp % 10000000u; // at most 10 ms apart: never past now
        std::memcpy(&bytes[at], &r, sizeof r);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    std::vector<size_t> reads;
    for (size_t n = in.ConsumeIntegralInRange<size_t>(0, 16); n > 0; --n)
        reads.push_back(in.ConsumeIntegralInRange<size_t>(1, 100));
    const bool kernelLike = in.ConsumeBool();
    std::string bytes = in.ConsumeRemainingBytesAsString();
    if (kernelLike)
        likeTheKernel(bytes);

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
    expectRecords(presses, bytes, kernelLike);

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
