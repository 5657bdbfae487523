// The described card with its lirc node answering as the kernel's does (mock_card.h), read by
// the real board as RIRERUV_DEVICE=auto sets it up: discovery, the switch to scancode mode and
// the records, together. Run under umockdev-wrapper.
//
// Why beside the socket-pair tests: those feed the reader directly; only here does the board
// choose the lirc node over the event device, ask for scancode mode through ioctls, and read
// a node whose bytes arrive as a stream rather than one record per read.
#include "tests/rireruv/rccore/board_under_test.h"
#include "tests/rireruv/rccore/mock_card.h"
#include "tests/support/files.h"
#include "tests/support/wait.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/lirc.h>
#include <unistd.h>

namespace {

std::vector<std::string> pressesIn(const std::string& path) {
    std::vector<std::string> out;
    for (const auto& line : linesOf(path))
        if (line.rfind("press ", 0) == 0)
            out.push_back(line);
    return out;
}

TEST(MockedLirc, AutoReadsTheLircNodeInScancodeModeAndTracesEveryRecord) {
    rccore_test::MockCard card(CARD_DEVICE, CARD_IOCTL);
    rccore_test::BoardUnderTest b("auto", scratch("mock_lirc.trace"));
    ASSERT_EQ(b.board->init(), 0);
    EXPECT_EQ(card.lircMode(), static_cast<uint32_t>(LIRC_MODE_SCANCODE));
    EXPECT_EQ(b.poll(), -1) << "nothing before the first press";

    // Three records between two polls: all traced, the last one's low byte shown; a repeat
    // keeps its flag; 0x00 is a key.
    card.pressOnLirc(0x40c, RC_PROTO_NEC);
    card.pressOnLirc(0x40c, RC_PROTO_NEC, LIRC_SCANCODE_FLAG_REPEAT);
    card.pressOnLirc(0x400, RC_PROTO_NEC);
    // The records may reach the node's stream apart: polled until all three are traced.
    const int shown = b.pollUntil([&] { return pressesIn(b.trace).size() >= 3; });
    EXPECT_EQ(shown, 0x00);
    EXPECT_EQ(b.board->free(), 0);

    EXPECT_EQ(pressesIn(b.trace), (std::vector<std::string>{
                                      "press scancode=0x40c protocol=nec repeat=0",
                                      "press scancode=0x40c protocol=nec repeat=1",
                                      "press scancode=0x400 protocol=nec repeat=0",
                                  }));
    const std::vector<std::string> lines = linesOf(b.trace);
    EXPECT_EQ(lines.front(), "ZELK_HWInit 0");
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[lines.size() - 2], "ZELK_GetRemoteData 00");
    EXPECT_EQ(lines.back(), "ZELK_Free");
}

// The kernel refuses a read of less than a record or of part of one before it looks for records
// (lirc_dev.c, lirc_read_scancode), so a reader whose buffer is not a whole number of records
// reads nothing, ever. The described node refuses it too, or the test above would pass such a
// reader on a stream that takes any size.
TEST(MockedLirc, TheNodeRefusesAReadOfPartRecordsAsTheKernelDoes) {
    rccore_test::MockCard card(CARD_DEVICE, CARD_IOCTL);
    const int fd = open("/dev/lirc0", O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(fd, 0) << std::strerror(errno);
    card.pressOnLirc(0x40c, RC_PROTO_NEC);
    unsigned char buffer[sizeof(lirc_scancode) * 4];
    for (const size_t size :
         {size_t{1}, sizeof(lirc_scancode) - 1, sizeof(lirc_scancode) + 1, sizeof buffer - 8}) {
        SCOPED_TRACE(size);
        errno = 0;
        EXPECT_EQ(read(fd, buffer, size), -1);
        EXPECT_EQ(errno, EINVAL);
    }
    // A whole number of records is read as the node's stream has it, the record pressed above.
    ssize_t got = -1;
    waitUntil(
        [&] {
            got = read(fd, buffer, sizeof buffer);
            return !(got < 0 && errno == EAGAIN);
        },
        std::chrono::seconds(10), std::chrono::milliseconds(5));
    EXPECT_EQ(got, static_cast<ssize_t>(sizeof(lirc_scancode)));
    close(fd);
}

} // namespace
