// Lines of JSON on standard output for the modes that change the system (--find-protocol,
// --watch-gpio): each line flushed as it is written, messages on standard error too, and a
// line that cannot go out remembered, so that a mode ends as lost output ends --check.
#pragma once

#include "terminal/check.h"

#include <cstdio>
#include <string>

namespace terminal {

struct JsonLines {
    std::FILE* file;
    bool lost = false;
    void line(const std::string& text) {
        if (lost)
            return;
        lost = std::fputs((text + "\n").c_str(), file) < 0 || std::fflush(file) != 0;
    }
    void message(const std::string& text) {
        std::fprintf(stderr, "%s\n", text.c_str());
        line("{\"event\":\"message\",\"text\":" + jsonString(text) + "}");
    }
};

} // namespace terminal
