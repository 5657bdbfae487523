// The library's own version, apart from the program's (which is in its version resource): the
// Linux library answers it to --version, and the Windows stand-in's version information says it.
#pragma once

#define RIRERUV_VERSION "1.2.0"
