// The three entries of the hardware library rireruv.dll, as this program imports them.
//
// Who supplies them: on Windows the import library binds them by name to rireruv.dll (ours,
// the simulated board in rireruv/, or a real board's); on Linux the stand-in is a shared
// library, and the unit tests link a recording double instead.
//
// What callers rely on, and the library must honour:
// - ZELK_HWInit: called at most once per dialog, on the UI thread, after COM was initialised
//   there. A status of exactly 8 means failure; every other value is success.
// - ZELK_GetRemoteData: stores the current byte of remote data at *pbyData. The caller sets
//   the byte to 0 first, shows whatever it holds afterwards and ignores the result. It may be
//   called without ZELK_HWInit having been called.
// - ZELK_Free: releases what ZELK_HWInit took. Its result is not used.
//
// The entries use the C calling convention and undecorated names.
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

#if defined(_WIN32) && defined(RIRERUV_BUILDING)
#define ZELKAPI __declspec(dllexport)
#elif defined(_WIN32)
#define ZELKAPI __declspec(dllimport)
#else
#define ZELKAPI __attribute__((visibility("default")))
#endif

#define ZELK_INIT_FAILED 8

ZELKAPI int ZELK_HWInit(void);
ZELKAPI int ZELK_GetRemoteData(unsigned char* pbyData);
ZELKAPI int ZELK_Free(void);

#ifdef __cplusplus
}
#endif
