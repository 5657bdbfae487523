// Standard error through a pipe that the front end drains between the program's turns.
#include "capture.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace terminal {

namespace {
int g_readEnd = -1;
int g_realStderr = -1;

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
} // namespace

StderrCapture::StderrCapture() {
    int fds[2];
    std::fflush(stderr);
    if (::pipe(fds) != 0)
        return; // nothing caught: messages go where they always went
    g_realStderr = ::dup(2);
    g_readEnd = fds[0];
    ::fcntl(g_readEnd, F_SETFL, O_NONBLOCK);
    ::fcntl(g_readEnd, F_SETFD, FD_CLOEXEC);
    ::fcntl(g_realStderr, F_SETFD, FD_CLOEXEC);
    ::dup2(fds[1], 2);
    ::close(fds[1]);
}

std::vector<std::string> StderrCapture::take() {
    std::vector<std::string> lines;
    if (g_readEnd < 0)
        return lines;
    std::fflush(stderr);
    char buffer[4096];
    ssize_t n;
    while ((n = ::read(g_readEnd, buffer, sizeof buffer)) > 0) {
        for (ssize_t i = 0; i < n; ++i) {
            if (buffer[i] != '\n') {
                m_partial += buffer[i];
                continue;
            }
            lines.push_back(m_partial);
            m_partial.clear();
        }
    }
    m_all.insert(m_all.end(), lines.begin(), lines.end());
    return lines;
}

void StderrCapture::flushRaw() {
    if (g_readEnd < 0 || g_realStderr < 0)
        return;
    char buffer[4096];
    ssize_t n;
    while ((n = ::read(g_readEnd, buffer, sizeof buffer)) > 0)
        writeAll(g_realStderr, buffer, static_cast<size_t>(n));
}

StderrCapture::~StderrCapture() {
    if (g_readEnd < 0)
        return;
    take();
    if (!m_partial.empty())
        m_all.push_back(m_partial);
    ::dup2(g_realStderr, 2);
    for (const std::string& line : m_all) {
        writeAll(2, line.data(), line.size());
        writeAll(2, "\n", 1);
    }
    ::close(g_readEnd);
    ::close(g_realStderr);
    g_readEnd = g_realStderr = -1;
}

} // namespace terminal
