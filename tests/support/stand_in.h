// The library's settings and its simulated board as the library's tests set them up: settings
// from a table instead of the environment, polls, and trace files under build/. Included only by
// test programs that define BUILD_SCRATCH.
#pragma once

#include "rireruv/settings.h"
#include "rireruv/sim/simulated_board.h"
#include "tests/support/files.h"

#include <cstdio>
#include <map>
#include <string>
#include <unistd.h>
#include <vector>

namespace stand_in {

inline rireruv::Settings settings(const std::map<std::string, std::string>& env) {
    return rireruv::readSettings([&](const char* name) -> const char* {
        auto it = env.find(name);
        return it == env.end() ? nullptr : it->second.c_str();
    });
}

// What n successive calls write: the byte, or -1 when nothing was written.
inline std::vector<int> poll(rireruv::RemoteBoard& board, int n) {
    std::vector<int> out;
    for (int i = 0; i < n; ++i) {
        unsigned char b = 0x5A; // a value no call of these tests writes
        board.getRemoteData(&b);
        out.push_back(b == 0x5A ? -1 : b);
    }
    return out;
}

// A trace file of this process's own in the scratch folder under build/ (files.h), removed
// before and after.
struct TempFile {
    std::string path = scratch("rireruv_trace_" + std::to_string(getpid()) + ".txt");
    TempFile() { std::remove(path.c_str()); }
    ~TempFile() { std::remove(path.c_str()); }
    std::vector<std::string> lines() const { return linesOf(path); }
};

} // namespace stand_in
