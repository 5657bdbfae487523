// Standard error through a pipe that a thread of its own drains.
#include "terminal/capture.h"

#include "terminal/escape.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace terminal {

namespace {
int g_readEnd = -1;
int g_realStderr = -1; // -1 as well when standard error was closed: nothing is written out
volatile std::sig_atomic_t g_utf8 = 1;
// What the thread has taken from the pipe, where a signal handler can still write it: the bytes
// are in place before their size is published.
char g_kept[StderrCapture::kKeptBytes];
std::atomic<size_t> g_keptSize{0};

// Byte by byte, without allocating, and so cruder than escapeText: a control byte but '\n'
// becomes \xHH, and a byte beyond ASCII goes as it is where the locale is UTF-8 (whether or not
// it is part of a character), or else becomes \xHH as well.
void writeEscaped(const char* data, size_t size) {
    for (size_t i = 0; i < size; ++i) {
        const auto c = static_cast<unsigned char>(data[i]);
        const bool shown = c == '\n' || (c >= 0x20 && c < 0x7F) || (c >= 0x80 && g_utf8);
        char escaped[4] = {'\\', 'x', "0123456789ABCDEF"[c >> 4], "0123456789ABCDEF"[c & 15]};
        writeAll(g_realStderr, shown ? data + i : escaped, shown ? 1 : sizeof escaped);
    }
}

// With standard error closed, descriptor 2 is free and pipe() takes it: such an end is moved
// above 2, or installing the write end as 2 would close it.
int aboveStandardOnes(int fd) {
    if (fd > 2)
        return fd;
    const int moved = ::fcntl(fd, F_DUPFD_CLOEXEC, 3);
    ::close(fd);
    return moved;
}

// Signals go to the threads that do not block them: this one would keep them from the front
// end, whose wait for a key they must end.
std::thread withoutSignals(void (StderrCapture::*body)(), StderrCapture* capture) {
    sigset_t all, before;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, &before);
    std::thread thread(body, capture);
    pthread_sigmask(SIG_SETMASK, &before, nullptr);
    return thread;
}
} // namespace

StderrCapture::StderrCapture() {
    std::fflush(stderr);
    g_utf8 = localeIsUtf8() ? 1 : 0;
    g_keptSize = 0;
    g_realStderr = ::fcntl(2, F_DUPFD_CLOEXEC, 3); // before pipe() may take a free 2
    int fds[2] = {-1, -1};
    if (::pipe2(fds, O_CLOEXEC) != 0 || ::pipe2(m_stop, O_CLOEXEC) != 0) {
        for (int fd : {fds[0], fds[1], g_realStderr}) // nothing caught: messages go where
            if (fd >= 0)                              // they always went
                ::close(fd);
        g_readEnd = g_realStderr = -1;
        return;
    }
    g_readEnd = aboveStandardOnes(fds[0]);
    const int writeEnd = aboveStandardOnes(fds[1]);
    ::fcntl(g_readEnd, F_SETFL, O_NONBLOCK);
    ::dup2(writeEnd, 2);
    ::close(writeEnd);
    m_reader = withoutSignals(&StderrCapture::readAll, this);
}

void StderrCapture::readAll() {
    pollfd fds[2] = {{g_readEnd, POLLIN, 0}, {m_stop[0], POLLIN, 0}};
    for (;;) {
        if (::poll(fds, 2, -1) < 0 && errno != EINTR)
            return;
        const std::lock_guard<std::mutex> lock(m_mutex);
        if (!readAvailable() || fds[1].revents != 0)
            return; // every writer gone, or asked to stop and all read
    }
}

// Reads under the lock, so that what take() reads itself keeps its place among the lines.
bool StderrCapture::readAvailable() {
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(g_readEnd, buffer, sizeof buffer);
        if (n > 0)
            add(buffer, static_cast<size_t>(n));
        else if (n == 0)
            return false;
        else if (errno != EINTR)
            return errno == EAGAIN;
    }
}

void StderrCapture::add(const char* data, size_t size) {
    const size_t kept = g_keptSize.load(), more = std::min(size, kKeptBytes - kept);
    std::copy(data, data + more, g_kept + kept);
    g_keptSize.store(kept + more);
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == '\n') {
            endLine();
            continue;
        }
        if (m_partial.size() < kLineKept)
            m_partial += data[i];
        ++m_partialBytes;
    }
}

void StderrCapture::endLine() {
    if (m_partialBytes > m_partial.size())
        m_partial += "... (" + std::to_string(m_partialBytes) + " bytes)";
    m_fresh.push_back(m_partial);
    m_all.push_back(m_partial);
    if (m_all.size() > kLinesKept) {
        m_all.erase(m_all.begin());
        ++m_dropped;
    }
    m_partial.clear();
    m_partialBytes = 0;
}

std::vector<std::string> StderrCapture::take() {
    std::fflush(stderr);
    const std::lock_guard<std::mutex> lock(m_mutex);
    readAvailable(); // what was written before this call, whether the thread has read it or not
    std::vector<std::string> lines;
    lines.swap(m_fresh);
    return lines;
}

void StderrCapture::flushRaw() {
    if (g_readEnd < 0 || g_realStderr < 0)
        return;
    char buffer[1024];
    ssize_t n;
    while ((n = ::read(g_readEnd, buffer, sizeof buffer)) > 0)
        writeEscaped(buffer, static_cast<size_t>(n));
}

void StderrCapture::writeRaw(const char* text) {
    if (g_realStderr >= 0)
        writeEscaped(text, std::strlen(text));
}

void StderrCapture::flushAll() {
    if (g_readEnd < 0 || g_realStderr < 0)
        return;
    writeEscaped(g_kept, g_keptSize.load());
    flushRaw();
}

void StderrCapture::writeOut() const {
    const bool unicode = g_utf8 != 0; // the locale, as the constructor found it
    if (m_dropped > 0)
        std::fprintf(stderr, "Test_rireruv: %zu earlier messages of the library were not kept\n",
                     m_dropped);
    for (const std::string& line : m_all) { // each already cut to its bound as it was caught
        const std::string shown = escapeText(line, unicode, std::string::npos) + "\n";
        writeAll(2, shown.data(), shown.size());
    }
}

StderrCapture::~StderrCapture() {
    if (g_readEnd < 0)
        return;
    std::fflush(stderr);
    if (g_realStderr >= 0)
        ::dup2(g_realStderr, 2);
    else
        ::close(2); // as it was, closed
    writeAll(m_stop[1], "", 1);
    m_reader.join();
    if (m_partialBytes > 0)
        endLine();
    if (g_realStderr >= 0)
        writeOut();
    for (int fd : {g_readEnd, g_realStderr, m_stop[0], m_stop[1]})
        if (fd >= 0)
            ::close(fd);
    g_readEnd = g_realStderr = -1;
}

void writeAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        data += n;
        size -= static_cast<size_t>(n);
    }
}

} // namespace terminal
