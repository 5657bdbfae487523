// The GPIO watch: ir_debug on, /dev/kmsg read, ir_debug back.
#include "terminal/watch_gpio.h"

#include "receivers/find.h"
#include "receivers/gpio_debug.h"
#include "receivers/pick.h"
#include "receivers/protocols.h"
#include "receivers/read.h"
#include "receivers/undo.h"
#include "terminal/json_lines.h"
#include "terminal/modes.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <unistd.h>

namespace terminal {

namespace {

const int kExitData = 0, kExitProblem = 1, kExitFailed = 2, kExitSignalled = 128;
const char kParameter[] = "/sys/module/saa7134/parameters/ir_debug";

using rireruv::Undo;

int fail(JsonLines& out, const WatchOptions& o, const std::string& why) {
    out.message(o.program + " --watch-gpio: " + why);
    out.line("{\"event\":\"verdict\",\"verdict\":\"failed\",\"status\":2}");
    return kExitFailed;
}

// Why this receiver cannot be watched, or "".
std::string unwatchable(const rireruv::Receiver& r, const WatchOptions& o) {
    if (r.driver != "saa7134")
        return r.name + " is driven by " + r.driverName() +
               ": only saa7134 logs its GPIO lines (its ir_debug parameter)";
    if (rireruv::parseProtocols(r.protocols).lirc)
        return r.name + " decodes raw light: " + o.program +
               " shows where each press died from the light itself, with no GPIO step";
    if (access(kParameter, W_OK) != 0)
        return "it needs to write " + std::string(kParameter) + " (" + std::strerror(errno) +
               "): run it as root, for example sudo " + o.program +
               " --watch-gpio; nothing was "
               "changed";
    return "";
}

// The kernel's log from now on: records written before the watch are skipped.
int openLog(std::string& why) {
    const int fd = open("/dev/kmsg", O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        why = std::string("cannot read /dev/kmsg (") + std::strerror(errno) + ")" +
              (errno == EPERM || errno == EACCES
                   ? ": this kernel restricts the kernel log (kernel.dmesg_restrict=1); run it as "
                     "root"
                   : "");
        return -1;
    }
    lseek(fd, 0, SEEK_END);
    return fd;
}

// Reads the log for the seconds asked, or until a signal; the build_key lines it had.
std::vector<rireruv::GpioChange> watch(int log, const WatchOptions& o, JsonLines& out) {
    std::vector<rireruv::GpioChange> changes;
    std::string pending;
    const uint64_t end = nowMs() + static_cast<uint64_t>(o.seconds) * 1000u;
    while (nowMs() < end && Undo::ended() == 0 && !out.lost) {
        char buf[2048];
        const ssize_t n = read(log, buf, sizeof buf);
        if (n > 0) {
            pending.append(buf, static_cast<size_t>(n));
            for (size_t nl; (nl = pending.find('\n')) != std::string::npos;) {
                rireruv::GpioChange c;
                if (changes.size() < 100000 && rireruv::parseBuildKey(pending.substr(0, nl), c)) {
                    changes.push_back(c);
                    out.line("{\"event\":\"gpio\",\"gpio\":" + std::to_string(c.gpio) +
                             ",\"mask\":" + std::to_string(c.mask) +
                             ",\"data\":" + std::to_string(c.data) + "}");
                }
                pending.erase(0, nl + 1);
            }
            continue;
        }
        const timespec tick{0, 50 * 1000000L};
        nanosleep(&tick, nullptr);
    }
    return changes;
}

} // namespace

std::string parseWatchOptions(const std::vector<std::string>& args, WatchOptions& options) {
    if (args.empty())
        return "";
    unsigned long value = 0;
    char* end = nullptr;
    if (args.size() != 2 || args[0] != "--seconds")
        return "--watch-gpio takes --seconds S alone";
    value = std::strtoul(args[1].c_str(), &end, 10);
    if (args[1].empty() || *end != 0 || value < 1 || value > 600)
        return "--seconds takes a whole number from 1 to 600";
    options.seconds = static_cast<unsigned>(value);
    return "";
}

int runWatchGpio(const WatchOptions& o, std::FILE* file) {
    JsonLines out{file};
    out.line("{\"event\":\"start\",\"schema\":1,\"mode\":\"watch_gpio\",\"program\":" +
             jsonString(o.program) + ",\"version\":" + jsonString(o.version) + ",\"device\":" +
             jsonString(o.device) + ",\"seconds\":" + std::to_string(o.seconds) + "}");
    const std::vector<rireruv::Receiver> found = rireruv::listReceivers();
    const rireruv::Target t = rireruv::pickReceiver(o.device, found);
    if (t.receiver == nullptr)
        return fail(out, o, t.error);
    const std::string why = unwatchable(*t.receiver, o);
    if (!why.empty())
        return fail(out, o, why);
    std::string saved, logWhy;
    if (!rireruv::readAttribute(kParameter, saved, logWhy))
        return fail(out, o, std::string("cannot read ") + kParameter + " (" + logWhy + ")");
    const int log = openLog(logWhy);
    if (log < 0)
        return fail(out, o, logWhy);
    // The driver polls the GPIO word only while somebody has the receiver open: held, not read.
    // cppcheck-suppress unreadVariable
    const rireruv::Opened reader = rireruv::openEvent(t.receiver->eventNode);
    std::string unrecorded;
    if (!Undo::instance().record(kParameter, saved, unrecorded)) {
        close(log);
        return fail(out, o, unrecorded);
    }
    Undo::instance().guard();
    if (!rireruv::writeAttribute(kParameter, "1", logWhy))
        out.message(std::string("cannot turn ") + kParameter + " on: " + logWhy);
    out.message("press keys of the remote for " + std::to_string(o.seconds) + " s (" +
                t.receiver->name + "'s GPIO lines are watched)");
    const std::vector<rireruv::GpioChange> changes = watch(log, o, out);
    close(log);
    const std::vector<std::string> failed = Undo::instance().restore();
    std::string now;
    rireruv::readAttribute(kParameter, now, logWhy);
    out.line("{\"event\":\"parameter_restored\",\"path\":" + jsonString(kParameter) + ",\"text\":" +
             jsonString(now) + ",\"failed\":" + (failed.empty() ? "false" : "true") + "}");
    const rireruv::GpioVerdict v = rireruv::judgeGpio(changes, o.seconds);
    const int sig = Undo::ended();
    const int status = sig != 0           ? kExitSignalled + sig
                       : v.word == "data" ? kExitData
                                          : kExitProblem;
    if (sig == 0) // cut short, the watch cannot judge
        out.message(t.receiver->name + ": " + v.text);
    out.line("{\"event\":\"verdict\",\"verdict\":\"" +
             (sig != 0 ? std::string("interrupted") : v.word) + "\",\"status\":" +
             std::to_string(status) + ",\"changes\":" + std::to_string(changes.size()) + "}");
    return status;
}

} // namespace terminal
