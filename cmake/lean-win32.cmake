# How the shipped Windows files are kept small: a dialog program of this size is tens of KiB,
# and nearly all of a naive build of it is run-time code it never calls.

# - Size-optimised code, each function and datum in a section of its own, so the linker drops
#   whatever nothing reaches. It keeps every function that has unwind information, though,
#   so there is none: no exceptions (the program and the library catch none, so a throw could
#   only end in terminate), and the throwing helpers of the run-time come from
#   lean_runtime.cpp, which says more.
# - No RTTI: nothing asks for a type at run time.
# - Statics inside functions without the locking of thread-safe start-up, which would bring
#   the exception machinery back: the program and the library's entries run on the UI thread.
# - C++20: from there on, libstdc++ no longer holds std::string's code in its own prebuilt
#   objects, which the linker would take whole (30 KiB each for string and wstring), but
#   compiles what is used into ours. The code is the same C++17 that the other builds compile.
function(lean_win32 target)
  target_sources(${target} PRIVATE ${WIN32_LEAN_RUNTIME_SOURCES})
  target_compile_options(${target} PRIVATE -Os -ffunction-sections -fdata-sections
    -fno-exceptions -fno-asynchronous-unwind-tables -fno-rtti -fno-threadsafe-statics)
  set_target_properties(${target} PROPERTIES CXX_STANDARD 20)
  target_link_options(${target} PRIVATE -Wl,--gc-sections)
endfunction()

# A copy of library target `from`, built __stdcall (RIRERUV_STDCALL, see platform/zelk.h) but
# exporting the same undecorated names (--kill-at drops the @n that __stdcall adds), with the
# same file name, in folder `dir`. Its import library stays apart from the real one's.
function(add_stdcall_variant from target dir)
  get_target_property(sources ${from} SOURCES)
  get_target_property(includes ${from} INCLUDE_DIRECTORIES)
  list(FILTER sources EXCLUDE REGEX "lean_runtime\\.cpp$")
  add_library(${target} SHARED ${sources})
  target_include_directories(${target} PRIVATE ${includes})
  target_compile_definitions(${target} PRIVATE RIRERUV_STDCALL)
  target_link_options(${target} PRIVATE ${WIN_LINK_OPTIONS} -Wl,--kill-at)
  lean_win32(${target})
  set_target_properties(${target} PROPERTIES PREFIX "" OUTPUT_NAME rireruv
    RUNTIME_OUTPUT_DIRECTORY ${dir} ARCHIVE_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/stdcall)
endfunction()
