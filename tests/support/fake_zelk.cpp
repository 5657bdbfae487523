// A double of the hardware library: scripted answers, and each call in the model's record.
#include "platform/zelk.h"
#include "tests/support/verifier.h"

#include <cstdio>

namespace fake_zelk {
int status = 0;
std::vector<int> data;
int uncleared = 0;
unsigned delayMs = 0;
int last = -2;
namespace {
size_t next = 0;
}
void reset() {
    status = 0;
    data.clear();
    uncleared = 0;
    delayMs = 0;
    last = -2;
    next = 0;
}
} // namespace fake_zelk

extern "C" int ZELK_HWInit(void) {
    model::note("ZELK_HWInit " + std::to_string(fake_zelk::status));
    return fake_zelk::status;
}

extern "C" int ZELK_GetRemoteData(unsigned char* pbyData) {
    using namespace fake_zelk;
    if (*pbyData != 0)
        ++uncleared;
    const int value = data.empty() ? -1 : data[next++ % data.size()];
    model::busy(delayMs); // the program is busy meanwhile
    last = value;
    if (value < 0) {
        model::note("ZELK_GetRemoteData -");
        return 1;
    }
    *pbyData = static_cast<unsigned char>(value);
    char hex[16];
    std::snprintf(hex, sizeof hex, "%02X", value);
    model::note(std::string("ZELK_GetRemoteData ") + hex);
    return 0;
}

extern "C" int ZELK_Free(void) {
    model::note("ZELK_Free");
    return 0;
}
