# The GoogleTest programs that run under Wine, cross-built in a tree of their own with the
# posix-threads compiler (cmake/mingw-i686-posix.cmake); tests/e2e/run.sh runs them.
# GoogleTest is built from the source Debian ships (googletest).
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

# The Win32 behaviour the program relies on, checked on Wine's real user32 with the same
# tests the model passes.
add_executable(win32_fidelity tests/model/test_win32.cpp tests/model/harness_win32.cpp
               ${RES_FILE})
add_dependencies(win32_fidelity resources)
target_link_libraries(win32_fidelity PRIVATE gtest_main ole32 user32)
target_link_options(win32_fidelity PRIVATE ${WIN_LINK_OPTIONS})

add_subdirectory(tests/seam)

set_target_properties(win32_fidelity seam_test PROPERTIES
  RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
