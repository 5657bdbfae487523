// The card's event device for MockCard: card_ioctl.sh's answers read into a table by request,
// served on the testbed's worker thread; the keymap and the grab answered from what each
// request carries, as umockdev's own loaded answers cannot.
#include "tests/rireruv/rccore/mock_evdev.h"

#include "tests/support/files.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <linux/input.h>
#include <sstream>
#include <stdexcept>

namespace rccore_test {

namespace {

// The names card_ioctl.sh writes and their request numbers; "EVIOCGBIT(n)" is n above.
struct Known {
    const char* name;
    unsigned nr;
};
const Known kKnown[] = {
    {"EVIOCGVERSION", _IOC_NR(EVIOCGVERSION)}, {"EVIOCGID", _IOC_NR(EVIOCGID)},
    {"EVIOCGREP", _IOC_NR(EVIOCGREP)},         {"EVIOCGNAME", _IOC_NR(EVIOCGNAME(0))},
    {"EVIOCGPHYS", _IOC_NR(EVIOCGPHYS(0))},    {"EVIOCGUNIQ", _IOC_NR(EVIOCGUNIQ(0))},
    {"EVIOCGPROP", _IOC_NR(EVIOCGPROP(0))},    {"EVIOCGKEY", _IOC_NR(EVIOCGKEY(0))},
    {"EVIOCGLED", _IOC_NR(EVIOCGLED(0))},      {"EVIOCGSND", _IOC_NR(EVIOCGSND(0))},
    {"EVIOCGSW", _IOC_NR(EVIOCGSW(0))},        {"EVIOCGBIT", _IOC_NR(EVIOCGBIT(0, 0))},
};

// The request a line's name stands for, with its data's size as umockdev matches it; 0 when
// the name is not one of kKnown.
gulong requestOf(const std::string& field, size_t size) {
    const size_t paren = field.find('(');
    const std::string name = field.substr(0, paren);
    const unsigned offset = paren == std::string::npos ? 0 : std::stoul(field.substr(paren + 1));
    for (const Known& k : kKnown)
        if (name == k.name)
            return _IOC(_IOC_READ, 'E', k.nr + offset, size);
    return 0;
}

std::vector<uint8_t> bytesOf(const std::string& hex) {
    std::vector<uint8_t> out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        out.push_back(static_cast<uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
    return out;
}

// size bytes of the caller's memory the argument points to; null when they cannot be read.
UMockdevIoctlData* pointedTo(UMockdevIoctlClient* client, size_t size) {
    GError* error = nullptr;
    UMockdevIoctlData* data =
        umockdev_ioctl_data_resolve(umockdev_ioctl_client_get_arg(client), 0, size, &error);
    g_clear_error(&error);
    return data;
}

void refuse(UMockdevIoctlClient* client, int err) {
    umockdev_ioctl_client_complete(client, -1, err);
}

// Writes a recorded answer into the caller's memory arg resolved, then completes the ioctl.
void reply(UMockdevIoctlClient* client, UMockdevIoctlData* arg, long result,
           const std::vector<uint8_t>& data) {
    std::memcpy(arg->data, data.data(), data.size());
    g_object_unref(arg);
    // A failing line of the file (past the keymap's end) fails as the kernel's does.
    umockdev_ioctl_client_complete(client, result, result < 0 ? EINVAL : 0);
}

} // namespace

MockEventDevice::MockEventDevice(const std::string& ioctlFile)
    : m_handler(umockdev_ioctl_base_new()) {
    load(ioctlFile);
    g_signal_connect(m_handler, "handle-ioctl", G_CALLBACK(onIoctl), this);
}

MockEventDevice::~MockEventDevice() {
    g_signal_handlers_disconnect_by_data(m_handler, this);
    if (m_grabber != nullptr)
        g_object_unref(m_grabber);
    g_object_unref(m_handler);
}

void MockEventDevice::load(const std::string& ioctlFile) {
    std::ifstream in(ioctlFile);
    if (!in)
        throw std::runtime_error(ioctlFile + ": cannot be read");
    for (const std::string& line : linesIn(in)) {
        std::istringstream fields(line);
        std::string name, hex;
        Answer a;
        if (line.empty() || line[0] == '#' || !(fields >> name >> a.result >> hex))
            continue;
        a.data = bytesOf(hex);
        const bool entry = name == "EVIOCGKEYCODE_V2";
        const gulong request = entry ? EVIOCGKEYCODE_V2 : requestOf(name, a.data.size());
        if (request == 0 || (entry && a.data.size() != sizeof(input_keymap_entry)))
            throw std::runtime_error(ioctlFile + ": the mock cannot answer \"" + line + "\"");
        if (entry && a.result == 0) { // the failing line past the end is the table's end
            input_keymap_entry e{};
            std::memcpy(&e, a.data.data(), sizeof e);
            uint64_t code = 0;
            std::memcpy(&code, e.scancode, std::min<size_t>(e.len, sizeof code));
            m_scancodeLen = e.len;
            m_table.emplace_back(code, e.keycode);
        } else if (!entry) {
            m_answers[request] = a;
        }
    }
}

uint32_t MockEventDevice::keyFor(uint64_t scancode) const {
    const std::lock_guard<std::mutex> lock(m_mutex);
    for (const auto& [code, key] : m_table)
        if (code == scancode)
            return key;
    return 0;
}

std::vector<std::pair<uint64_t, uint32_t>> MockEventDevice::table() const {
    const std::lock_guard<std::mutex> lock(m_mutex);
    return m_table;
}

gboolean MockEventDevice::onIoctl(UMockdevIoctlBase* /*handler*/, UMockdevIoctlClient* client,
                                  gpointer self) {
    auto* device = static_cast<MockEventDevice*>(self);
    const gulong request = umockdev_ioctl_client_get_request(client);
    const auto recorded = device->m_answers.find(request);
    if (request == EVIOCGRAB) {
        device->grab(client);
    } else if (request == EVIOCGKEYCODE_V2) {
        device->keymapEntry(client);
    } else if (request == EVIOCSKEYCODE_V2 || request == EVIOCSKEYCODE) {
        device->setKey(client, request == EVIOCSKEYCODE_V2);
    } else if (request == EVIOCGKEYCODE) {
        device->keyOf(client);
    } else if (recorded != device->m_answers.end()) {
        UMockdevIoctlData* arg = pointedTo(client, recorded->second.data.size());
        if (arg == nullptr)
            refuse(client, EFAULT);
        else
            reply(client, arg, recorded->second.result, recorded->second.data);
    } else {
        // evdev refuses what it does not know with EINVAL; other drivers' ioctls never reach it.
        refuse(client, _IOC_TYPE(request) == 'E' ? EINVAL : ENOTTY);
    }
    return TRUE;
}

void MockEventDevice::keymapEntry(UMockdevIoctlClient* client) {
    UMockdevIoctlData* arg = pointedTo(client, sizeof(input_keymap_entry));
    if (arg == nullptr)
        return refuse(client, EFAULT);
    input_keymap_entry asked{};
    std::memcpy(&asked, arg->data, sizeof asked);
    const std::lock_guard<std::mutex> lock(m_mutex);
    size_t index = asked.index;
    if ((asked.flags & INPUT_KEYMAP_BY_INDEX) == 0) { // by scancode, as rc-core looks one up
        uint64_t code = 0;
        std::memcpy(&code, asked.scancode, std::min<size_t>(asked.len, sizeof code));
        index = static_cast<size_t>(
            std::find_if(m_table.begin(), m_table.end(),
                         [code](const auto& entry) { return entry.first == code; }) -
            m_table.begin());
    }
    if (index >= m_table.size()) {
        g_object_unref(arg);
        return refuse(client, EINVAL);
    }
    input_keymap_entry e{};
    e.index = static_cast<uint16_t>(index);
    e.keycode = m_table[index].second;
    e.len = m_table[index].first > UINT32_MAX ? 8 : m_scancodeLen;
    std::memcpy(e.scancode, &m_table[index].first, e.len);
    const auto* bytes = reinterpret_cast<const uint8_t*>(&e);
    reply(client, arg, 0, std::vector<uint8_t>(bytes, bytes + sizeof e));
}

// EVIOCGKEYCODE, the first form (ir-keytable's): the key of a scancode, KEY_RESERVED for none.
void MockEventDevice::keyOf(UMockdevIoctlClient* client) {
    UMockdevIoctlData* arg = pointedTo(client, 2 * sizeof(unsigned));
    if (arg == nullptr)
        return refuse(client, EFAULT);
    unsigned pair[2] = {};
    std::memcpy(pair, arg->data, sizeof pair);
    pair[1] = keyFor(pair[0]);
    const auto* bytes = reinterpret_cast<const uint8_t*>(pair);
    reply(client, arg, 0, std::vector<uint8_t>(bytes, bytes + sizeof pair));
}

// rc-core's ir_setkeycode, from either form of the ioctl (ir-keytable -w sets keys with the
// first, a scancode and a key in two ints): KEY_RESERVED removes the scancode's entry, another
// key replaces its key or adds it where the order of scancodes puts it.
void MockEventDevice::setKey(UMockdevIoctlClient* client, bool second) {
    UMockdevIoctlData* arg =
        pointedTo(client, second ? sizeof(input_keymap_entry) : 2 * sizeof(unsigned));
    if (arg == nullptr)
        return refuse(client, EFAULT);
    input_keymap_entry e{};
    if (second) {
        std::memcpy(&e, arg->data, sizeof e);
    } else {
        unsigned pair[2] = {};
        std::memcpy(pair, arg->data, sizeof pair);
        e.len = sizeof pair[0];
        std::memcpy(e.scancode, &pair[0], sizeof pair[0]);
        e.keycode = pair[1];
    }
    g_object_unref(arg);
    const bool byIndex = (e.flags & INPUT_KEYMAP_BY_INDEX) != 0;
    if (!byIndex && e.len != 1 && e.len != 2 && e.len != 4 && e.len != 8)
        return refuse(client, EINVAL);
    uint64_t code = 0;
    std::memcpy(&code, e.scancode, byIndex ? 0 : e.len);
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        if (byIndex && e.index >= m_table.size()) {
            umockdev_ioctl_client_complete(client, -1, EINVAL);
            return;
        }
        if (byIndex) // ir-keytable -c clears the table entry by entry, by index
            code = m_table[e.index].first;
        const auto at = std::lower_bound(
            m_table.begin(), m_table.end(), code,
            [](const std::pair<uint64_t, uint32_t>& entry, uint64_t c) { return entry.first < c; });
        const bool there = at != m_table.end() && at->first == code;
        if (e.keycode == KEY_RESERVED && there)
            m_table.erase(at);
        else if (there)
            at->second = e.keycode;
        else if (e.keycode != KEY_RESERVED)
            m_table.insert(at, {code, e.keycode});
    }
    umockdev_ioctl_client_complete(client, 0, 0);
}

void MockEventDevice::grab(UMockdevIoctlClient* client) {
    // The argument is the value itself: non-zero grabs, zero lets go.
    gulong value = 0;
    std::memcpy(&value, umockdev_ioctl_client_get_arg(client)->data, sizeof value);
    // The kernel lets go of a grab when its holder closes the device; umockdev tells a handler
    // of no close, so a closed holder is noticed here.
    if (m_grabber != nullptr && !umockdev_ioctl_client_get_connected(m_grabber)) {
        g_object_unref(m_grabber);
        m_grabber = nullptr;
    }
    int err = 0;
    if (value != 0 && (m_grabbedElsewhere || m_grabber != nullptr)) {
        err = EBUSY;
    } else if (value != 0) {
        m_grabber = static_cast<UMockdevIoctlClient*>(g_object_ref(client));
    } else if (m_grabber != client) {
        err = EINVAL; // as evdev answers a release by one that holds no grab
    } else {
        g_object_unref(m_grabber);
        m_grabber = nullptr;
    }
    umockdev_ioctl_client_complete(client, err != 0 ? -1 : 0, err);
}

} // namespace rccore_test
