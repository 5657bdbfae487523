# Checks one PE file as shipped, from its bytes and `objdump -p` (no Windows or Wine needed):
#   cmake -DFILE=f -DMAX_KIB=n -P check-pe.cmake                  no larger than n KiB
#   cmake -DFILE=f -DOBJDUMP=o -DDLLS=a,b [-DIMPORTS=dll:n1,n2] -P  imports only DLLs a, b, ...
#                                                                  and from dll exactly n1, n2
#   cmake -DFILE=f -DOBJDUMP=o -DEXPORTS=n1,n2 -P check-pe.cmake   exports exactly n1, n2 by name
#   cmake -DFILE=f -DWINDRES=w -DVERSION_SAYS=text [-DVERSION_COMMENTS=text] [-DVERSION_IS=v]
#         -P check-pe.cmake       its version information, as windres reads it back from the
#                                 file, says text in FileDescription and ProductName (the other
#                                 in Comments; version v), is whole, and is found the way
#                                 Windows finds it (check-pe-version.cmake)
# Each failure says what it found, so the fix can start there.
cmake_policy(VERSION 3.20)
if(NOT EXISTS "${FILE}")
  message(FATAL_ERROR "${FILE}: missing; build it first")
endif()
# Named with its folder: both builds of the stand-in are called rireruv.dll.
get_filename_component(folder "${FILE}" DIRECTORY)
get_filename_component(folder "${folder}" NAME)
get_filename_component(name "${FILE}" NAME)
set(name "${folder}/${name}")

if(DEFINED MAX_KIB)
  file(SIZE "${FILE}" bytes)
  math(EXPR limit "${MAX_KIB} * 1024")
  if(bytes GREATER limit)
    message(FATAL_ERROR "${name} is ${bytes} bytes, over its limit of ${MAX_KIB} KiB (${limit})")
  endif()
  message(STATUS "${name}: ${bytes} bytes, limit ${limit}")
  return()
endif()

if(DEFINED VERSION_SAYS)
  include("${CMAKE_CURRENT_LIST_DIR}/check-pe-version.cmake")
  return()
endif()

execute_process(COMMAND "${OBJDUMP}" -p "${FILE}" OUTPUT_VARIABLE dump RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "${OBJDUMP} -p ${name} failed")
endif()
string(REPLACE "\n" ";" lines "${dump}")

# The names of one table: the lines after `header` until a blank one, matching `pattern`.
function(table_names header pattern out)
  set(inside FALSE)
  set(names "")
  foreach(line IN LISTS lines)
    if(line MATCHES "${header}")
      set(inside TRUE)
    elseif(inside AND line STREQUAL "")
      break()
    elseif(inside AND line MATCHES "${pattern}")
      list(APPEND names "${CMAKE_MATCH_1}")
    endif()
  endforeach()
  list(SORT names)
  set(${out} "${names}" PARENT_SCOPE)
endfunction()

function(expect_names what actual wanted)
  string(REPLACE "," ";" wanted "${wanted}")
  list(SORT wanted)
  if(NOT actual STREQUAL wanted)
    message(FATAL_ERROR "${name}: ${what} are [${actual}], expected [${wanted}]")
  endif()
  message(STATUS "${name}: ${what}: ${actual}")
endfunction()

if(DEFINED EXPORTS)
  table_names("^\\[Ordinal/Name Pointer\\] Table" "^\t\\[ *[0-9]+\\] (.+)$" exported)
  expect_names("exports by name" "${exported}" "${EXPORTS}")
  return()
endif()

string(TOLOWER "${DLLS}" allowed)
string(REPLACE "," ";" allowed "${allowed}")
foreach(line IN LISTS lines)
  if(line MATCHES "^\tDLL Name: (.+)$")
    string(TOLOWER "${CMAKE_MATCH_1}" dll)
    if(NOT dll IN_LIST allowed)
      message(FATAL_ERROR "${name} imports from ${CMAKE_MATCH_1}, which is not one of ${DLLS}")
    endif()
  endif()
endforeach()
if(DEFINED IMPORTS)
  string(REGEX MATCH "^[^:]+" dll "${IMPORTS}")
  string(REGEX REPLACE "^[^:]+:" "" wanted "${IMPORTS}")
  # By name: an import by ordinal shows as <none>.
  table_names("^\tDLL Name: ${dll}$" "^\t[0-9a-f]+\t +[0-9]+ +(.+)$" imported)
  expect_names("imports from ${dll}" "${imported}" "${wanted}")
endif()
