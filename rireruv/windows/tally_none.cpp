// The Windows library keeps no account: no front end there can listen, and the library stays
// as small as the vendor's it stands in for.
#include "rireruv/tally.h"

namespace rireruv {

uint64_t monotonicMs() {
    return 0;
}

Tally& tally() {
    static Tally t;
    return t;
}

void Tally::begin(const std::string& /*label*/, const std::string& /*keymap*/,
                  const BoardFacts& /*facts*/) {}
void Tally::setKeymap(std::vector<MappedKey> /*keys*/, const std::string& /*unreadable*/) {}
void Tally::poll(uint64_t /*nowMs*/) {}
void Tally::presses(const std::vector<PressNote>& /*taken*/, uint64_t /*nowMs*/) {}
bool Tally::silentFor(int /*seconds*/, uint64_t /*nowMs*/) {
    return false;
}
void Tally::hint(const std::string& /*text*/) {}
void Tally::gone(const std::string& /*text*/) {}
void Tally::lost(const std::string& /*layer*/, const std::string& /*text*/, bool /*coded*/,
                 uint64_t /*scancode*/, const std::string& /*protocol*/) {}
void Tally::message(const std::string& /*text*/) {}
std::string Tally::summary() const {
    return "";
}
std::string Tally::finalSummary() {
    return "";
}

} // namespace rireruv
