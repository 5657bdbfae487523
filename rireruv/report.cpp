// Messages on standard error and the trace file, shared by the boards.
#include "report.h"

#include "tally.h"

#include <cstdio>

namespace rireruv {

void say(const std::string& message) {
    std::fprintf(stderr, "rireruv: %s\n", message.c_str());
    std::fflush(stderr);
    tally().message(message);
}

void Trace::line(const std::string& text) const {
    if (m_path.empty())
        return;
    // Opened for each line, so a reader in another process sees every call as it happens.
    if (FILE* f = std::fopen(m_path.c_str(), "a")) {
        std::fprintf(f, "%s\n", text.c_str());
        std::fclose(f);
    }
}

int failInit(const Trace& trace, const std::vector<std::string>& reasons) {
    for (const std::string& reason : reasons) {
        say(reason);
        trace.line("error " + reason);
    }
    trace.line("ZELK_HWInit 8");
    return 8;
}

int failInit(const Trace& trace, const std::string& reason) {
    return failInit(trace, std::vector<std::string>{reason});
}

} // namespace rireruv
