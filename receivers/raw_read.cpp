// The raw handle of a lirc node: MODE2 words read without waiting, framed as they come.
#include "receivers/read.h"
#include "rireruv/shown.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/lirc.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace rireruv {

RawReader::~RawReader() {
    close(m_fd);
}

Drained RawReader::drain(std::vector<EdgeFrame>& frames, size_t maxWords) {
    size_t words = 0;
    unsigned char buf[4 * 256];
    while (words < maxWords) {
        const ssize_t n = read(m_fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN)
            break;
        if (n <= 0) {
            m_why = goneBecause(n == 0 ? "the device hung up" : std::strerror(errno));
            return Drained::Gone;
        }
        m_pending.insert(m_pending.end(), buf, buf + n);
        size_t used = 0;
        for (; m_pending.size() - used >= 4; used += 4, ++words) {
            uint32_t word = 0;
            std::memcpy(&word, m_pending.data() + used, sizeof word);
            const uint32_t type = word & LIRC_MODE2_MASK;
            m_edges += type == LIRC_MODE2_PULSE || type == LIRC_MODE2_SPACE ? 1 : 0;
            m_framer.feed(word, frames);
        }
        m_pending.erase(m_pending.begin(), m_pending.begin() + static_cast<long>(used));
    }
    if (words == 0)
        m_framer.flush(frames);
    return Drained::Ready;
}

OpenedRaw openRaw(const std::string& lircNode) {
    OpenedRaw opened;
    const int fd = open(lircNode.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        opened.why = "cannot open " + shown(lircNode) + " again: " + std::strerror(errno);
        return opened;
    }
    uint32_t features = 0;
    uint32_t mode = LIRC_MODE_MODE2;
    if (ioctl(fd, LIRC_GET_FEATURES, &features) != 0 || (features & LIRC_CAN_REC_MODE2) == 0) {
        opened.why = "no raw path (the receiver decodes in hardware)";
    } else if (ioctl(fd, LIRC_SET_REC_MODE, &mode) != 0) {
        opened.why = shown(lircNode) + " refused mode2 (" + std::strerror(errno) + ")";
    } else {
        // A timeout word frames each message; a kernel that cannot still ends frames by their gap.
        uint32_t reports = 1;
        ioctl(fd, LIRC_SET_REC_TIMEOUT_REPORTS, &reports);
        opened.reader = std::make_unique<RawReader>(fd);
        return opened;
    }
    close(fd);
    return opened;
}

} // namespace rireruv
