# receivers/: what the project knows of Linux receivers: finding them, opening and reading their
# nodes, their keymaps, raw light, the boot's plan; the library's rc-core board and the front
# end's modes use it.
code_sources(RECEIVERS_SOURCES find.cpp pick.cpp lirc.cpp evdev.cpp text.cpp open.cpp keymap.cpp
             keymap_file.cpp identify.cpp protocols.cpp gpio_debug.cpp raw.cpp raw_read.cpp
             undo.cpp boot_plan.cpp)
