// The event device, through libevdev, which also recovers from the kernel's SYN_DROPPED.
#include "receivers/read.h"
#include "rireruv/shown.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <libevdev/libevdev.h>
#include <unistd.h>

namespace rireruv {

namespace {

uint64_t microseconds(const input_event& ev) {
    return static_cast<uint64_t>(ev.input_event_sec) * 1000000u +
           static_cast<uint64_t>(ev.input_event_usec);
}

} // namespace

void ScanDecoder::feed(const input_event& ev, std::vector<Press>& out) {
    if (ev.type == EV_MSC && ev.code == MSC_SCAN) {
        m_haveScan = true;
        m_scan = static_cast<uint32_t>(ev.value);
        m_scanUs = microseconds(ev);
    } else if (ev.type == EV_KEY && ev.value == 1) {
        m_keyDown = true;
        m_keyCode = ev.code;
    } else if (ev.type == EV_KEY && ev.value == 0) {
        if (m_held && ev.code == m_heldCode)
            keyUp(microseconds(ev), out);
        m_held = m_held && ev.code != m_heldCode;
    } else if (ev.type == EV_SYN && ev.code == SYN_REPORT) {
        endFrame(out);
    } else if (ev.type == EV_SYN && ev.code == SYN_DROPPED) {
        m_haveScan = m_keyDown = m_held = false;
    }
}

void ScanDecoder::endFrame(std::vector<Press>& out) {
    if (m_haveScan) {
        Press press;
        press.scancode = m_scan;
        press.repeat = !m_keyDown && m_held && m_heldScan == m_scan;
        // A key the keymap maps goes down with its scancode; a repeat is of the key held.
        press.keycode = m_keyDown ? m_keyCode : press.repeat ? m_heldCode : 0;
        // Only a key the keymap maps goes down and up: an unmapped one's frames say nothing.
        press.hold = m_keyDown ? 0 : press.repeat ? 1 : -1;
        press.timed = true;
        press.kernelUs = m_scanUs;
        out.push_back(press);
        if (m_keyDown) {
            m_held = true;
            m_heldScan = m_scan;
            m_heldCode = m_keyCode;
        }
    }
    m_haveScan = m_keyDown = false;
}

void ScanDecoder::keyUp(uint64_t atUs, std::vector<Press>& out) {
    Press up;
    up.scancode = m_heldScan;
    up.keycode = m_heldCode;
    up.keyUp = true;
    up.timed = true;
    up.kernelUs = atUs;
    out.push_back(up);
}

namespace {

class EventReader : public Reader {
  public:
    EventReader(int fd, libevdev* dev) : m_fd(fd), m_dev(dev) {}
    ~EventReader() override;
    Drained drain(std::vector<Press>& out) override;
    std::string why() const override { return m_why; }

  private:
    int m_fd;
    libevdev* m_dev;
    unsigned m_flags = LIBEVDEV_READ_FLAG_NORMAL;
    ScanDecoder m_decoder;
    std::string m_why;
};

EventReader::~EventReader() {
    libevdev_free(m_dev);
    close(m_fd);
}

Drained EventReader::drain(std::vector<Press>& out) {
    for (unsigned events = 0; events < kRecordsPerDrain * 4; ++events) { // a press is 3-4 events
        input_event ev{};
        const int rc = libevdev_next_event(m_dev, m_flags, &ev);
        if (rc == LIBEVDEV_READ_STATUS_SUCCESS) {
            m_decoder.feed(ev, out);
        } else if (rc == LIBEVDEV_READ_STATUS_SYNC) {
            // The kernel's queue overflowed; the presses in it are gone, and what follows
            // until -EAGAIN is only the device's state caught up.
            m_flags = LIBEVDEV_READ_FLAG_SYNC;
            m_decoder.feed(ev, out);
        } else if (rc == -EAGAIN && m_flags == LIBEVDEV_READ_FLAG_SYNC) {
            m_flags = LIBEVDEV_READ_FLAG_NORMAL;
        } else if (rc == -EAGAIN) {
            return Drained::Ready;
        } else if (rc == -EINVAL) {
            // libevdev's answer to a read that was not whole events; the bytes it read are
            // lost, so every event after them would be read out of step.
            m_why = "gave part of an input event, which no kernel event device does";
            return Drained::Gone;
        } else if (rc != -EINTR) {
            m_why = goneBecause(std::strerror(-rc));
            return Drained::Gone;
        }
    }
    return Drained::Ready; // the rest waits for the next poll
}

// A grab by another program (lircd's devinput driver, a media centre) silences the device
// for everybody else without an error: a trial grab is the only way to see it.
bool grabbedElsewhere(libevdev* dev) {
    if (libevdev_grab(dev, LIBEVDEV_GRAB) == -EBUSY)
        return true;
    libevdev_grab(dev, LIBEVDEV_UNGRAB);
    return false;
}

std::string checkEventDevice(libevdev* dev, const std::string& node) {
    const char* name = libevdev_get_name(dev);
    const std::string named =
        shown(node) + " (" + quoted(name != nullptr ? name : "", kShownMax) + ")";
    if (!libevdev_has_event_code(dev, EV_MSC, MSC_SCAN))
        return named + " gives no scancodes: it is not a remote receiver";
    if (grabbedElsewhere(dev))
        return named +
               " is held by another program's exclusive grab, so no press would reach us; stop "
               "that program (lircd, a media centre: fuser -v " +
               shown(node) + " names it) and start again";
    return "";
}

} // namespace

Opened openEvent(const std::string& node) {
    Opened opened;
    const int fd = openNode(node, opened, false);
    if (fd < 0)
        return opened;
    libevdev* dev = nullptr;
    const int rc = libevdev_new_from_fd(fd, &dev);
    if (rc < 0) {
        opened.error =
            shown(node) + " does not answer as an event device (" + std::strerror(-rc) + ")";
        close(fd);
        return opened;
    }
    opened.error = checkEventDevice(dev, node);
    if (!opened.error.empty()) {
        libevdev_free(dev);
        close(fd);
        return opened;
    }
    // The kernel's times on the clock of lirc's records; a node that cannot keeps its own.
    libevdev_set_clock_id(dev, CLOCK_MONOTONIC);
    opened.reader = std::make_unique<EventReader>(fd, dev);
    return opened;
}

} // namespace rireruv
