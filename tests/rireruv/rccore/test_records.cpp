// Polling a receiver through its lirc records: lirc_scancode records written to one end of a
// socket pair as the kernel queues them, read and traced by a Poller at the other end.
#include "rireruv/notes.h"
#include "rireruv/rccore/poll.h"
#include "rireruv/tally.h"
#include "tests/support/files.h"
#include "tests/support/listening.h"

#include <atomic>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/lirc.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

struct Receiver {
    int kernel = -1; // the end the test writes records to
    // ctest runs these tests at once, each in a process of its own: one trace file per test.
    std::string trace =
        scratch(std::string("records.") +
                testing::UnitTest::GetInstance()->current_test_info()->name() + ".trace");
    std::unique_ptr<rireruv::Poller> poller;

    explicit Receiver(int type = SOCK_SEQPACKET) {
        int fds[2];
        EXPECT_EQ(socketpair(AF_UNIX, type | SOCK_CLOEXEC, 0, fds), 0);
        fcntl(fds[1], F_SETFL, O_NONBLOCK);
        kernel = fds[0];
        std::remove(trace.c_str());
        poller = std::make_unique<rireruv::Poller>(rireruv::lircReader(fds[1]), "rc0 (/dev/lirc0)",
                                                   rireruv::Trace(trace));
    }
    ~Receiver() {
        if (kernel >= 0)
            close(kernel);
    }
    void press(uint64_t scancode, uint16_t flags = 0, uint16_t proto = RC_PROTO_NEC,
               uint64_t ns = 0) {
        lirc_scancode record{};
        record.timestamp = ns;
        record.scancode = scancode;
        record.flags = flags;
        record.rc_proto = proto;
        ASSERT_EQ(write(kernel, &record, sizeof record), static_cast<ssize_t>(sizeof record));
    }
    // The byte one poll writes, or -1 when it writes nothing.
    int poll() {
        unsigned char b = 0x5A; // a byte no press of these tests gives
        const int result = poller->poll(&b);
        EXPECT_EQ(result, b == 0x5A ? 1 : 0);
        return b == 0x5A ? -1 : b;
    }
    std::vector<std::string> lines() const { return linesOf(trace); }
};

TEST(LircRecords, NothingBeforeTheFirstPressThenTheByteStays) {
    Receiver r;
    EXPECT_EQ(r.poll(), -1);
    EXPECT_EQ(r.poll(), -1);
    r.press(0x00); // a real key on many remotes, never "nothing"
    EXPECT_EQ(r.poll(), 0x00);
    EXPECT_EQ(r.poll(), 0x00);
    r.press(0x1F);
    EXPECT_EQ(r.poll(), 0x1F);
    EXPECT_EQ(r.poll(), 0x1F);
    EXPECT_EQ(r.lines(), (std::vector<std::string>{
                             "ZELK_GetRemoteData -", "ZELK_GetRemoteData -",
                             "press scancode=0x0 protocol=nec repeat=0", "ZELK_GetRemoteData 00",
                             "ZELK_GetRemoteData 00", "press scancode=0x1f protocol=nec repeat=0",
                             "ZELK_GetRemoteData 1F", "ZELK_GetRemoteData 1F"}));
}

TEST(LircRecords, EveryPressBetweenTwoPollsIsTracedAndTheLastShown) {
    Receiver r;
    r.press(0x0811, 0, RC_PROTO_NEC);
    r.press(0x0812, LIRC_SCANCODE_FLAG_REPEAT, RC_PROTO_NEC);
    r.press(0x1e0f, LIRC_SCANCODE_FLAG_TOGGLE, RC_PROTO_RC5);
    r.press(0x80ff, 0, RC_PROTO_UNKNOWN);
    r.press(0x1234abcdULL << 8 | 0xC7, 0, RC_PROTO_RC6_MCE); // above 32 bits: the low byte
    EXPECT_EQ(r.poll(), 0xC7);
    EXPECT_EQ(r.lines(),
              (std::vector<std::string>{"press scancode=0x811 protocol=nec repeat=0",
                                        "press scancode=0x812 protocol=nec repeat=1",
                                        "press scancode=0x1e0f protocol=rc-5 repeat=0",
                                        "press scancode=0x80ff protocol=unknown repeat=0",
                                        "press scancode=0x1234abcdc7 protocol=rc-6-mce repeat=0",
                                        "ZELK_GetRemoteData C7"}));
}

