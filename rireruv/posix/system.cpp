// The library's system calls on Linux (rireruv/system.h), and the write a reader who left
// cannot end the program with (rireruv/posix/pipe.h).
#include "rireruv/system.h"

#include "rireruv/posix/pipe.h"

#include <cerrno>
#include <csignal>
#include <ctime>
#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

namespace rireruv {

ssize_t writeWithoutSigpipe(int fd, const void* data, size_t size) {
    sigset_t pipeSignal, previous, pending;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipeSignal, &previous);
    // One already pending was raised by somebody else's write: theirs to take, not ours.
    sigpending(&pending);
    const bool theirs = sigismember(&pending, SIGPIPE) == 1;
    ssize_t n = 0;
    do
        n = write(fd, data, size);
    while (n < 0 && errno == EINTR);
    const int err = errno;
    if (n < 0 && err == EPIPE && !theirs) {
        const timespec now{0, 0};
        sigtimedwait(&pipeSignal, nullptr, &now);
    }
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    errno = err;
    return n;
}

namespace {

// O_NONBLOCK: a fifo nobody reads fails at once (ENXIO) rather than waiting for a reader, and a
// full pipe fails (EAGAIN) rather than waiting for room.
int openToAppend(const std::string& path) {
    return open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0666);
}

// Appends line; 0, or the errno of why it was not (all) written.
int appendLine(const std::string& path, const std::string& line) {
    const int fd = openToAppend(path);
    if (fd < 0)
        return errno;
    int err = 0;
    for (size_t done = 0; done < line.size() && err == 0;) {
        const ssize_t n = writeWithoutSigpipe(fd, line.data() + done, line.size() - done);
        err = n > 0 ? 0 : n < 0 ? errno : EIO;
        done += n > 0 ? static_cast<size_t>(n) : 0;
    }
    close(fd);
    return err;
}

} // namespace

int appendToFile(const std::string& path, const std::string& line) {
    return appendLine(path, line);
}

void alsoToDebugger(const std::string& /*line*/) {}

void sleepMs(unsigned ms) {
    timespec t{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
    while (nanosleep(&t, &t) != 0 && errno == EINTR) {
    }
}

} // namespace rireruv
