// The soak test and the benchmark of the real verifier under Wine.
#pragma once

#include "tests/e2e/session.h"

#include <functional>

struct Resources {
    DWORD user = 0, gdi = 0;
    size_t privateBytes = 0;
    int windows = 0; // the process's windows, top-level and child
};
Resources resourcesOf(HANDLE process, DWORD processId);

// Polls for the given time; passes when the USER and GDI object counts and the private bytes
// after it are those after the first ten seconds.
bool soak(unsigned seconds, const std::function<void(const std::string&)>& say);

// Prints the benchmark's table rows: figure, value, reference, ratio.
void benchmark(unsigned cpuSeconds, const std::function<void(const std::string&)>& say);
