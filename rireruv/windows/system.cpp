// The library's system calls in the Windows DLL (rireruv/system.h).
#include "rireruv/system.h"

#include <windows.h>

#include <cerrno>
#include <cstdio>

namespace rireruv {

int appendToFile(const std::string& path, const std::string& line) {
    errno = 0;
    FILE* f = std::fopen(path.c_str(), "a");
    if (f == nullptr)
        return errno != 0 ? errno : EIO;
    const bool written = std::fputs(line.c_str(), f) >= 0;
    const bool closed = std::fclose(f) == 0;
    return written && closed ? 0 : errno != 0 ? errno : EIO;
}

void alsoToDebugger(const std::string& line) {
    OutputDebugStringA(line.c_str());
}

void sleepMs(unsigned ms) {
    Sleep(ms);
}

} // namespace rireruv
