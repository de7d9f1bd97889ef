# libdeflate as one target, tablora_libdeflate: the packer's deflate. Linux uses Debian's
# libdeflate-dev; Windows the static build that scripts/install-deps --windows makes from
# Debian's source (build/windows-deps/prefix).
if(WIN32)
  find_path(LIBDEFLATE_INCLUDE_DIR libdeflate.h)
  find_library(LIBDEFLATE_LIBRARY NAMES libdeflate.a deflatestatic deflate)
  if(NOT LIBDEFLATE_INCLUDE_DIR OR NOT LIBDEFLATE_LIBRARY)
    message(FATAL_ERROR "libdeflate for Windows is missing: run scripts/install-deps --windows")
  endif()
  add_library(tablora_libdeflate INTERFACE)
  target_include_directories(tablora_libdeflate INTERFACE ${LIBDEFLATE_INCLUDE_DIR})
  target_link_libraries(tablora_libdeflate INTERFACE ${LIBDEFLATE_LIBRARY})
else()
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(LIBDEFLATE REQUIRED IMPORTED_TARGET GLOBAL libdeflate)
  add_library(tablora_libdeflate INTERFACE)
  target_link_libraries(tablora_libdeflate INTERFACE PkgConfig::LIBDEFLATE)
endif()
