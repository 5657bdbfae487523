// Fuzz target: the event device's decoder, which turns input events into presses. The input
// is a stream of events, their types and codes mostly the ones the decoder looks at. Beyond
// not crashing: a press comes only at the end of a frame (SYN_REPORT) that had a scancode, one
// at most, with the frame's last scancode; a key that went down in the frame is its key, and
// a repeat is the scancode of the key held down since an earlier frame, with that key.
#include "fuzz/check.h"
#include "receivers/read.h"

#include <cstdint>
#include <fuzzer/FuzzedDataProvider.h>
#include <linux/input.h>
#include <string>
#include <vector>

namespace {

input_event nextEvent(FuzzedDataProvider& in) {
    input_event ev{};
    switch (in.ConsumeIntegralInRange(0, 4)) {
    case 0:
        ev.type = EV_SYN;
        ev.code = in.ConsumeBool() ? SYN_REPORT : in.ConsumeBool() ? SYN_DROPPED : SYN_CONFIG;
        break;
    case 1:
        ev.type = EV_MSC;
        ev.code = in.ConsumeBool() ? MSC_SCAN : MSC_RAW;
        break;
    case 2:
        ev.type = EV_KEY;
        ev.code = in.ConsumeIntegralInRange<uint16_t>(0, 3);
        break;
    default:
        ev.type = in.ConsumeIntegral<uint16_t>();
        ev.code = in.ConsumeIntegral<uint16_t>();
        break;
    }
    ev.value = ev.type == EV_KEY ? in.ConsumeIntegralInRange(-1, 2) : in.ConsumeIntegral<int32_t>();
    return ev;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    rireruv::ScanDecoder decoder;
    // What the frame so far holds, as the kernel's rc-core means it.
    bool scan = false, down = false, held = false;
    uint32_t lastScan = 0, downCode = 0, heldScan = 0, heldCode = 0;
    for (int i = 0; in.remaining_bytes() > 0; ++i) {
        const input_event ev = nextEvent(in);
        std::vector<rireruv::Press> out;
        decoder.feed(ev, out);
        const std::string where = "event " + std::to_string(i);
        const bool report = ev.type == EV_SYN && ev.code == SYN_REPORT;
        // The held key's key up is told as it comes; any other key up is nobody's release.
        const bool up = ev.type == EV_KEY && ev.value == 0 && held && ev.code == heldCode;
        FUZZ_REQUIRE(out.size() <= (report && scan ? 1u
                                    : up           ? 1u
                                                   : 0u),
                     "a press only at the end of a frame with a scancode, one at most", where);
        FUZZ_REQUIRE(out.size() == (report && scan ? 1u
                                    : up           ? 1u
                                                   : 0u),
                     "a frame with a scancode is a press, the held key's up a release", where);
        if (!out.empty() && up) {
            const rireruv::Press& p = out.front();
            FUZZ_REQUIRE(p.keyUp && p.scancode == heldScan && p.keycode == heldCode,
                         "a key up releases the key held, with its scancode", where);
        } else if (!out.empty()) {
            const rireruv::Press& p = out.front();
            FUZZ_REQUIRE(!p.keyUp, "a frame is no key up", where);
            FUZZ_REQUIRE(p.scancode == lastScan, "a press has the frame's last scancode", where);
            FUZZ_REQUIRE(!p.repeat || (!down && held && heldScan == lastScan),
                         "a repeat is the scancode of the key held down", where);
            FUZZ_REQUIRE(p.keycode == (down       ? downCode
                                       : p.repeat ? heldCode
                                                  : 0),
                         "a press has the key that went down, or the key held for a repeat", where);
            FUZZ_REQUIRE(p.hold == (down       ? 0
                                    : p.repeat ? 1
                                               : -1),
                         "a key down is a new press, a repeat the key held, else unsaid", where);
        }
        if (ev.type == EV_MSC && ev.code == MSC_SCAN) {
            scan = true;
            lastScan = static_cast<uint32_t>(ev.value);
        } else if (ev.type == EV_KEY && ev.value == 1) {
            down = true;
            downCode = ev.code;
        } else if (ev.type == EV_KEY && ev.value == 0) {
            held = held && ev.code != heldCode;
        } else if (report) {
            if (scan && down) {
                held = true;
                heldScan = lastScan;
                heldCode = downCode;
            }
            scan = down = false;
        } else if (ev.type == EV_SYN && ev.code == SYN_DROPPED) {
            scan = down = held = false;
        }
    }
    return 0;
}
