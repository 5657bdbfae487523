// The three entries as the library exports them, and ZELK_INIT_FAILED, the status of every
// board's failure. Every file of the library is part of the build that exports the entries, so
// each sees zelk.h's exporting side, never the program's importing one.
#pragma once

#define RIRERUV_BUILDING
#include "platform/zelk.h"