TEST(LircRecords, MoreThanOneReadsWorthIsDrainedInOnePoll) {
    Receiver r;
    for (int i = 0; i < 100; ++i)
        r.press(0x100 + i);
    EXPECT_EQ(r.poll(), (0x100 + 99) & 0xFF);
    EXPECT_EQ(r.lines().size(), 101u);
}

// A node that always has more must not hold the poll: one poll takes a bounded number of
// records, the next takes the rest, and none is lost.
TEST(LircRecords, AFloodIsTakenOverPollsAndNothingIsLost) {
    Receiver r(SOCK_STREAM);
    const unsigned flood = rireruv::kRecordsPerDrain + 52;
    std::vector<lirc_scancode> records(flood); // one write: a socket queues few small ones
    for (unsigned i = 0; i < flood; ++i)
        records[i].scancode = 0x1000 + i;
    const ssize_t size = static_cast<ssize_t>(records.size() * sizeof records[0]);
    ASSERT_EQ(write(r.kernel, records.data(), static_cast<size_t>(size)), size);
    r.poll();
    EXPECT_EQ(r.lines().size(), rireruv::kRecordsPerDrain + 1) << "a bounded first poll";
    EXPECT_EQ(r.poll(), (0x1000 + flood - 1) & 0xFF);
    EXPECT_EQ(r.lines().size(), flood + 2) << "every record, over two polls";
}

// A mocked node is a stream, not a packet device: half a record waits for its other half.
TEST(LircRecords, ARecordSplitAcrossReadsIsJoined) {
    Receiver r(SOCK_STREAM);
    lirc_scancode record{};
    record.scancode = 0x42;
    const char* bytes = reinterpret_cast<const char*>(&record);
    ASSERT_EQ(write(r.kernel, bytes, 10), 10);
    EXPECT_EQ(r.poll(), -1);
    ASSERT_EQ(write(r.kernel, bytes + 10, sizeof record - 10),
              static_cast<ssize_t>(sizeof record - 10));
    EXPECT_EQ(r.poll(), 0x42);
}

// Bytes that are no whole record (a stray fragment on a stream) are skipped and said once; the
// records after them read as they are, wherever the fragment fell.
TEST(LircRecords, AFragmentIsSkippedOnceAndReadingResynchronises) {
    for (const size_t fragment : {1u, 7u, 23u}) {
        SCOPED_TRACE(std::to_string(fragment) + " bytes");
        Receiver r(SOCK_STREAM);
        const std::vector<unsigned char> stray(fragment, 0xEE);
        ASSERT_EQ(write(r.kernel, stray.data(), stray.size()), static_cast<ssize_t>(fragment));
        testing::internal::CaptureStderr();
        timespec now{}; // each record stamped on the monotonic clock, as the kernel does
        clock_gettime(CLOCK_MONOTONIC, &now);
        const uint64_t uptime = static_cast<uint64_t>(now.tv_sec) * 1000000000u - 3000000000u;
        r.press(0x1234, LIRC_SCANCODE_FLAG_TOGGLE, RC_PROTO_RC5, uptime);
        r.press(0x42, 0, RC_PROTO_NEC, uptime + 1000000000u);
        EXPECT_EQ(r.poll(), 0x42);
        // A later record whose bytes look like the fragment's: read as it is.
        r.press(0xEEEEEE, 0, RC_PROTO_NEC, uptime + 2000000000u);
        EXPECT_EQ(r.poll(), 0xEE);
        EXPECT_EQ(testing::internal::GetCapturedStderr(),
                  "rireruv: rc0 (/dev/lirc0) gave " + std::to_string(fragment) +
                      " bytes that are no whole record: they were skipped, and reading resumed "
                      "at the next whole record (said once)\n");
        const auto lines = r.lines();
        ASSERT_GE(lines.size(), 3u);
        EXPECT_EQ(lines[1], "press scancode=0x1234 protocol=rc-5 repeat=0");
    }
}

