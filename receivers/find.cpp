// Discovery of rc-core receivers with libudev, and the reasons when none fits.
#include "receivers/find.h"

#include "rireruv/shown.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <libudev.h>
#include <memory>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace rireruv {

namespace {

using Udev = std::unique_ptr<udev, decltype(&udev_unref)>;
using Device = std::unique_ptr<udev_device, decltype(&udev_device_unref)>;
using Enumerate = std::unique_ptr<udev_enumerate, decltype(&udev_enumerate_unref)>;

std::string text(const char* value) {
    return value != nullptr ? value : "";
}

// A PCI or USB id as sysfs gives it ("0x1131", "0471"), or -1 for anything else: junk read as
// 0 would name a device 0000:0000 that does not exist.
long idAttr(udev_device* dev, const char* name) {
    std::string value = text(udev_device_get_sysattr_value(dev, name));
    if (value.size() > 2 && value[0] == '0' && (value[1] == 'x' || value[1] == 'X'))
        value.erase(0, 2);
    if (value.empty() || value.size() > 4 ||
        value.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
        return -1;
    return std::strtol(value.c_str(), nullptr, 16);
}

// The chips of the cards this verifier is for, by PCI id. Bt878's second function (0x0878)
// is its audio part and never has a receiver.
std::string ourChip(long vendor, long device) {
    if (vendor == 0x1131 && (device == 0x7130 || (device >= 0x7133 && device <= 0x7135))) {
        char name[16];
        std::snprintf(name, sizeof name, "SAA%04lX", device);
        return name;
    }
    if (vendor == 0x109e && device == 0x036e)
        return "Bt878";
    if (vendor == 0x109e && device == 0x036f)
        return "Bt879";
    return "";
}

// "PCI 1131:7134", or "PCI, ids unreadable" when either id is not one.
std::string busIds(const char* bus, long vendor, long device) {
    if (vendor < 0 || device < 0)
        return std::string(bus) + ", ids unreadable";
    char id[32];
    std::snprintf(id, sizeof id, "%s %04lx:%04lx", bus, vendor, device);
    return id;
}

// The nearest PCI device above the receiver: the card itself for a GPIO receiver, and past
// the I2C client and adapter for an ir-kbd-i2c one.
void placeOnHost(udev_device* rc, Receiver& r) {
    r.host = "not on PCI or USB";
    if (udev_device* usb = udev_device_get_parent_with_subsystem_devtype(rc, "usb", "usb_device")) {
        r.host = busIds("USB", idAttr(usb, "idVendor"), idAttr(usb, "idProduct"));
    } else if (udev_device* pci =
                   udev_device_get_parent_with_subsystem_devtype(rc, "pci", nullptr)) {
        const long vendor = idAttr(pci, "vendor"), device = idAttr(pci, "device");
        r.chip = ourChip(vendor, device);
        r.host = busIds("PCI", vendor, device);
    }
}

void findNodes(udev* u, udev_device* rc, Receiver& r) {
    Enumerate children(udev_enumerate_new(u), udev_enumerate_unref);
    udev_enumerate_add_match_parent(children.get(), rc);
    udev_enumerate_scan_devices(children.get());
    udev_list_entry* entry = nullptr;
    udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(children.get())) {
        Device child(udev_device_new_from_syspath(u, udev_list_entry_get_name(entry)),
                     udev_device_unref);
        if (!child)
            continue;
        const std::string subsystem = text(udev_device_get_subsystem(child.get()));
        const std::string node = text(udev_device_get_devnode(child.get()));
        const std::string sysname = text(udev_device_get_sysname(child.get()));
        if (subsystem == "lirc" && !node.empty())
            r.lircNode = node;
        else if (subsystem == "input" && sysname.rfind("event", 0) == 0 && !node.empty())
            r.eventNode = node;
    }
}

Receiver readReceiver(udev* u, udev_device* rc) {
    Receiver r;
    r.name = text(udev_device_get_sysname(rc));
    r.driver = shown(text(udev_device_get_property_value(rc, "DRV_NAME")));
    r.card = shown(text(udev_device_get_property_value(rc, "DEV_NAME")));
    r.keymap = shown(text(udev_device_get_property_value(rc, "NAME")));
    r.sysPath = text(udev_device_get_syspath(rc));
    r.protocols = text(udev_device_get_sysattr_value(rc, "protocols"));
    placeOnHost(rc, r);
    findNodes(u, rc, r);
    return r;
}

} // namespace

long rcNumber(const std::string& name) {
    if (name.size() < 3 || name.compare(0, 2, "rc") != 0 || name.size() > 8)
        return -1;
    if (name.find_first_not_of("0123456789", 2) != std::string::npos)
        return -1;
    return std::strtol(name.c_str() + 2, nullptr, 10);
}

std::string Receiver::driverName() const {
    return driver.empty() ? "unknown driver" : driver;
}

std::string Receiver::cardName() const {
    return card.empty() ? "unnamed board" : card;
}

std::string Receiver::describe() const {
    return name + " (" + driverName() + ", " + cardName() + ")";
}

std::vector<Receiver> listReceivers() {
    std::vector<Receiver> out;
    Udev u(udev_new(), udev_unref);
    if (!u)
        return out;
    Enumerate all(udev_enumerate_new(u.get()), udev_enumerate_unref);
    udev_enumerate_add_match_subsystem(all.get(), "rc");
    udev_enumerate_scan_devices(all.get());
    udev_list_entry* entry = nullptr;
    udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(all.get())) {
        Device rc(udev_device_new_from_syspath(u.get(), udev_list_entry_get_name(entry)),
                  udev_device_unref);
        if (rc && rcNumber(text(udev_device_get_sysname(rc.get()))) >= 0)
            out.push_back(readReceiver(u.get(), rc.get()));
    }
    std::sort(out.begin(), out.end(), [](const Receiver& a, const Receiver& b) {
        return rcNumber(a.name) < rcNumber(b.name);
    });
    return out;
}

std::string readLink(const std::string& path) {
    char target[kLinkMax];
    const ssize_t n = readlink(path.c_str(), target, sizeof target);
    return n > 0 ? std::string(target, static_cast<size_t>(n)) : "";
}

} // namespace rireruv
