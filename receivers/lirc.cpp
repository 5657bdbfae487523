// The lirc node in scancode mode: whole struct lirc_scancode records, read without blocking.
#include "receivers/read.h"

#include "rireruv/shown.h"

#include <linux/lirc.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace rireruv {

namespace {

class LircReader : public Reader {
  public:
    explicit LircReader(int fd) : m_fd(fd) {}
    ~LircReader() override { close(m_fd); }
    Drained drain(std::vector<Press>& out) override;
    std::string why() const override { return m_why; }

  private:
    void decode(std::vector<Press>& out);

    int m_fd;
    std::vector<unsigned char> m_pending; // a mocked node is a stream: part of a record may wait
    std::string m_why;
};

Drained LircReader::drain(std::vector<Press>& out) {
    // The kernel refuses a buffer that is not a whole number of records.
    unsigned char buf[sizeof(lirc_scancode) * 32];
    // A node that always has data, or is always interrupted, must not hold the poll: the rest
    // stays queued for the next one, nothing lost.
    const size_t before = out.size();
    for (unsigned reads = 0; reads < kRecordsPerDrain && out.size() - before < kRecordsPerDrain;
         ++reads) {
        const ssize_t n = read(m_fd, buf, sizeof buf);
        if (n > 0) {
            m_pending.insert(m_pending.end(), buf, buf + n);
            decode(out);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && errno == EAGAIN) {
            return Drained::Ready;
        } else {
            m_why = goneBecause(n == 0 ? "the device hung up" : std::strerror(errno));
            return Drained::Gone;
        }
    }
    return Drained::Ready;
}

void LircReader::decode(std::vector<Press>& out) {
    size_t used = 0;
    for (; m_pending.size() - used >= sizeof(lirc_scancode); used += sizeof(lirc_scancode)) {
        lirc_scancode record;
        std::memcpy(&record, m_pending.data() + used, sizeof record);
        Press press;
        press.scancode = record.scancode;
        press.protocol = record.rc_proto;
        press.repeat = (record.flags & LIRC_SCANCODE_FLAG_REPEAT) != 0;
        press.toggle = (record.flags & LIRC_SCANCODE_FLAG_TOGGLE) != 0 ? 1 : 0;
        press.keycode = record.keycode;
        press.hold = press.repeat ? 1 : -1; // a repeated RC-5 frame has no flag: its time says
        press.timed = true;
        press.kernelUs = record.timestamp / 1000u;
        out.push_back(press);
    }
    m_pending.erase(m_pending.begin(), m_pending.begin() + static_cast<long>(used));
}

// Scancode-only drivers open in scancode mode already; raw ones open in mode2 and must be
// switched, which needs the feature.
std::string toScancodeMode(int fd, const std::string& node) {
    uint32_t features = 0;
    if (ioctl(fd, LIRC_GET_FEATURES, &features) != 0)
        return shown(node) + " does not answer as a lirc device (" + std::strerror(errno) + ")";
    if ((features & LIRC_CAN_REC_SCANCODE) == 0)
        return shown(node) + " cannot give scancodes (a kernel older than 4.16?)";
    uint32_t mode = LIRC_MODE_SCANCODE;
    if (ioctl(fd, LIRC_SET_REC_MODE, &mode) != 0)
        return shown(node) + " refused scancode mode (" + std::strerror(errno) + ")";
    return "";
}

} // namespace

std::unique_ptr<Reader> lircReader(int fd) {
    return std::make_unique<LircReader>(fd);
}

Opened openLirc(const std::string& node) {
    Opened opened;
    const int fd = openNode(node, opened, true);
    if (fd < 0)
        return opened;
    opened.error = toScancodeMode(fd, node);
    if (!opened.error.empty()) {
        close(fd);
        return opened;
    }
    opened.reader = lircReader(fd);
    return opened;
}

} // namespace rireruv
