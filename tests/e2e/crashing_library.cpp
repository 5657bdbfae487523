// A rireruv.dll that crashes, as a vendor's library with a bug may: the entry that E2E_CRASH_IN
// names reads through a null pointer; with E2E_CRASH_IN=thread, ZELK_HWInit starts a thread of
// the library's own that does; with E2E_CRASH_IN=overflow, ZELK_GetRemoteData recurses until
// the stack runs out. The program must say so. Each entry first appends its name to the file
// RIRERUV_TRACE names, so the scenario sees which calls were made, and that none followed the
// crash. For the tests only: it is never shipped.
#define RIRERUV_BUILDING
#include "platform/zelk.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

namespace {

// The compiler cannot know it is null, so the read is a real load from address 0 (a visibly
// null pointer would be compiled to a trap instruction instead).
volatile int* volatile g_nowhere = nullptr;

bool crashesIn(const char* entry) {
    char name[64] = "";
    const DWORD n = GetEnvironmentVariableA("E2E_CRASH_IN", name, sizeof name);
    return n > 0 && n < sizeof name && std::strcmp(name, entry) == 0;
}

void trace(const char* entry) {
    char path[MAX_PATH] = "";
    const DWORD n = GetEnvironmentVariableA("RIRERUV_TRACE", path, sizeof path);
    if (n == 0 || n >= sizeof path)
        return;
    if (FILE* f = std::fopen(path, "a")) {
        std::fprintf(f, "%s\n", entry);
        std::fclose(f);
    }
}

} // namespace

extern "C" {

// These two are exported, so that the scenario can tell where in the library they begin.
__declspec(dllexport) DWORD WINAPI crashingThread(LPVOID /*unused*/) {
    return static_cast<DWORD>(*g_nowhere);
}

// Each level holds a little of the stack until none is left. (The compiler cannot know the
// bound is never reached, so it keeps the recursion.)
volatile int g_bound = 0x7FFFFFFF;
__declspec(dllexport) __attribute__((noinline)) int overflowingRecursion(int depth) {
    volatile char room[256];
    room[0] = static_cast<char>(depth);
    return depth < g_bound ? overflowingRecursion(depth + 1) + room[0] : 0;
}

int ZELK_HWInit(void) {
    trace("ZELK_HWInit");
    if (crashesIn("ZELK_HWInit"))
        return *g_nowhere;
    if (crashesIn("thread"))
        CloseHandle(CreateThread(nullptr, 0, crashingThread, nullptr, 0, nullptr));
    return 0;
}

int ZELK_GetRemoteData(unsigned char* pbyData) {
    trace("ZELK_GetRemoteData");
    if (crashesIn("ZELK_GetRemoteData"))
        return *g_nowhere;
    if (crashesIn("overflow"))
        return overflowingRecursion(0);
    *pbyData = 0x5A;
    return 0;
}

int ZELK_Free(void) {
    trace("ZELK_Free");
    if (crashesIn("ZELK_Free"))
        return *g_nowhere;
    return 0;
}
}
