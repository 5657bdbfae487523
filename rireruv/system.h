// What the library needs of the system under it, stated once: rireruv/posix/ on Linux,
// rireruv/windows/ in the Windows DLL; each build links one folder's files, and the rest of the
// library holds no #ifdef.
#pragma once

#include <string>

namespace rireruv {

// Appends line to the file at path, made if missing: 0, or the errno of why it was not (all)
// written. Never waits: a fifo nobody reads fails at once (ENXIO) where the system can tell,
// and a full pipe fails rather than waiting for room.
int appendToFile(const std::string& path, const std::string& line);

// A message said also where the user of a GUI program can read it: a GUI program's standard
// error goes nowhere on Windows (a debugger, or DebugView, shows this); nothing on Linux.
void alsoToDebugger(const std::string& line);

// Waits ms, without busy waiting.
void sleepMs(unsigned ms);

} // namespace rireruv
