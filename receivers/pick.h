// Which of the receivers found a setting names: RIRERUV_DEVICE (or --device) as auto, rcN, or
// a node (a lirc node, an event device, or a link to one), and why none fits when none does.
#pragma once

#include "receivers/find.h"

#include <string>
#include <vector>

namespace rireruv {

// The receiver RIRERUV_DEVICE names among those found, and the node to read when the setting
// named one ("" for rcN and auto: lirc where there is one, otherwise the event device).
struct Target {
    const Receiver* receiver = nullptr;
    std::string node;
    std::string error; // why none fits, as a person should read it
};
Target pickReceiver(const std::string& device, const std::vector<Receiver>& found);

} // namespace rireruv
