# terminal/: the native verifier's front end.
# What turns bytes into keys and text into cells, on its own: the fuzz targets take it alone.
code_sources(TERMINAL_TEXT_SOURCES grid.cpp keys.cpp escape.cpp)
# The front end over the model: the screen, the press log, the library's notes, the modes' clock.
code_sources(TERMINAL_SOURCES scene.cpp frontend.cpp capture.cpp presslog.cpp library_log.cpp
             modes.cpp)
list(APPEND TERMINAL_SOURCES ${TERMINAL_TEXT_SOURCES})
# The check mode's verdict and JSON lines (tested over a scripted library, without the rest).
code_sources(TERMINAL_CHECK_SOURCES check.cpp check_lines.cpp)
# The program: its entry, curses, and the modes.
code_sources(TERMINAL_PROGRAM_SOURCES main.cpp curses_io.cpp find_protocol.cpp learn.cpp
             watch_gpio.cpp boot_plan.cpp identify.cpp)
list(APPEND TERMINAL_PROGRAM_SOURCES ${TERMINAL_CHECK_SOURCES})
