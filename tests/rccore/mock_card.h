// The described card as a test drives it: a umockdev testbed of this process with the card of
// card.umockdev, whose event device answers with the recorded ioctl answers and whose lirc
// node answers as a scancode-mode receiver, and presses written to either node when the test
// says, as the kernel would queue them.
//
// Why not umockdev-run's replay: its presses come at times fixed from its start, whatever the
// reader is doing; a test that must see each press on its own, or time how long one takes to
// show, has to choose the moment itself. umockdev-run also cannot answer lirc's ioctls.
//
// The process must run under umockdev-wrapper; programs it starts inherit the testbed.
#pragma once

#include <cstdint>
#include <string>

struct _UMockdevTestbed;
struct _UMockdevIoctlBase;

namespace rccore_test {

class MockCard {
  public:
    // withLirc false: the lirc node refuses every ioctl, as under umockdev-run, so a reader
    // that prefers lirc falls back to the event device.
    MockCard(const std::string& deviceFile, const std::string& eventIoctlFile,
             bool withLirc = true);
    ~MockCard();
    MockCard(const MockCard&) = delete;
    MockCard& operator=(const MockCard&) = delete;

    // On /dev/input/event5: MSC_SCAN then SYN_REPORT, as an unmapped key of a GPIO receiver.
    void pressOnEventDevice(uint32_t scancode);
    // On /dev/lirc0: one lirc_scancode record.
    void pressOnLirc(uint64_t scancode, uint16_t protocol, uint16_t flags = 0);
    // The receive mode a reader set on /dev/lirc0 (LIRC_MODE_*), 0 before any.
    uint32_t lircMode() const;

  private:
    void writeNode(const char* node, const void* data, size_t size);

    _UMockdevTestbed* m_bed;
    _UMockdevIoctlBase* m_lirc;
};

} // namespace rccore_test
