// The described card in a umockdev testbed: ioctl answers loaded for the event device, a
// handler of our own for the lirc node, presses written to the nodes' server side.
#include "mock_card.h"

#include <umockdev.h>

#include <linux/input.h>
#include <linux/lirc.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <sys/time.h>
#include <unistd.h>

namespace rccore_test {

namespace {

const char kEventNode[] = "/dev/input/event5";
const char kLircNode[] = "/dev/lirc0";

// Scancode mode is the one mode a saa7134 lirc node has; a reader that asks for another one is
// refused, as the kernel refuses it.
std::atomic<uint32_t> g_lircMode{0};

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
        value = LIRC_CAN_REC_SCANCODE;
    } else if (request == LIRC_GET_REC_MODE) {
        value = g_lircMode.load() != 0 ? g_lircMode.load() : LIRC_MODE_SCANCODE;
    } else if (value == LIRC_MODE_SCANCODE) {
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

gboolean refuse(UMockdevIoctlBase* /*handler*/, UMockdevIoctlClient* client, gpointer /*data*/) {
    umockdev_ioctl_client_complete(client, -1, ENOTTY);
    return TRUE;
}

} // namespace

MockCard::MockCard(const std::string& deviceFile, const std::string& eventIoctlFile, bool withLirc)
    : m_bed(umockdev_testbed_new()), m_lirc(umockdev_ioctl_base_new()) {
    GError* error = nullptr;
    check(umockdev_testbed_add_from_file(m_bed, deviceFile.c_str(), &error), error,
          deviceFile.c_str());
    check(umockdev_testbed_load_ioctl(m_bed, kEventNode, eventIoctlFile.c_str(), &error), error,
          eventIoctlFile.c_str());
    g_signal_connect(m_lirc, "handle-ioctl", G_CALLBACK(withLirc ? onLircIoctl : refuse), nullptr);
    check(umockdev_testbed_attach_ioctl(m_bed, kLircNode, m_lirc, &error), error, kLircNode);
    g_lircMode = 0;
}

MockCard::~MockCard() {
    g_object_unref(m_lirc);
    g_object_unref(m_bed);
}

void MockCard::writeNode(const char* node, const void* data, size_t size) {
    const int fd = umockdev_testbed_get_dev_fd(m_bed, node);
    if (fd < 0 || write(fd, data, size) != static_cast<ssize_t>(size))
        throw std::runtime_error(std::string("cannot write to ") + node + ": " +
                                 std::strerror(errno));
}

void MockCard::pressOnEventDevice(uint32_t scancode) {
    input_event frame[2]{};
    timeval now{};
    gettimeofday(&now, nullptr);
    frame[0].time = frame[1].time = now;
    frame[0].type = EV_MSC;
    frame[0].code = MSC_SCAN;
    frame[0].value = static_cast<int32_t>(scancode);
    frame[1].type = EV_SYN;
    frame[1].code = SYN_REPORT;
    writeNode(kEventNode, frame, sizeof frame);
}

void MockCard::pressOnLirc(uint64_t scancode, uint16_t protocol, uint16_t flags) {
    lirc_scancode record{};
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    record.timestamp = static_cast<uint64_t>(now.tv_sec) * 1000000000u + now.tv_nsec;
    record.flags = flags;
    record.rc_proto = protocol;
    record.scancode = scancode;
    writeNode(kLircNode, &record, sizeof record);
}

uint32_t MockCard::lircMode() const {
    return g_lircMode.load();
}

} // namespace rccore_test
