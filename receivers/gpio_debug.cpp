// Reading saa7134's build_key lines and what they say.
#include "receivers/gpio_debug.h"

#include "receivers/read.h"

#include <cstdio>
#include <cstdlib>
#include <set>

namespace rireruv {

namespace {

bool hexAfter(const std::string& text, const std::string& key, uint32_t& value) {
    const size_t at = text.find(key);
    if (at == std::string::npos)
        return false;
    char* end = nullptr;
    const unsigned long v = std::strtoul(text.c_str() + at + key.size(), &end, 0);
    value = static_cast<uint32_t>(v);
    return end != text.c_str() + at + key.size();
}

} // namespace

bool parseBuildKey(const std::string& record, GpioChange& change) {
    const size_t at = record.find("build_key ");
    if (at == std::string::npos)
        return false;
    const std::string rest = record.substr(at);
    return hexAfter(rest, "gpio=", change.gpio) && hexAfter(rest, "mask=", change.mask) &&
           hexAfter(rest, "data=", change.data);
}

GpioVerdict judgeGpio(const std::vector<GpioChange>& changes, unsigned seconds) {
    const std::string in = " in " + std::to_string(seconds) + " s";
    if (changes.empty())
        return {"silent", "nothing changes on the GPIO lines" + in +
                              " while keys were pressed: the receiver hears nothing (its cable, "
                              "the remote's battery and aim), or this card type (card=) has its "
                              "receiver on other lines"};
    std::set<uint32_t> data;
    for (const GpioChange& c : changes)
        if (c.data != 0)
            data.insert(c.data);
    if (data.empty())
        return {"wrong_card",
                "the GPIO lines change (" + std::to_string(changes.size()) + " times" + in +
                    ", last " + hexCode(changes.back().gpio) + ") but the data is 0 under mask " +
                    hexCode(changes.back().mask) +
                    ": the card type (card=) is wrong, so the keys are read from other lines; "
                    "load saa7134 with the card= of your board (modinfo saa7134 lists them)"};
    std::string codes;
    for (uint32_t d : data)
        codes += (codes.empty() ? "" : " ") + hexCode(d);
    return {"data", "the GPIO receiver gives key data (" + codes +
                        "): it hears the remote; a key it does not name is the keymap's"};
}

} // namespace rireruv
