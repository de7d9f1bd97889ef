# Checks that the version set once by project(VERSION) reaches the generated header and the
# --version output of each command-line tool. The version is read from the top CMakeLists.txt
# here, not taken from the configured build, so a header or a tool that goes its own way shows.
#   cmake -DSOURCE_DIR=... -DHEADER=... -DTOOLS=a;b;c [-DEMULATOR=...] -P CheckVersion.cmake
file(READ "${SOURCE_DIR}/CMakeLists.txt" top)
if(NOT top MATCHES "project\\(Tablora VERSION ([0-9]+)\\.([0-9]+)\\.([0-9]+)")
  message(FATAL_ERROR "no project(Tablora VERSION x.y.z) in ${SOURCE_DIR}/CMakeLists.txt")
endif()
set(full "${CMAKE_MATCH_1}.${CMAKE_MATCH_2}.${CMAKE_MATCH_3}")
set(short "${CMAKE_MATCH_1}.${CMAKE_MATCH_2}")

file(READ "${HEADER}" header)
foreach(pair "Version=${full}" "ShortVersion=${short}")
  string(REPLACE "=" ";" pair "${pair}")
  list(GET pair 0 constant)
  list(GET pair 1 wanted)
  if(NOT header MATCHES "[^A-Za-z]${constant} = \"([^\"]*)\"")
    message(FATAL_ERROR "${HEADER} holds no ${constant}")
  elseif(NOT CMAKE_MATCH_1 STREQUAL wanted)
    message(FATAL_ERROR "${HEADER}: ${constant} \"${CMAKE_MATCH_1}\", the project says \"${wanted}\"")
  endif()
endforeach()

foreach(tool IN LISTS TOOLS)
  get_filename_component(name "${tool}" NAME_WE)
  execute_process(COMMAND ${EMULATOR} "${tool}" --version
                  OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
  string(REPLACE "\r\n" "\n" out "${out}")
  if(NOT rc EQUAL 0 OR NOT out STREQUAL "${name} ${full}\n")
    message(FATAL_ERROR "${tool} --version: exit ${rc}, printed \"${out}\"${err}; expected \"${name} ${full}\"")
  endif()
endforeach()
message(STATUS "version ${full} (${short}) in the header and in --version of ${TOOLS}")
