// What ir-ctl (v4l-utils) sends for a scancode, as durations: a umockdev testbed with a
// /dev/lirc0 that can send raw IR and nothing else, so that ir-ctl encodes each scancode itself
// and writes the pulse and space lengths to the node, where a write handler keeps them.
// usage (under umockdev-wrapper): capture_pulses IR_CTL PROTOCOL:SCANCODE...
// prints a line per scancode: "nec:0x40c 9000 4500 563 ..." (microseconds, pulse first), or
// "nec:0x40c error: " and what ir-ctl said. Exits 1 when any failed.
//
// Why ir-ctl: its encoder (utils/common/ir-encode.c) is not ours, so frames named from what it
// sends test our reading of the kernel's decoders against someone else's reading of the same
// protocols. Why a program of its own: the testbed's preload library must be in the process
// from its start, and the tests that use the durations need no testbed themselves.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <linux/lirc.h>
#include <mutex>
#include <string>
#include <umockdev.h>
#include <vector>

namespace {

// A receiver with a transmitter, as far as ir-ctl looks: a lirc character device of an rc
// device (umockdev's dev attribute makes stat show a character device).
const char kSender[] = "P: /devices/virtual/rc/rc0/lirc0\nN: lirc0\nE: DEVNAME=/dev/lirc0\n"
                       "E: SUBSYSTEM=lirc\nA: dev=251:0\n\n"
                       "P: /devices/virtual/rc/rc0\nE: SUBSYSTEM=rc\nE: DRV_NAME=sender\n";

std::mutex g_lock;
std::vector<unsigned char> g_written;

// On the testbed's worker thread, for every ioctl on the node: it can send pulses
// (LIRC_CAN_SEND_PULSE) and refuses every send mode but LIRC_MODE_PULSE, as a raw transmitter
// without a scancode encoder in the kernel does; anything else is not a lirc ioctl it knows.
gboolean onIoctl(UMockdevIoctlBase* /*handler*/, UMockdevIoctlClient* client, gpointer /*data*/) {
    const gulong request = umockdev_ioctl_client_get_request(client);
    GError* error = nullptr;
    UMockdevIoctlData* arg =
        request == LIRC_GET_FEATURES || request == LIRC_SET_SEND_MODE
            ? umockdev_ioctl_data_resolve(umockdev_ioctl_client_get_arg(client), 0,
                                          sizeof(uint32_t), &error)
            : nullptr;
    g_clear_error(&error);
    if (arg == nullptr) {
        umockdev_ioctl_client_complete(client, -1, ENOTTY);
        return TRUE;
    }
    uint32_t value = 0;
    std::memcpy(&value, arg->data, sizeof value);
    const bool refused = request == LIRC_SET_SEND_MODE && value != LIRC_MODE_PULSE;
    if (request == LIRC_GET_FEATURES)
        value = LIRC_CAN_SEND_PULSE;
    std::memcpy(arg->data, &value, sizeof value);
    g_object_unref(arg);
    umockdev_ioctl_client_complete(client, refused ? -1 : 0, refused ? EINVAL : 0);
    return TRUE;
}

// On the testbed's worker thread, for every write: the bytes are kept, none reach the pty.
gboolean onWrite(UMockdevIoctlBase* /*handler*/, UMockdevIoctlClient* client, gpointer /*data*/) {
    UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
    const auto* bytes = static_cast<const unsigned char*>(arg->data);
    {
        std::lock_guard<std::mutex> hold(g_lock);
        g_written.insert(g_written.end(), bytes, bytes + arg->data_len);
    }
    umockdev_ioctl_client_complete(client, static_cast<long>(arg->data_len), 0);
    return TRUE;
}

// One run of ir-ctl; its writes have all been kept once it has exited, as each write waits for
// the handler's answer.
bool capture(const std::string& irCtl, const std::string& scancode, std::string& line) {
    {
        std::lock_guard<std::mutex> hold(g_lock);
        g_written.clear();
    }
    const std::string command = irCtl + " -d /dev/lirc0 -S '" + scancode + "' 2>&1";
    FILE* out = popen(command.c_str(), "r");
    std::string said;
    char buf[256];
    while (out != nullptr && std::fgets(buf, sizeof buf, out) != nullptr) {
        buf[std::strcspn(buf, "\n")] = '\0'; // a line each: one line per scancode here
        said += (said.empty() ? "" : " / ") + std::string(buf);
    }
    const int status = out != nullptr ? pclose(out) : -1;
    std::lock_guard<std::mutex> hold(g_lock);
    if (status != 0 || g_written.empty() || g_written.size() % sizeof(uint32_t) != 0) {
        line = scancode + " error: " + said;
        return false;
    }
    line = scancode;
    for (size_t at = 0; at < g_written.size(); at += sizeof(uint32_t)) {
        uint32_t us = 0;
        std::memcpy(&us, &g_written[at], sizeof us);
        line += " " + std::to_string(us);
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: capture_pulses IR_CTL PROTOCOL:SCANCODE...\n");
        return 2;
    }
    UMockdevTestbed* bed = umockdev_testbed_new();
    UMockdevIoctlBase* node = umockdev_ioctl_base_new();
    g_signal_connect(node, "handle-ioctl", G_CALLBACK(onIoctl), nullptr);
    g_signal_connect(node, "handle-write", G_CALLBACK(onWrite), nullptr);
    GError* error = nullptr;
    if (!umockdev_testbed_add_from_string(bed, kSender, &error) ||
        !umockdev_testbed_attach_ioctl(bed, "/dev/lirc0", node, &error)) {
        std::fprintf(stderr, "capture_pulses: %s\n", error != nullptr ? error->message : "?");
        return 2;
    }
    int status = 0;
    for (int i = 2; i < argc; ++i) {
        std::string line;
        status |= capture(argv[1], argv[i], line) ? 0 : 1;
        std::printf("%s\n", line.c_str());
    }
    // The testbed first: it stops sending the node's calls to the handler.
    g_object_unref(bed);
    g_object_unref(node);
    return status;
}
