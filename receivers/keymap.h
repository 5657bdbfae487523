// The kernel's keymap of a receiver, read from its event device, and the names of its keys.
//
// Why from the event device: only the input layer lists a receiver's keymap (the lirc node
// gives a press's key but not the table), and the table is what tells a user whether the
// kernel picked the keymap of the remote in their hand.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace rireruv {

struct KeymapEntry {
    uint64_t scancode;
    uint32_t keycode; // KEY_POWER = 116
};

// The kernel's keymap of an event device, as ir-keytable -r lists it: EVIOCGKEYCODE_V2 with
// INPUT_KEYMAP_BY_INDEX, index 0, 1, ... until the ioctl fails. Empty when the device has none
// or refuses (error then says why, e.g. "EVIOCGKEYCODE_V2: Inappropriate ioctl for device").
// An entry whose scancode is neither 4 nor 8 bytes ends the table early, error saying so.
std::vector<KeymapEntry> readKeymap(int fd, std::string* error = nullptr);
// Opens node read-only (non-blocking, close-on-exec) just for reading its keymap, then closes it.
std::vector<KeymapEntry> readKeymap(const std::string& node, std::string* error = nullptr);

// The input core's autorepeat of the event device at node (EVIOCGREP): how long a key is held
// before it repeats, and how often then, in ms (rc-core's default 500 and 125). False when the
// device does not say.
bool readAutorepeat(const std::string& node, int& delayMs, int& periodMs);

// Maps scancode to keycode in the event device's keymap (EVIOCSKEYCODE_V2, the scancode in 4
// bytes, or 8 where it needs them, as ir-keytable -w writes it); keycode 0 (KEY_RESERVED)
// removes the scancode's entry. Needs the device open for writing. False with why.
bool setKeycode(int fd, uint64_t scancode, uint32_t keycode, std::string& why);

// The code of a key's name ("KEY_POWER" 116, "BTN_LEFT"), as libevdev knows them; 0 when it
// names no key.
uint32_t keyCode(const std::string& name);

// "KEY_POWER" for 116 (libevdev's name); "KEY_<n>" (decimal) for a code libevdev does not
// name; "" for 0, which in a press means the keymap does not map its scancode.
std::string keyName(uint32_t keycode);

} // namespace rireruv
