# Cross build for 32-bit Windows of the test programs that run under Wine: the posix-threads
# variant of mingw-w64, because GoogleTest needs std::mutex, which the win32-threads one lacks.
# This tree builds only those programs (see the root CMakeLists.txt); the shipped files come
# from a tree made with mingw-i686.cmake.
set(MINGW_THREADS posix)
set(WIN32_TEST_PROGRAMS ON)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-i686.cmake)
