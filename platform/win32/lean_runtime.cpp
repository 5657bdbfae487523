// The pieces of the C++ run-time that the shipped Windows files (Test_rireruv.EXE and the
// stand-in rireruv.dll) take from here instead of from libstdc++.
//
// Why: both are built without exceptions (they catch none, so a throw could only end in
// terminate), yet the inline code of std::string, std::function and operator new still names
// libstdc++'s throwing helpers. Linking those would bring the exception classes, the unwinder
// and the demangler of the terminate message, and because the linker keeps every function
// that has unwind information, whole objects of the library with them: about 200 KiB in a
// program of 20. These do what libstdc++'s own no-exceptions build does where it would throw:
// say why on standard error and abort. A helper the code comes to need and that is missing
// here makes the link fail (libstdc++'s copy collides with these), so none slips in unseen.
//
// The same goes for printf: libstdc++ turns on mingw-w64's own implementation for all C++
// code, whose floating-point formatting alone is 26 KiB. The formats we print are plain
// (%s, %02X), and msvcrt.dll, which both files import anyway, prints those the same.
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <new>

namespace {
[[noreturn]] void fail(const char* why) {
    std::fputs(why, stderr);
    std::fputs("\n", stderr);
    std::fflush(stderr);
    std::abort();
}
} // namespace

// msvcrt.dll's own entries, by their link names: the C names are mingw-w64's inline wrappers.
extern "C" int msvcrtVfprintf(FILE* file, const char* format, va_list args) __asm__("_vfprintf");
extern "C" int msvcrtVsnprintf(char* buffer, size_t size, const char* format,
                               va_list args) __asm__("__vsnprintf");
extern "C" int msvcrtVscprintf(const char* format, va_list args) __asm__("__vscprintf");

extern "C" int __mingw_vfprintf(FILE* file, const char* format, va_list args) {
    return msvcrtVfprintf(file, format, args);
}

// C99's vsnprintf: always terminated, and the length it would have written. msvcrt's
// _vsnprintf neither terminates a cut string nor says how long the whole one is.
extern "C" int __mingw_vsnprintf(char* buffer, size_t size, const char* format, va_list args) {
    va_list again;
    va_copy(again, args);
    const int needed = msvcrtVscprintf(format, again);
    va_end(again);
    if (size > 0 && needed >= 0) {
        const size_t end =
            static_cast<size_t>(needed) < size ? static_cast<size_t>(needed) : size - 1;
        msvcrtVsnprintf(buffer, end, format, args);
        buffer[end] = 0;
    }
    return needed;
}

void* operator new(std::size_t size) {
    if (void* p = std::malloc(size != 0 ? size : 1))
        return p;
    fail("out of memory");
}

void operator delete(void* p) noexcept {
    std::free(p);
}

void operator delete(void* p, std::size_t /*size*/) noexcept {
    std::free(p);
}

namespace std {
void __throw_bad_alloc() {
    fail("out of memory");
}
void __throw_bad_array_new_length() {
    fail("bad array new length");
}
void __throw_bad_function_call() {
    fail("call of an empty std::function");
}
void __throw_length_error(const char* what) {
    fail(what);
}
void __throw_logic_error(const char* what) {
    fail(what);
}
void __throw_out_of_range(const char* what) {
    fail(what);
}
void __throw_out_of_range_fmt(const char* what, ...) {
    fail(what);
}
void __throw_invalid_argument(const char* what) {
    fail(what);
}
} // namespace std
