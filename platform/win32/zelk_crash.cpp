// What the Windows program says when rireruv.dll crashes (platform/zelk.h says when): a
// message box naming the library, the entry it was in, the exception and where it was raised,
// then the end of the program with the exception's code.
//
// The report is shown from a thread of its own while the crashed thread waits. The crashed
// thread must not run a message loop: it would dispatch the verifier's next tick, and with it
// the next call into the broken library; after a stack overflow it has no stack left for one.
// So the texts live in static storage, and the box has no owner, since the owner's thread is
// the one waiting. The library's thread notifications are turned off first, so that starting
// the new thread runs none of the crashed library's code.
#include "platform/zelk.h"

#include <windows.h>

namespace {

const char kLibrary[] = "rireruv.dll";
const char* (*g_title)(void) = nullptr;
LPTOP_LEVEL_EXCEPTION_FILTER g_previous = nullptr;
volatile LONG g_reporting = 0;
DWORD g_reportThread = 0;
char g_where[MAX_PATH + 32], g_what[128], g_text[512];

HMODULE moduleAt(const void* address) {
    HMODULE module = nullptr;
    if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            static_cast<LPCSTR>(address), &module))
        return nullptr;
    return module;
}

// "rireruv.dll+0x1234": the module and the offset in it, which a disassembly of that file
// finds again wherever it was loaded; the bare address outside every module.
void describeAddress(const void* address) {
    char path[MAX_PATH] = "";
    HMODULE module = moduleAt(address);
    if (module == nullptr || GetModuleFileNameA(module, path, sizeof path) == 0) {
        wsprintfA(g_where, "0x%08lX", static_cast<unsigned long>(UINT_PTR(address)));
        return;
    }
    const char* name = path;
    for (const char* p = path; *p != 0; ++p)
        if (*p == '\\' || *p == '/')
            name = p + 1;
    wsprintfA(g_where, "%s+0x%lX", name,
              static_cast<unsigned long>(UINT_PTR(address) - UINT_PTR(module)));
}

void describeException(const EXCEPTION_RECORD& r) {
    const unsigned long code = r.ExceptionCode;
    if (code == EXCEPTION_ACCESS_VIOLATION && r.NumberParameters >= 2) {
        const ULONG_PTR how = r.ExceptionInformation[0];
        wsprintfA(g_what, "exception 0x%08lX (access violation %s 0x%08lX)", code,
                  how == 1   ? "writing"
                  : how == 8 ? "executing"
                             : "reading",
                  static_cast<unsigned long>(r.ExceptionInformation[1]));
        return;
    }
    const char* name = nullptr;
    switch (code) {
    case EXCEPTION_STACK_OVERFLOW:
        name = "stack overflow";
        break;
    case EXCEPTION_ILLEGAL_INSTRUCTION:
        name = "illegal instruction";
        break;
    case EXCEPTION_INT_DIVIDE_BY_ZERO:
        name = "division by zero";
        break;
    case EXCEPTION_PRIV_INSTRUCTION:
        name = "privileged instruction";
        break;
    case EXCEPTION_IN_PAGE_ERROR:
        name = "page not readable";
        break;
    case 0xE06D7363: // what Visual C++ raises for a throw
        name = "C++ exception";
        break;
    default:
        break;
    }
    if (name != nullptr)
        wsprintfA(g_what, "exception 0x%08lX (%s)", code, name);
    else
        wsprintfA(g_what, "exception 0x%08lX", code);
}

DWORD WINAPI showReport(LPVOID /*unused*/) {
    MessageBoxA(nullptr, g_text, g_title != nullptr ? g_title() : nullptr,
                MB_OK | MB_ICONERROR | MB_SETFOREGROUND);
    return 0;
}

[[noreturn]] void report(const EXCEPTION_RECORD& r, const char* entry) {
    // A second crash while one is being reported: the report's own thread ends the program at
    // once; any other thread waits for the report, which ends it.
    if (InterlockedExchange(&g_reporting, 1) != 0) {
        if (GetCurrentThreadId() == g_reportThread)
            TerminateProcess(GetCurrentProcess(), r.ExceptionCode);
        for (;;)
            Sleep(INFINITE);
    }
    describeException(r);
    describeAddress(r.ExceptionAddress);
    if (entry != nullptr)
        wsprintfA(g_text, "%s crashed in %s(): %s at %s. The program ends.", kLibrary, entry,
                  g_what, g_where);
    else
        wsprintfA(g_text, "%s crashed outside the program's calls: %s at %s. The program ends.",
                  kLibrary, g_what, g_where);
    if (HMODULE library = GetModuleHandleA(kLibrary))
        DisableThreadLibraryCalls(library);
    HANDLE thread = CreateThread(nullptr, 0, showReport, nullptr, 0, &g_reportThread);
    if (thread != nullptr)
        WaitForSingleObject(thread, INFINITE);
    else
        showReport(nullptr);
    for (;;)
        TerminateProcess(GetCurrentProcess(), r.ExceptionCode);
}

// The last chance, for code of the library that the program did not call: a thread of its own.
LONG WINAPI lastChance(EXCEPTION_POINTERS* info) {
    const EXCEPTION_RECORD& r = *info->ExceptionRecord;
    HMODULE library = GetModuleHandleA(kLibrary);
    if (library != nullptr && moduleAt(r.ExceptionAddress) == library)
        report(r, nullptr);
    return g_previous != nullptr ? g_previous(info) : EXCEPTION_CONTINUE_SEARCH;
}

} // namespace

int __cdecl zelkCrashed(void* record, void* frame, void* /*context*/, void* /*dispatcher*/) {
    const auto* r = static_cast<const EXCEPTION_RECORD*>(record);
    // Called again as the frames unwind, when something outside the call handled it.
    if ((r->ExceptionFlags & EXCEPTION_UNWIND) != 0)
        return ExceptionContinueSearch;
    report(*r, static_cast<const ZelkFrame*>(frame)->entry);
}

void zelkReportCrashes(const char* (*title)(void)) {
    g_title = title;
    g_previous = SetUnhandledExceptionFilter(lastChance);
}
