// The Win32 API as the framework sees it, on Windows: the real headers.
// The Linux build puts platform/model/ first on the include path instead, whose win32api.h
// declares the same names over the headless model.
#pragma once

#include <windows.h>
#include <objbase.h>
