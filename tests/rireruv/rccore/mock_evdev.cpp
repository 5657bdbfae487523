// The card's event device for MockCard: card_ioctl.sh's answers read into a table by request,
// served on the testbed's worker thread; the keymap and the grab answered from what each
// request carries, as umockdev's own loaded answers cannot.
#include "tests/rireruv/rccore/mock_evdev.h"
#include "tests/support/files.h"

#include <linux/input.h>

#include <cerrno>
#include <cstring>
#include <fstream>
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
        if (entry)
            m_keymap.push_back(a);
        else
            m_answers[request] = a;
    }
}

uint32_t MockEventDevice::keyFor(uint32_t scancode) const {
    for (const Answer& a : m_keymap) {
        input_keymap_entry e{};
        std::memcpy(&e, a.data.data(), sizeof e);
        uint32_t code = 0;
        std::memcpy(&code, e.scancode, sizeof code);
        if (a.result == 0 && code == scancode)
            return e.keycode;
    }
    return 0;
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
    // By index only: looking a scancode up is for setting keys, which no test does.
    if ((asked.flags & INPUT_KEYMAP_BY_INDEX) == 0 || asked.index >= m_keymap.size()) {
        g_object_unref(arg);
        return refuse(client, EINVAL);
    }
    const Answer& a = m_keymap[asked.index];
    reply(client, arg, a.result, a.data);
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
