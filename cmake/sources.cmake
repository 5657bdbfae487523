# Each folder of code lists its own sources once, in its sources.cmake, by their names in that
# folder; every build that compiles them (native, Windows, fuzz) takes them from there, and so
# does the analysis (code_sources.txt in the build folder), which fails on a file no list names.
# Included by a project with no scope of its own in between, so the lists are the includer's.

# code_sources(VAR FILE...): VAR is FILE... as full paths from the folder of the list that calls
# it, and each joins CODE_SOURCES, the whole project's code.
macro(code_sources var)
  set(${var})
  foreach(file ${ARGN})
    list(APPEND ${var} ${CMAKE_CURRENT_LIST_DIR}/${file})
  endforeach()
  list(APPEND CODE_SOURCES ${${var}})
endmacro()

set(CODE_SOURCES)
get_filename_component(CODE_TOP ${CMAKE_CURRENT_LIST_DIR} DIRECTORY)
foreach(folder app dialog platform rireruv receivers terminal)
  include(${CODE_TOP}/${folder}/sources.cmake)
endforeach()
list(REMOVE_DUPLICATES CODE_SOURCES)
