// The Win32 API as the framework sees it: the real headers on Windows, and elsewhere the same
// names declared over the headless model. The one place the two builds part.
#pragma once

#ifdef _WIN32
#include <windows.h>

#include <objbase.h>
#else
#include "platform/model/win32api.h"
#endif
