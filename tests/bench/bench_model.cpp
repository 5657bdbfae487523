// bench_model TICKS: the verifier polls on the model for TICKS ticks of its 200 ms timer, as
// fast as the model goes, and prints the wall time and the process's peak memory. A day is
// 432,000 ticks; comparing it with a minute (300) shows whether memory grows with the length.
#include "platform/afx/afxwin.h"
#include "platform/model/model.h"
#include "platform/zelk.h"
#include "res/resource.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <sys/resource.h>

extern const unsigned char kProgramResources[];
extern const std::size_t kProgramResourcesSize;

namespace {
unsigned long g_polls = 0;
}

// A board that answers at once, so the figures are the program's and the model's own.
extern "C" int ZELK_HWInit(void) {
    return 0;
}
extern "C" int ZELK_GetRemoteData(unsigned char* pbyData) {
    *pbyData = static_cast<unsigned char>(++g_polls);
    return 0;
}
extern "C" int ZELK_Free(void) {
    return 0;
}

int main(int argc, char** argv) {
    const unsigned long ticks = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 300;
    static char commandLine[] = "";
    const auto start = std::chrono::steady_clock::now();
    {
        model::Program app(model::ResourceSet::parse(kProgramResources, kProgramResourcesSize), [] {
            return AfxWinMain(model::moduleHandle(), nullptr, commandLine, 1);
        });
        app.click(IDC_START_STOP);
        for (unsigned long done = 0; done < ticks;) {
            const unsigned long chunk = std::min(ticks - done, 3000ul); // ten minutes at a time
            app.advance(chunk * 200);
            done += chunk;
            app.takeRecord(); // the test record is not the program's memory
        }
        app.key(VK_ESCAPE);
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("ticks %lu polls %lu wall_s %.3f ticks_per_s %.0f peak_rss_kib %ld\n", ticks,
                g_polls, seconds, static_cast<double>(ticks) / seconds, usage.ru_maxrss);
    return g_polls == ticks ? 0 : 1;
}
