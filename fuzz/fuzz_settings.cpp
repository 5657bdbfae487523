// Fuzz target: the library's settings, read through a lookup table as the tests read them. The
// input gives which of RIRERUV_INIT_STATUS, RIRERUV_DATA, RIRERUV_DELAY_MS and RIRERUV_DEVICE
// are set and their values (NUL-separated); RIRERUV_DEVICE goes to the choice of receiver
// among two made-up ones. RIRERUV_TRACE is left out: it creates the file it names. Beyond not
// crashing: every reason is one line safe to show and within a message's bound, one at most
// for each setting; what was taken is in range; a value taken means what it says.
#include "fuzz/check.h"
#include "receivers/find.h"
#include "receivers/pick.h"
#include "rireruv/report.h"
#include "rireruv/settings.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

const char* const kNames[] = {"RIRERUV_INIT_STATUS", "RIRERUV_DATA", "RIRERUV_DELAY_MS",
                              "RIRERUV_DEVICE"};

template <typename Input> void reason(const std::string& why, const Input& input) {
    FUZZ_REQUIRE(!why.empty(), "a reason says something", input());
    fuzz::requireSafe(why, "a reason is safe to show");
    FUZZ_REQUIRE(why.size() < rireruv::kMessageMax, "a reason is within a message's bound",
                 fuzz::visible(why));
    FUZZ_REQUIRE(why.compare(0, 8, "RIRERUV_") == 0, "a reason names its setting first",
                 fuzz::visible(why));
}

std::vector<rireruv::Receiver> madeUpReceivers() {
    rireruv::Receiver card;
    card.name = "rc0";
    card.driver = "saa7134";
    card.card = "saa7134 IR (Pinnacle PCTV 110i)";
    card.chip = "SAA7134";
    card.host = "PCI 1131:7134";
    card.lircNode = "/dev/lirc0";
    card.eventNode = "/dev/input/event5";
    rireruv::Receiver usb;
    usb.name = "rc1";
    usb.driver = "mceusb";
    usb.host = "USB 0471:0815";
    usb.eventNode = "/dev/input/event9";
    return {card, usb};
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    const unsigned given = data[0];
    std::vector<std::string> values(1);
    for (size_t i = 1; i < size; ++i) {
        if (data[i] == 0)
            values.emplace_back();
        else
            values.back() += static_cast<char>(data[i]);
    }
    values.resize(4);
    auto input = [&] { // made only for a report
        return fuzz::visible(std::string(reinterpret_cast<const char*>(data), size));
    };
    auto lookup = [&](const char* name) -> const char* {
        for (unsigned k = 0; k < 4; ++k)
            if (std::string(name) == kNames[k])
                return (given >> k & 1) != 0 ? values[k].c_str() : nullptr;
        return nullptr;
    };

    const rireruv::Settings s = rireruv::readSettings(lookup);
    // The fourth: the simulated board's settings given with RIRERUV_DEVICE.
    FUZZ_REQUIRE(s.errors.size() <= 4, "one reason at most for each setting", input());
    const char* named = lookup("RIRERUV_DEVICE");
    FUZZ_REQUIRE(s.receiver == (named != nullptr && std::string(named) != "simulated"),
                 "a real receiver when RIRERUV_DEVICE names one", input());
    FUZZ_REQUIRE(s.receiver || named == nullptr || !s.simulatedBecause.empty(),
                 "the simulated board only when asked for", input());
    bool dataRefused = false, statusRefused = false;
    for (const std::string& why : s.errors) {
        reason(why, input);
        dataRefused = dataRefused || why.compare(0, 13, "RIRERUV_DATA:") == 0;
        statusRefused = statusRefused || why.compare(0, 20, "RIRERUV_INIT_STATUS:") == 0;
    }
    FUZZ_REQUIRE(s.demo == (lookup("RIRERUV_DATA") == nullptr),
                 "the demo remote unless RIRERUV_DATA", input());
    FUZZ_REQUIRE(s.delayMs <= 60000, "a delay up to a minute", input());
    for (const int b : s.data)
        FUZZ_REQUIRE(b == rireruv::kNothing || (b >= 0 && b <= 255), "a byte or nothing", input());
    if (!s.demo && !dataRefused)
        FUZZ_REQUIRE(!s.data.empty(), "RIRERUV_DATA taken gives a byte or nothing at least",
                     input());
    if (lookup("RIRERUV_INIT_STATUS") != nullptr && !statusRefused)
        FUZZ_REQUIRE(std::strtoll(values[0].c_str(), nullptr, 10) == s.initStatus,
                     "a status taken is the number given", input());
    FUZZ_REQUIRE(s.tracePath.empty(), "no trace without RIRERUV_TRACE", input());

    if (const char* device = lookup("RIRERUV_DEVICE")) {
        const std::vector<rireruv::Receiver> found = madeUpReceivers();
        const rireruv::Target t = rireruv::pickReceiver(device, found);
        FUZZ_REQUIRE((t.receiver == nullptr) != t.error.empty(), "a receiver, or a reason",
                     input());
        if (!t.error.empty())
            reason(t.error, input);
        if (t.receiver != nullptr && !t.node.empty())
            FUZZ_REQUIRE(t.node == t.receiver->lircNode || t.node == t.receiver->eventNode,
                         "a node picked is the receiver's", input());
    }
    return 0;
}
