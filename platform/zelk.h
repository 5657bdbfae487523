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
// The calling convention. The entries have undecorated names, but a board's vendor may have
// built them __cdecl (the caller takes the arguments off the stack; ours does) or __stdcall
// (the callee does, as the Windows API does). The import by name binds either way, so nothing
// tells the program which one it got, and a wrong guess leaves the stack pointer four bytes
// off after every ZELK_GetRemoteData. So on Windows the program calls each entry through
// zelkCall, which keeps the stack pointer in a register the callee must preserve (esi, in
// both conventions) and puts it back after the call: whoever took the argument off, the stack
// is as it was. The entries' addresses come from the import table slots the loader fills for
// the three names, so the EXE still imports them by name from rireruv.dll. Our stand-in is
// __cdecl, and __stdcall when built with RIRERUV_STDCALL (the tests run the EXE against both).
//
// A crash in the library. An exception the library leaves unhandled would end the program
// with no word of why: its window simply goes. Or, raised in a message the window system sent
// from its own code (WM_DESTROY, where ZELK_Free runs), it may be swallowed where the system
// called the program (Wine does), and the program goes on as if the call had returned, with
// the rest of its handler skipped. So each call through zelkCall runs inside an exception
// frame of its own (x86 frame-based SEH: the __try/__except that gcc lacks, made by hand),
// whose handler, zelkCrashed, gets what the library's own handlers let go, and nothing they
// handle. It names the entry, the exception and where it was raised in a message box, then
// ends the program with the exception's code, as Windows ends a process that leaves one
// unhandled, calling the library no more (platform/win32/zelk_crash.cpp).
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

#define ZELK_INIT_FAILED 8

#if defined(_WIN32) && defined(RIRERUV_BUILDING)

#ifdef RIRERUV_STDCALL
#define ZELKCALL __stdcall
#else
#define ZELKCALL __cdecl
#endif
__declspec(dllexport) int ZELKCALL ZELK_HWInit(void);
__declspec(dllexport) int ZELKCALL ZELK_GetRemoteData(unsigned char* pbyData);
__declspec(dllexport) int ZELKCALL ZELK_Free(void);

#elif defined(_WIN32)

// ecx and edx, the x87 stack and the SSE registers (when the compiler uses them) are the
// callee's to use in both conventions.
#ifdef __SSE__
#define ZELK_SSE_CLOBBERS , "xmm0", "xmm1", "xmm2", "xmm3", "xmm4", "xmm5", "xmm6", "xmm7"
#else
#define ZELK_SSE_CLOBBERS
#endif

// The exception frame around a call: the record the system's list of frames (fs:0) links,
// with the entry's name after it for zelkCrashed.
struct ZelkFrame {
    struct ZelkFrame* next;
    int(__cdecl* handler)(void* record, void* frame, void* context, void* dispatcher);
    const char* entry;
};
// Reports the exception (record, an EXCEPTION_RECORD) that left the call of frame's entry, and
// ends the program.
int __cdecl zelkCrashed(void* record, void* frame, void* context, void* dispatcher);
// Shows a crash of the library outside the program's calls (on a thread of its own) the same
// way, in a box captioned title(); called once, at start-up.
void zelkReportCrashes(const char* (*title)(void));

// Calls entry with one argument, in either convention; an entry that takes none ignores it.
// The frame is linked into fs:0 for the call and unlinked after it; edi, which the callee
// must preserve, keeps its address.
static inline int zelkCall(const void* entry, void* argument, const char* name) {
    struct ZelkFrame frame = {0, zelkCrashed, name};
    int result;
    void* stack;
    __asm__ volatile("movl %%esp, %[stack]\n\t"
                     "movl %%fs:0, %%ecx\n\t"
                     "movl %%ecx, (%[frame])\n\t"
                     "movl %[frame], %%fs:0\n\t"
                     "pushl %[argument]\n\t"
                     "calll *%[entry]\n\t"
                     "movl (%[frame]), %%ecx\n\t"
                     "movl %%ecx, %%fs:0\n\t"
                     "movl %[stack], %%esp"
                     : "=a"(result), [stack] "=&S"(stack)
                     : [entry] "r"(entry), [argument] "r"(argument), [frame] "D"(&frame)
                     : "ecx", "edx", "memory", "cc", "st", "st(1)", "st(2)", "st(3)", "st(4)",
                       "st(5)", "st(6)", "st(7)" ZELK_SSE_CLOBBERS);
    return result;
}

extern const void* const zelkImportHWInit __asm__("__imp__ZELK_HWInit");
extern const void* const zelkImportGetRemoteData __asm__("__imp__ZELK_GetRemoteData");
extern const void* const zelkImportFree __asm__("__imp__ZELK_Free");

static inline int ZELK_HWInit(void) {
    return zelkCall(zelkImportHWInit, 0, "ZELK_HWInit");
}
static inline int ZELK_GetRemoteData(unsigned char* pbyData) {
    return zelkCall(zelkImportGetRemoteData, pbyData, "ZELK_GetRemoteData");
}
static inline int ZELK_Free(void) {
    return zelkCall(zelkImportFree, 0, "ZELK_Free");
}

#else

__attribute__((visibility("default"))) int ZELK_HWInit(void);
__attribute__((visibility("default"))) int ZELK_GetRemoteData(unsigned char* pbyData);
__attribute__((visibility("default"))) int ZELK_Free(void);

#endif

#ifdef __cplusplus
}
#endif
