// Fuzz target: keymap files (receivers/keymap_file.h), which --identify reads from /etc and
// /lib/udev and --learn writes. Beyond not crashing: what reads, written and read again, has the
// same tables with the same scancodes (sorted) and keys; what does not read says why, with the
// line it stopped at.
#include "fuzz/check.h"
#include "receivers/keymap_file.h"

#include <algorithm>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    rireruv::KeymapFile file, again;
    std::string why;
    if (!rireruv::parseKeymapFile(text, file, why)) {
        FUZZ_REQUIRE(!why.empty(), "a refusal says why", fuzz::visible(text));
        return 0;
    }
    const std::string written = rireruv::writeKeymapFile(file);
    FUZZ_REQUIRE(rireruv::parseKeymapFile(written, again, why), "what was written reads again",
                 fuzz::visible(written) + ": " + why);
    FUZZ_REQUIRE(again.protocols.size() == file.protocols.size(), "the same tables",
                 fuzz::visible(written));
    for (size_t i = 0; i < file.protocols.size(); ++i) {
        auto expected = file.protocols[i].scancodes;
        std::stable_sort(expected.begin(), expected.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        FUZZ_REQUIRE(again.protocols[i].scancodes == expected, "the same keys",
                     fuzz::visible(written));
    }
    return 0;
}
