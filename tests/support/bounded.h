// A check that code returns at all, for code that once looped for ever while its memory grew
// by gigabytes a second: it runs in a child process with its time and its memory bounded, so
// that such a fault fails its test in seconds, saying which bound it met, rather than hanging
// the run or taking the machine's memory.
#pragma once

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>
#include <new>
#include <sys/resource.h>
#include <unistd.h>

namespace bounded {

const unsigned kSeconds = 10;           // what is checked takes microseconds
const rlim_t kGrowth = rlim_t{1} << 30; // far more memory than any of it needs

inline void say(const char* text) {
    std::fputs(text, stderr);
    std::fflush(stderr);
}

// Bounds the calling process. The memory bound is above what it maps already: a forked child
// of a test program holds the parent's mappings, and under AddressSanitizer terabytes of
// reserved shadow, which an absolute limit would refuse at once.
inline void limit() {
    std::signal(SIGALRM, [](int) {
        const char text[] = "bounded: still running after the time bound: it does not end\n";
        (void)!write(2, text, sizeof text - 1);
        _exit(2);
    });
    alarm(kSeconds);
    unsigned long pages = 0;
    if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%lu", &pages) != 1)
            pages = 0;
        std::fclose(statm);
    }
    rlimit r{};
    getrlimit(RLIMIT_AS, &r);
    r.rlim_cur = static_cast<rlim_t>(pages) * static_cast<rlim_t>(sysconf(_SC_PAGESIZE)) + kGrowth;
    setrlimit(RLIMIT_AS, &r);
}

} // namespace bounded

// The statement returns within bounded::kSeconds and 1 GiB more memory; its result is not
// looked at, so a test checks what it returns afterwards, in the test's own process.
#define EXPECT_RETURNS(statement)                                                                  \
    EXPECT_EXIT(                                                                                   \
        {                                                                                          \
            bounded::limit();                                                                      \
            try {                                                                                  \
                statement;                                                                         \
            } catch (const std::bad_alloc&) {                                                      \
                bounded::say("bounded: took more than the memory bound: it does not end\n");       \
                std::_Exit(3);                                                                     \
            }                                                                                      \
            std::_Exit(0);                                                                         \
        },                                                                                         \
        ::testing::ExitedWithCode(0), "")
