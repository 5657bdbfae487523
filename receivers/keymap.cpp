// Reading an event device's keymap entry by entry, the way ir-keytable -r does (keytable.c,
// display_table_v2), because the kernel offers no call that returns the whole table.
#include "receivers/keymap.h"

#include "receivers/read.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <libevdev/libevdev.h>
#include <linux/input.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace rireruv {

namespace {

// The kernel copies its own integer into the entry: 4 bytes (rc-core's u32 scancodes, HID,
// keyboards) or 8 (an rc_map_table with u64 scancodes), in the machine's byte order.
bool scancodeOf(const input_keymap_entry& entry, uint64_t& scancode) {
    if (entry.len == sizeof(uint32_t)) {
        uint32_t value = 0;
        std::memcpy(&value, entry.scancode, sizeof value);
        scancode = value;
        return true;
    }
    if (entry.len == sizeof(uint64_t)) {
        std::memcpy(&scancode, entry.scancode, sizeof scancode);
        return true;
    }
    return false;
}

} // namespace

std::vector<KeymapEntry> readKeymap(int fd, std::string* error) {
    std::vector<KeymapEntry> out;
    std::string why;
    // The index is 16 bits wide: a device that never refused would be asked forever.
    for (uint32_t index = 0; index <= 0xFFFF; ++index) {
        input_keymap_entry entry{};
        entry.flags = INPUT_KEYMAP_BY_INDEX;
        entry.index = static_cast<uint16_t>(index);
        entry.len = sizeof(uint64_t);
        if (ioctl(fd, EVIOCGKEYCODE_V2, &entry) < 0) {
            // Past the last entry the kernel refuses too: only a refusal of the first one
            // says the device has no keymap to give.
            if (index == 0)
                why = std::string("EVIOCGKEYCODE_V2: ") + std::strerror(errno);
            break;
        }
        uint64_t scancode = 0;
        if (!scancodeOf(entry, scancode)) {
            why = "EVIOCGKEYCODE_V2: entry " + std::to_string(index) + " has a scancode of " +
                  std::to_string(entry.len) + " bytes";
            break;
        }
        out.push_back(KeymapEntry{scancode, entry.keycode});
    }
    if (error != nullptr)
        *error = why;
    return out;
}

std::vector<KeymapEntry> readKeymap(const std::string& node, std::string* error) {
    const int fd = open(node.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (error != nullptr)
            *error = openFailure(node, errno, false);
        return {};
    }
    std::vector<KeymapEntry> out = readKeymap(fd, error);
    close(fd);
    return out;
}

bool readAutorepeat(const std::string& node, int& delayMs, int& periodMs) {
    const int fd = open(node.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    unsigned int rep[2] = {0, 0}; // REP_DELAY, REP_PERIOD
    const bool read = ioctl(fd, EVIOCGREP, rep) == 0;
    close(fd);
    delayMs = static_cast<int>(rep[0]);
    periodMs = static_cast<int>(rep[1]);
    return read;
}

std::string keyName(uint32_t keycode) {
    if (keycode == KEY_RESERVED)
        return "";
    const char* name = libevdev_event_code_get_name(EV_KEY, keycode);
    return name != nullptr ? name : "KEY_" + std::to_string(keycode);
}

bool setKeycode(int fd, uint64_t scancode, uint32_t keycode, std::string& why) {
    input_keymap_entry entry{};
    entry.keycode = keycode;
    if (scancode > UINT32_MAX) {
        entry.len = sizeof(uint64_t);
        std::memcpy(entry.scancode, &scancode, sizeof scancode);
    } else {
        const auto narrow = static_cast<uint32_t>(scancode);
        entry.len = sizeof narrow;
        std::memcpy(entry.scancode, &narrow, sizeof narrow);
    }
    if (ioctl(fd, EVIOCSKEYCODE_V2, &entry) == 0)
        return true;
    why = std::string("EVIOCSKEYCODE_V2: ") + std::strerror(errno);
    return false;
}

uint32_t keyCode(const std::string& name) {
    const int code = libevdev_event_code_from_name(EV_KEY, name.c_str());
    return code > 0 ? static_cast<uint32_t>(code) : 0;
}

} // namespace rireruv
