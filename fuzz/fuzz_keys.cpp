// Fuzz target: the terminal's input decoder (its table of sequences and ECMA-48's grammar).
// The same bytes are fed whole and in reads split where the input says: a terminal's bytes may
// come split anywhere, so both must give the same keys. Beyond that: a character key is a
// character a person can type (no control, no surrogate), a click lies in the terminal's
// cells, and once the wait is over nothing is left waiting.
#include "fuzz/check.h"
#include "terminal/keys.h"

#include <algorithm>
#include <cstdint>
#include <fuzzer/FuzzedDataProvider.h>
#include <string>
#include <vector>

namespace {

using terminal::Key;

std::string listed(const std::vector<Key>& keys) {
    std::string out;
    for (const Key& k : keys)
        out += std::to_string(k.kind) + ":" + std::to_string(static_cast<uint32_t>(k.ch)) + ":" +
               std::to_string(k.x) + "," + std::to_string(k.y) + " ";
    return out;
}

bool same(const std::vector<Key>& a, const std::vector<Key>& b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i].kind != b[i].kind || a[i].ch != b[i].ch || a[i].x != b[i].x || a[i].y != b[i].y)
            return false;
    return true;
}

void wellFormed(const std::vector<Key>& keys, const std::string& bytes) {
    for (const Key& k : keys) {
        FUZZ_REQUIRE(k.kind != Key::None, "a decoded key is a key", fuzz::visible(bytes));
        if (k.kind == Key::Char) {
            FUZZ_REQUIRE(k.ch >= 0xA0 || (k.ch >= 0x20 && k.ch < 0x7F),
                         "a character key is no control character", fuzz::visible(bytes));
            FUZZ_REQUIRE(k.ch <= 0x10FFFF && (k.ch < 0xD800 || k.ch >= 0xE000),
                         "a character key is a character, as UTF-8 has it (RFC 3629)",
                         std::to_string(static_cast<uint32_t>(k.ch)) + " from \"" +
                             fuzz::visible(bytes) + "\"");
        }
        if (k.kind == Key::Click)
            FUZZ_REQUIRE(k.x >= 0 && k.y >= 0, "a click is in the terminal's cells",
                         fuzz::visible(bytes));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    std::vector<size_t> cuts;
    for (size_t n = in.ConsumeIntegralInRange<size_t>(0, 8); n > 0; --n)
        cuts.push_back(in.ConsumeIntegralInRange<size_t>(0, 64));
    const std::string bytes = in.ConsumeRemainingBytesAsString();

    terminal::KeyDecoder whole;
    std::vector<Key> once;
    whole.feed(bytes, once);
    FUZZ_REQUIRE(whole.patienceMs(25) >= -1, "a wait is a time or none");
    whole.expire(once);
    FUZZ_REQUIRE(whole.patienceMs(25) == -1, "after the wait nothing waits");
    wellFormed(once, bytes);

    terminal::KeyDecoder split;
    std::vector<Key> pieces;
    size_t at = 0;
    for (const size_t cut : cuts) {
        const size_t n = std::min(cut, bytes.size() - at);
        split.feed(bytes.substr(at, n), pieces);
        at += n;
    }
    split.feed(bytes.substr(at), pieces);
    split.expire(pieces);
    FUZZ_REQUIRE(same(once, pieces), "keys split over reads are the keys read at once",
                 "\"" + fuzz::visible(bytes) + "\": " + listed(once) + "| " + listed(pieces));
    return 0;
}
