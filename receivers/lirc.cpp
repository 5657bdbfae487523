// The lirc node in scancode mode: whole struct lirc_scancode records, read without blocking.
#include "receivers/read.h"
#include "rireruv/shown.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <linux/input-event-codes.h>
#include <linux/lirc.h>
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
    std::string notice() override { return std::move(m_notice); }

  private:
    void decode(std::vector<Press>& out);
    void skipped(size_t bytes);

    int m_fd;
    std::vector<unsigned char> m_pending; // a mocked node is a stream: part of a record may wait
    std::string m_why, m_notice;
    bool m_toldSkip = false;
    uint64_t m_lastNs = 0; // the time of the last record read
};

// What a record of the kernel's looks like: only the two flags it sets, a protocol of the enum
// (with room for ones a later kernel adds), a key code up to KEY_MAX, and its time on the
// monotonic clock (ktime_get_ns), not past now nor before the record before it. Bytes that are
// not a whole record (a stray fragment on a stream) read as records fail this at once, where
// reading on would misread every record after them: a window a few bytes off moves the time's
// bytes up (a time past now) or down (before the last record's).
bool plausible(const lirc_scancode& r, uint64_t nowNs, uint64_t lastNs) {
    return (r.flags & ~(LIRC_SCANCODE_FLAG_TOGGLE | LIRC_SCANCODE_FLAG_REPEAT)) == 0 &&
           r.rc_proto < 64 && r.keycode <= KEY_MAX && r.timestamp <= nowNs && r.timestamp >= lastNs;
}

uint64_t monotonicNs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint64_t>(now.tv_sec) * 1000000000u + static_cast<uint64_t>(now.tv_nsec);
}

void LircReader::skipped(size_t bytes) {
    if (m_toldSkip)
        return;
    m_toldSkip = true;
    m_notice = "gave " + std::to_string(bytes) +
               " bytes that are no whole record: they were skipped, and reading resumed at the "
               "next whole record (said once)";
}

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
    size_t used = 0, skip = 0;
    const uint64_t nowNs = monotonicNs() + 1000000000u; // a second's room for a coarse clock
    for (; m_pending.size() - used >= sizeof(lirc_scancode); used += sizeof(lirc_scancode)) {
        lirc_scancode record;
        std::memcpy(&record, m_pending.data() + used, sizeof record);
        if (!plausible(record, nowNs, m_lastNs)) { // a byte on, until a record starts again
            ++skip;
            used -= sizeof(lirc_scancode) - 1;
            continue;
        }
        if (skip > 0)
            skipped(skip);
        skip = 0;
        m_lastNs = record.timestamp;
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
    if (skip > 0)
        skipped(skip);
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
