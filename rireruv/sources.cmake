# rireruv/: the library. What every build has, then each platform's half (posix/, windows/),
# and the boards (sim/, and rccore/ on Linux, over receivers/).
# The settings read once, the choice of board, the messages and the trace.
code_sources(RIRERUV_COMMON_SOURCES settings.cpp choose.cpp refused_board.cpp report.cpp)
# The three exported entries.
code_sources(RIRERUV_ENTRY_SOURCES rireruv.cpp)
# Which byte the dialog showed of a poll's presses: the Windows library's, and in the native
# build the receivers' (whose reads say it).
code_sources(RIRERUV_SHOWN_SOURCES shown.cpp)
# The account of presses, kept where a front end reads it (the native build).
code_sources(RIRERUV_TALLY_SOURCES tally.cpp tally_summary.cpp)
# No account: the Windows build, and the fuzz targets, which feed it nothing.
code_sources(RIRERUV_NO_TALLY_SOURCES windows/tally_none.cpp)
code_sources(RIRERUV_SIM_SOURCES sim/simulated_board.cpp)
code_sources(RIRERUV_POSIX_SOURCES posix/system.cpp)
code_sources(RIRERUV_WINDOWS_SOURCES windows/system.cpp windows/no_receivers.cpp)
code_sources(RIRERUV_RCCORE_SOURCES rccore/receiver_board.cpp rccore/poll.cpp rccore/layers.cpp
             rccore/silence.cpp rccore/beside.cpp)
