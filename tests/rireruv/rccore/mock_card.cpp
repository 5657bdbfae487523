// The described card in a umockdev testbed: handlers of our own for the event device (from
// the recorded ioctl answers) and the lirc node, presses written to the nodes' server side.
#include "tests/rireruv/rccore/mock_card.h"

#include "tests/rireruv/rccore/mock_evdev.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <linux/input.h>
#include <linux/lirc.h>
#include <stdexcept>
#include <sys/time.h>
#include <umockdev.h>
#include <unistd.h>
#include <vector>

namespace rccore_test {

namespace {

const char kEventNode[] = "/dev/input/event5";
const char kLircNode[] = "/dev/lirc0";

// Scancode mode is the one mode a saa7134 lirc node has; a reader that asks for another one is
// refused, as the kernel refuses it.
std::atomic<uint32_t> g_lircMode{0};
std::atomic<bool> g_rawPath{false}; // the lirc node also offers MODE2, as a raw receiver's

void check(gboolean ok, GError* error, const char* what) {
    if (!ok) {
        const std::string message = std::string(what) + ": " + (error ? error->message : "?");
        g_clear_error(&error);
        throw std::runtime_error(message);
    }
}

// The u32 the ioctl's argument points to, in the client's memory; null when it cannot be read.
UMockdevIoctlData* argumentU32(UMockdevIoctlClient* client) {
    GError* error = nullptr;
    UMockdevIoctlData* data = umockdev_ioctl_data_resolve(umockdev_ioctl_client_get_arg(client), 0,
                                                          sizeof(uint32_t), &error);
    g_clear_error(&error);
    return data;
}

// Runs on the testbed's worker thread, for every ioctl on the lirc node.
gboolean onLircIoctl(UMockdevIoctlBase* /*handler*/, UMockdevIoctlClient* client,
                     gpointer /*data*/) {
    const gulong request = umockdev_ioctl_client_get_request(client);
    if (request != LIRC_GET_FEATURES && request != LIRC_SET_REC_MODE &&
        request != LIRC_GET_REC_MODE) {
        umockdev_ioctl_client_complete(client, -1, ENOTTY);
        return TRUE;
    }
    UMockdevIoctlData* arg = argumentU32(client);
    if (arg == nullptr) {
        umockdev_ioctl_client_complete(client, -1, EFAULT);
        return TRUE;
    }
    uint32_t value = 0;
    std::memcpy(&value, arg->data, sizeof value);
    long result = 0;
    int err = 0;
    if (request == LIRC_GET_FEATURES) {
        value = LIRC_CAN_REC_SCANCODE | (g_rawPath ? LIRC_CAN_REC_MODE2 : 0);
    } else if (request == LIRC_GET_REC_MODE) {
        value = g_lircMode.load() != 0 ? g_lircMode.load() : LIRC_MODE_SCANCODE;
    } else if (value == LIRC_MODE_SCANCODE || (g_rawPath && value == LIRC_MODE_MODE2)) {
        g_lircMode = value;
    } else {
        result = -1;
        err = EINVAL;
    }
    std::memcpy(arg->data, &value, sizeof value);
    g_object_unref(arg);
    umockdev_ioctl_client_complete(client, result, err);
    return TRUE;
}

// Runs on the testbed's worker thread, for every read of the lirc node. The kernel checks the
// size before anything else (lirc_dev.c, lirc_read_scancode); a size it takes is left to
// umockdev, which reads the node's stream.
gboolean onLircRead(UMockdevIoctlBase* /*handler*/, UMockdevIoctlClient* client,
                    gpointer /*data*/) {
    const size_t size = static_cast<size_t>(umockdev_ioctl_client_get_arg(client)->data_len);
    if (size >= sizeof(lirc_scancode) && size % sizeof(lirc_scancode) == 0)
        return FALSE;
    umockdev_ioctl_client_complete(client, -1, EINVAL);
    return TRUE;
}

gboolean refuse(UMockdevIoctlBase* /*handler*/, UMockdevIoctlClient* client, gpointer /*data*/) {
    umockdev_ioctl_client_complete(client, -1, ENOTTY);
    return TRUE;
}

input_event event(const timeval& time, uint16_t type, uint16_t code, int32_t value) {
    input_event ev{};
    ev.time = time;
    ev.type = type;
    ev.code = code;
    ev.value = value;
    return ev;
}

// One press as rc-core reports it; key 0: the keymap does not map the scancode.
std::vector<input_event> pressEvents(uint32_t scancode, uint32_t key) {
    timeval now{};
    gettimeofday(&now, nullptr);
    std::vector<input_event> out{event(now, EV_MSC, MSC_SCAN, static_cast<int32_t>(scancode))};
    if (key != 0)
        out.push_back(event(now, EV_KEY, static_cast<uint16_t>(key), 1));
    out.push_back(event(now, EV_SYN, SYN_REPORT, 0));
    if (key != 0) {
        out.push_back(event(now, EV_KEY, static_cast<uint16_t>(key), 0));
        out.push_back(event(now, EV_SYN, SYN_REPORT, 0));
    }
    return out;
}

} // namespace

const std::vector<MockKey>& cardKeymap() {
    static const std::vector<MockKey> keys{
        {0x04, KEY_GREEN},      {0x05, KEY_POWER},  {0x07, KEY_REFRESH},   {0x08, KEY_BACK},
        {0x0d, KEY_SELECT},     {0x11, KEY_YELLOW}, {0x16, KEY_CHANNELUP}, {0x17, KEY_CHANNELDOWN},
        {0x1e, KEY_VOLUMEDOWN}, {0x20, KEY_UP},     {0x21, KEY_DOWN},      {0x2d, KEY_VOLUMEUP},
        {0x48, KEY_RED},        {0x59, KEY_MUTE},   {0x69, KEY_NUMERIC_0}, {0x6a, KEY_NUMERIC_1},
    };
    return keys;
}

MockCard::MockCard(const std::string& deviceFile, const std::string& eventIoctlFile, bool withLirc)
    : m_bed(umockdev_testbed_new()), m_lirc(umockdev_ioctl_base_new()),
      m_event(std::make_unique<MockEventDevice>(eventIoctlFile)) {
    GError* error = nullptr;
    check(umockdev_testbed_add_from_file(m_bed, deviceFile.c_str(), &error), error,
          deviceFile.c_str());
    check(umockdev_testbed_attach_ioctl(m_bed, kEventNode, m_event->handler(), &error), error,
          kEventNode);
    g_signal_connect(m_lirc, "handle-ioctl", G_CALLBACK(withLirc ? onLircIoctl : refuse), nullptr);
    g_signal_connect(m_lirc, "handle-read", G_CALLBACK(onLircRead), nullptr);
    check(umockdev_testbed_attach_ioctl(m_bed, kLircNode, m_lirc, &error), error, kLircNode);
    g_lircMode = 0;
}

MockCard::~MockCard() {
    // The testbed first: it stops sending the nodes' ioctls to the handlers.
    g_object_unref(m_bed);
    g_object_unref(m_lirc);
}

void MockCard::writeNode(const char* node, const void* data, size_t size) {
    const int fd = umockdev_testbed_get_dev_fd(m_bed, node);
    if (fd < 0 || write(fd, data, size) != static_cast<ssize_t>(size))
        throw std::runtime_error(std::string("cannot write to ") + node + ": " +
                                 std::strerror(errno));
}

void MockCard::pressOnEventDevice(uint32_t scancode) {
    if (m_event->grabbedElsewhere())
        return;
    const std::vector<input_event> events = pressEvents(scancode, 0);
    writeNode(kEventNode, events.data(), events.size() * sizeof(input_event));
}

void MockCard::pressKeyOnEventDevice(uint32_t scancode) {
    if (m_event->grabbedElsewhere())
        return;
    const std::vector<input_event> events = pressEvents(scancode, m_event->keyFor(scancode));
    writeNode(kEventNode, events.data(), events.size() * sizeof(input_event));
}

void MockCard::overflowOnEventDevice() {
    timeval now{};
    gettimeofday(&now, nullptr);
    const input_event dropped = event(now, EV_SYN, SYN_DROPPED, 0);
    writeNode(kEventNode, &dropped, sizeof dropped);
}

void MockCard::partOfAnEventOnEventDevice() {
    const input_event part{};
    writeNode(kEventNode, &part, sizeof part / 2);
}

void MockCard::link(const std::string& path, const std::string& target) {
    gchar* root = umockdev_testbed_get_root_dir(m_bed); // the caller's to free
    const std::string inBed = std::string(root) + path;
    g_free(root);
    g_mkdir_with_parents(inBed.substr(0, inBed.rfind('/')).c_str(), 0755);
    if (symlink(target.c_str(), inBed.c_str()) != 0)
        throw std::runtime_error("cannot link " + inBed + ": " + std::strerror(errno));
}

void MockCard::offerRawPath() {
    g_rawPath = true;
}

void MockCard::file(const std::string& path, const std::string& text) {
    gchar* root = umockdev_testbed_get_root_dir(m_bed);
    const std::string inBed = std::string(root) + path;
    g_free(root);
    g_mkdir_with_parents(inBed.substr(0, inBed.rfind('/')).c_str(), 0755);
    std::ofstream(inBed) << text;
}

void MockCard::addKmsg() {
    // As the kernel has it (char 1:11); the N: line makes the testbed's node (a pty), which then
    // stands for the machine's own in every open: a test never reads the real kernel log.
    GError* error = nullptr;
    check(umockdev_testbed_add_from_string(m_bed,
                                           "P: /devices/virtual/mem/kmsg\nN: kmsg\n"
                                           "E: DEVNAME=/dev/kmsg\nE: SUBSYSTEM=mem\n"
                                           "A: dev=1:11\n",
                                           &error),
          error, "/dev/kmsg");
}

void MockCard::kmsg(const std::string& record) {
    writeNode("/dev/kmsg", record.data(), record.size());
}

void MockCard::grabbedElsewhere(bool held) {
    m_event->setGrabbedElsewhere(held);
}

void MockCard::pressOnLirc(uint64_t scancode, uint16_t protocol, uint16_t flags) {
    lirc_scancode record{};
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    record.timestamp = static_cast<uint64_t>(now.tv_sec) * 1000000000u + now.tv_nsec;
    record.flags = flags;
    record.rc_proto = protocol;
    record.scancode = scancode;
    // The kernel names the key its keymap maps the scancode to (as the keymap is now, keys set
    // included); KEY_RESERVED (0) when none.
    record.keycode = m_event->keyFor(scancode);
    writeNode(kLircNode, &record, sizeof record);
}

std::vector<std::pair<uint64_t, uint32_t>> MockCard::keymap() const {
    return m_event->table();
}

uint32_t MockCard::lircMode() const {
    return g_lircMode.load();
}

} // namespace rccore_test
