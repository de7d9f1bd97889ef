# The program's version comes from project(VERSION) alone: a generated header carries it into
# the code (--version of the tools, the About window); the packages take it from the same place.
configure_file(${CMAKE_CURRENT_LIST_DIR}/TabloraVersion.h.in
               ${PROJECT_BINARY_DIR}/generated/TabloraVersion.h @ONLY)
add_library(tablora_version INTERFACE)
target_include_directories(tablora_version INTERFACE ${PROJECT_BINARY_DIR}/generated)
