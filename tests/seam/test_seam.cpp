// The call seam of platform/zelk.h, where the calling convention shows: after a call through
// zelkCall the stack pointer is where it was, whether the callee was __cdecl (the caller
// takes the argument off) or __stdcall (the callee does), and the thread's exception frames are
// those before it, the seam's own having been innermost during the call. Checked on functions
// of our own, then on the two builds of the stand-in rireruv.dll, whose folder SEAM_STANDINS
// names.
#include "platform/zelk.h"

#include <windows.h>

#include <cstdlib>
#include <gtest/gtest.h>
#include <string>

namespace {

// The bytes a callee takes off the stack: one argument pushed, the plain call, and the stack
// pointer read before it is put back. 0 for __cdecl, 4 for __stdcall with an argument.
int bytesTakenBy(const void* entry, void* argument) {
    int taken;
    const void* target = entry; // in eax, which the call then returns in
    __asm__ volatile("movl %%esp, %%esi\n\t"
                     "pushl %[argument]\n\t"
                     "calll *%[target]\n\t"
                     "movl %%esp, %[taken]\n\t"
                     "subl %%esi, %[taken]\n\t"
                     "addl $4, %[taken]\n\t"
                     "movl %%esi, %%esp"
                     : [taken] "=&r"(taken), [target] "+a"(target)
                     : [argument] "r"(argument)
                     : "ecx", "edx", "esi", "memory", "cc");
    return taken;
}

// The innermost of the thread's exception frames.
const ZelkFrame* innermostFrame() {
    const ZelkFrame* frame;
    __asm__ volatile("movl %%fs:0, %0" : "=r"(frame));
    return frame;
}

struct SeamCall {
    int result;
    long stackShift; // the stack pointer after the call, less the one before
    bool framesKept; // the thread's exception frames after the call are those before it
};

__attribute__((noinline)) SeamCall callThroughSeam(const void* entry, void* argument) {
    unsigned long before, after;
    const ZelkFrame* frame = innermostFrame();
    __asm__ volatile("movl %%esp, %0" : "=r"(before));
    const int result = zelkCall(entry, argument, "entry");
    __asm__ volatile("movl %%esp, %0" : "=r"(after));
    return {result, static_cast<long>(after - before), innermostFrame() == frame};
}

extern "C" __attribute__((noinline)) int __cdecl cdeclData(unsigned char* p) {
    *p = 0x5A;
    return 17;
}
extern "C" __attribute__((noinline)) int __stdcall stdcallData(unsigned char* p) {
    *p = 0xA5;
    return 23;
}
extern "C" __attribute__((noinline)) int __cdecl cdeclNone(void) {
    return 8;
}
extern "C" __attribute__((noinline)) int __stdcall stdcallNone(void) {
    return 9;
}

// What a callee finds as its innermost exception frame.
struct SeenFrame {
    const ZelkFrame* next;
    const void* handler;
    const char* entry;
} g_seen;
extern "C" __attribute__((noinline)) int __cdecl noteFrame(unsigned char* /*p*/) {
    const ZelkFrame* frame = innermostFrame();
    g_seen = {frame->next, reinterpret_cast<const void*>(frame->handler), frame->entry};
    return 0;
}

// The library runs inside a frame of the seam's, innermost, so an exception it leaves
// unhandled reaches zelkCrashed, which learns the entry from it, before any frame of the
// window system's; the frame is gone after the call.
TEST(CallSeam, EachCallRunsInAnExceptionFrameThatNamesItsEntry) {
    const ZelkFrame* outer = innermostFrame();
    unsigned char byte = 0;
    g_seen = {};
    zelkCall(reinterpret_cast<const void*>(noteFrame), &byte, "ZELK_GetRemoteData");
    EXPECT_EQ(g_seen.handler, reinterpret_cast<const void*>(zelkCrashed));
    EXPECT_STREQ(g_seen.entry, "ZELK_GetRemoteData");
    EXPECT_EQ(g_seen.next, outer) << "not linked to the frames before the call";
    EXPECT_EQ(innermostFrame(), outer) << "still linked after the call";
}

TEST(CallSeam, OwnFunctionsOfBothConventionsLeaveTheStackAsItWas) {
    struct Row {
        const char* name;
        const void* entry;
        int taken; // by the callee, called plainly
        int result;
        int written; // at the argument, or -1: the callee takes none
    };
    const Row rows[] = {
        {"__cdecl, one argument", reinterpret_cast<const void*>(cdeclData), 0, 17, 0x5A},
        {"__stdcall, one argument", reinterpret_cast<const void*>(stdcallData), 4, 23, 0xA5},
        {"__cdecl, none", reinterpret_cast<const void*>(cdeclNone), 0, 8, -1},
        {"__stdcall, none", reinterpret_cast<const void*>(stdcallNone), 0, 9, -1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        unsigned char byte = 0;
        EXPECT_EQ(bytesTakenBy(row.entry, &byte), row.taken) << "the callee is not what it claims";
        byte = 0;
        const SeamCall call = callThroughSeam(row.entry, &byte);
        EXPECT_EQ(call.stackShift, 0);
        EXPECT_TRUE(call.framesKept);
        EXPECT_EQ(call.result, row.result);
        EXPECT_EQ(byte, row.written < 0 ? 0 : row.written);
    }
}

// Many calls in a row: a seam that lost four bytes a call would have drifted by now.
TEST(CallSeam, ThousandCallsIntoStdcallDoNotDrift) {
    unsigned char byte = 0;
    long drift = 0;
    for (int i = 0; i < 1000; ++i)
        drift += callThroughSeam(reinterpret_cast<const void*>(stdcallData), &byte).stackShift;
    EXPECT_EQ(drift, 0);
}

std::string standInFolder() {
    const char* folder = std::getenv("SEAM_STANDINS");
    return folder != nullptr ? folder : "";
}

// Each stand-in in turn, loaded alone: both have the same file name.
TEST(CallSeam, BothStandInsAnswerThroughIt) {
    const std::string folder = standInFolder();
    ASSERT_FALSE(folder.empty()) << "set SEAM_STANDINS to the folder of rireruv.dll and stdcall\\";
    _putenv("RIRERUV_DATA=AB");
    _putenv("RIRERUV_TRACE=");
    struct Build {
        const char* path;
        int taken; // by ZELK_GetRemoteData
    };
    for (const Build& build : {Build{"\\rireruv.dll", 0}, Build{"\\stdcall\\rireruv.dll", 4}}) {
        const std::string path = folder + build.path;
        SCOPED_TRACE(path);
        HMODULE library = LoadLibraryA(path.c_str());
        ASSERT_NE(library, nullptr) << "cannot load it, error " << GetLastError();
        auto entry = [&](const char* name) {
            return reinterpret_cast<const void*>(GetProcAddress(library, name));
        };
        const void* init = entry("ZELK_HWInit");
        const void* data = entry("ZELK_GetRemoteData");
        const void* release = entry("ZELK_Free");
        ASSERT_TRUE(init != nullptr && data != nullptr && release != nullptr)
            << "an undecorated entry is missing";
        EXPECT_EQ(callThroughSeam(init, nullptr).stackShift, 0);
        unsigned char byte = 0;
        EXPECT_EQ(bytesTakenBy(data, &byte), build.taken) << "not the convention it claims";
        byte = 0;
        const SeamCall call = callThroughSeam(data, &byte);
        EXPECT_EQ(call.stackShift, 0);
        EXPECT_TRUE(call.framesKept);
        EXPECT_EQ(call.result, 0);
        EXPECT_EQ(byte, 0xAB);
        EXPECT_EQ(callThroughSeam(release, nullptr).stackShift, 0);
        FreeLibrary(library);
    }
}

} // namespace
