// The described card as a test drives it: a umockdev testbed of this process with the card of
// card.umockdev, whose event device answers with the recorded ioctl answers (its keymap by
// index, and a grab that another program can hold: mock_evdev.h) and whose lirc node answers
// as a scancode-mode receiver, and presses written to either node when the test says, as the
// kernel would queue them.
//
// Why not umockdev-run's replay: its presses come at times fixed from its start, whatever the
// reader is doing; a test that must see each press on its own, or time how long one takes to
// show, has to choose the moment itself. umockdev-run also cannot answer lirc's ioctls.
//
// The process must run under umockdev-wrapper; programs it starts inherit the testbed.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct _UMockdevTestbed;
struct _UMockdevIoctlBase;

namespace rccore_test {

class MockEventDevice;

struct MockKey {
    uint32_t scancode;
    uint32_t keycode;
};
// The keymap the card's event device holds (card_ioctl.sh writes it), in the kernel's order:
// by scancode. Written out again here, so that a test compares what a reader got with numbers
// it did not decode from the same answers.
const std::vector<MockKey>& cardKeymap();

class MockCard {
  public:
    // withLirc false: the lirc node refuses every ioctl, as under umockdev-run, so a reader
    // that prefers lirc falls back to the event device. Either way a read of the lirc node
    // whose size is not a whole number of 24-byte records fails with EINVAL, as the kernel's.
    MockCard(const std::string& deviceFile, const std::string& eventIoctlFile,
             bool withLirc = true);
    ~MockCard();
    MockCard(const MockCard&) = delete;
    MockCard& operator=(const MockCard&) = delete;

    // On /dev/input/event5: MSC_SCAN then SYN_REPORT, as an unmapped key of a GPIO receiver.
    // Nothing while another program holds a grab, as the kernel gives it only to the holder.
    void pressOnEventDevice(uint32_t scancode);
    // As rc-core presses and lets go a key: MSC_SCAN, its key down when the keymap maps the
    // scancode, SYN_REPORT; then that key up and SYN_REPORT (rc-core's key-up timeout, passed).
    void pressKeyOnEventDevice(uint32_t scancode);
    // Whether another program holds the event device's grab: EVIOCGRAB then fails with EBUSY.
    void grabbedElsewhere(bool held);
    // On /dev/input/event5: SYN_DROPPED, as evdev queues it when a reader's buffer overflowed.
    void overflowOnEventDevice();
    // On /dev/input/event5: the first bytes of an event and no more, which evdev never gives but
    // a stream may.
    void partOfAnEventOnEventDevice();
    // On /dev/lirc0: one lirc_scancode record, with the key the card's keymap maps it to.
    void pressOnLirc(uint64_t scancode, uint16_t protocol, uint16_t flags = 0);
    // The event device's keymap as it is now: scancode and keycode, in the kernel's order.
    std::vector<std::pair<uint64_t, uint32_t>> keymap() const;
    // A link in the testbed's /dev, as udev makes /dev/input/by-path names: relative, to the
    // node ("../event5").
    void link(const std::string& path, const std::string& target);
    // The lirc node offers MODE2 too, as a receiver that decodes raw light: a reader opens it a
    // second time for the light. One stream serves both opens, so only an idle node is faithful.
    void offerRawPath();
    // A file in the testbed (a module's parameter under /sys/module, say), with its text.
    void file(const std::string& path, const std::string& text);
    // /dev/kmsg in the testbed, as a stream the test writes the kernel's log lines to.
    void addKmsg();
    void kmsg(const std::string& record);
    // The receive mode a reader set on /dev/lirc0 (LIRC_MODE_*), 0 before any.
    uint32_t lircMode() const;

  private:
    void writeNode(const char* node, const void* data, size_t size);

    _UMockdevTestbed* m_bed;
    _UMockdevIoctlBase* m_lirc;
    std::unique_ptr<MockEventDevice> m_event;
};

} // namespace rccore_test
