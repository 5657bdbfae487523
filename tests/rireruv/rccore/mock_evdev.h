// The described card's event device in a umockdev testbed: it answers every evdev ioctl with
// the answers card_ioctl.sh wrote, its keymap by the index or scancode asked for, keys set and
// removed (EVIOCSKEYCODE and its _V2) in a table kept in scancode order as rc-core keeps it, and
// EVIOCGRAB as the kernel does (one holder; EBUSY for everybody else, also while a test says
// another program holds it).
//
// Why not umockdev_testbed_load_ioctl: its answers ignore what the request carries, so
// EVIOCGKEYCODE_V2 gets the file's entries in turn whatever index is asked for, and its
// EVIOCGRAB always succeeds; and umockdev takes either loaded answers or a handler for a node,
// not both. Reading the same file keeps one description of the device for umockdev-run too.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <umockdev.h>
#include <vector>

namespace rccore_test {

class MockEventDevice {
  public:
    // Throws when ioctlFile cannot be read or names an ioctl this mock does not know.
    explicit MockEventDevice(const std::string& ioctlFile);
    ~MockEventDevice();
    MockEventDevice(const MockEventDevice&) = delete;
    MockEventDevice& operator=(const MockEventDevice&) = delete;

    UMockdevIoctlBase* handler() const { return m_handler; }
    // The key the keymap maps scancode to; 0 when it maps none.
    uint32_t keyFor(uint64_t scancode) const;
    // The table as EVIOCGKEYCODE_V2 by index lists it: scancode and keycode, in order.
    std::vector<std::pair<uint64_t, uint32_t>> table() const;
    void setGrabbedElsewhere(bool held) { m_grabbedElsewhere = held; }
    bool grabbedElsewhere() const { return m_grabbedElsewhere; }

  private:
    struct Answer {
        long result = 0;
        std::vector<uint8_t> data;
    };
    static gboolean onIoctl(UMockdevIoctlBase* handler, UMockdevIoctlClient* client, gpointer self);
    void load(const std::string& ioctlFile);
    void answer(UMockdevIoctlClient* client, const Answer& a);
    void keymapEntry(UMockdevIoctlClient* client);
    void setKey(UMockdevIoctlClient* client, bool second);
    void keyOf(UMockdevIoctlClient* client);
    void grab(UMockdevIoctlClient* client);

    std::map<gulong, Answer> m_answers;                 // by request, its size included
    mutable std::mutex m_mutex;                         // guards m_table: tests read it
    std::vector<std::pair<uint64_t, uint32_t>> m_table; // scancode order, as rc-core keeps it
    uint8_t m_scancodeLen = 4;                          // what the card's answers gave
    std::atomic<bool> m_grabbedElsewhere{false};
    UMockdevIoctlClient* m_grabber = nullptr; // a reference held; only the worker thread
    UMockdevIoctlBase* m_handler;
};

} // namespace rccore_test