TEST(LircRecords, ADeviceThatHangsUpIsSaidOnceAndPollingGoesOn) {
    Receiver r;
    r.press(0x33);
    EXPECT_EQ(r.poll(), 0x33);
    r.press(0x44);
    close(r.kernel);
    r.kernel = -1;
    int goneNotes = 0; // what ends --check at once
    Listening listening(
        [](void* heard, int kind, const RireruvPress*, const char*) {
            *static_cast<int*>(heard) += kind == RIRERUV_NOTE_GONE ? 1 : 0;
        },
        &goneNotes);
    testing::internal::CaptureStderr();
    EXPECT_EQ(r.poll(), -1) << "a receiver that is gone shows no byte";
    EXPECT_EQ(r.poll(), -1);
    EXPECT_EQ(goneNotes, 1);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err, "rireruv: rc0 (/dev/lirc0) is gone (the device hung up): no more presses will "
                   "be read. The verifier keeps running; start it again once the card is back\n");
    const auto lines = r.lines();
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[2], "press scancode=0x44 protocol=nec repeat=0") << "drained before the end";
    EXPECT_EQ(lines[3].rfind("error rc0 (/dev/lirc0) is gone", 0), 0u);
    EXPECT_EQ(lines[4], "ZELK_GetRemoteData -");
    EXPECT_EQ(lines[5], "ZELK_GetRemoteData -");
}

// A run that began ms ago and gave nothing, its polls never far enough apart to start another.
void silentSince(uint64_t ms) {
    const uint64_t now = rireruv::monotonicMs();
    rireruv::tally().begin("rc0", "rc-test");
    for (uint64_t back = ms; back > 0; back -= std::min<uint64_t>(back, 2500)) {
        rireruv::tally().poll(now - back);
        rireruv::tally().presses({}, now - back);
    }
}

// The look at who holds the nodes can take seconds: polls go on beside it, a press answers at
// once, a press while it looked keeps its hint unsaid, and freeing the board stops it.
TEST(LircRecords, ASlowLookForHoldersNeverHoldsAPoll) {
    struct Scan {
        std::atomic<bool> entered{false}, released{false}, ended{false}, stopped{false};
    };
    for (const bool pressMeanwhile : {true, false}) {
        SCOPED_TRACE(pressMeanwhile ? "a press while it looks" : "silence throughout");
        Receiver r;
        auto scan = std::make_shared<Scan>();
        r.poller->whenSilent([scan](const rireruv::ScanBounds& bounds) {
            scan->entered = true;
            while (!scan->released && !bounds.over(0))
                usleep(1000);
            scan->stopped = bounds.stop != nullptr && bounds.stop->load();
            scan->ended = true;
            return std::string("held by lircd");
        });
        silentSince(9000);
        EXPECT_EQ(r.poll(), -1);
        while (!scan->entered)
            usleep(1000);
        if (pressMeanwhile) {
            r.press(0x33);
            EXPECT_EQ(r.poll(), 0x33);
            EXPECT_FALSE(scan->ended) << "the poll waited for the look";
        }
        EXPECT_EQ(r.poll(), pressMeanwhile ? 0x33 : -1);
        EXPECT_FALSE(scan->ended) << "the poll waited for the look";
        scan->released = true;
        while (!scan->ended)
            usleep(1000);
        r.poll(); // the first poll after it ends takes its result
        const auto lines = r.lines();
        const bool hinted =
            std::find(lines.begin(), lines.end(), "hint held by lircd") != lines.end();
        EXPECT_EQ(hinted, !pressMeanwhile) << "a press withdrew the reason to say it";
    }
    // Freed while it looks: the board's end asks the look to stop, and waits for it.
    Receiver r;
    auto scan = std::make_shared<Scan>();
    r.poller->whenSilent([scan](const rireruv::ScanBounds& bounds) {
        scan->entered = true;
        while (!bounds.over(0))
            usleep(1000);
        scan->stopped = bounds.stop->load();
        return std::string();
    });
    silentSince(9000);
    r.poll();
    while (!scan->entered)
        usleep(1000);
    r.poller.reset();
    EXPECT_TRUE(scan->stopped) << "it ran to its deadline rather than stop when asked";
}

} // namespace
