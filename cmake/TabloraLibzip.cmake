# libzip as one target, tablora_libzip, for every platform. Linux uses Debian's libzip-dev;
# Windows the static build that scripts/install-deps --windows makes from Debian's source
# (build/windows-deps/prefix), linked with Debian's static zlib for MinGW. Both link zlib
# itself as well: the packer deflates on threads of its own.
if(WIN32)
  find_package(libzip CONFIG QUIET)
  if(NOT libzip_FOUND)
    message(FATAL_ERROR "libzip for Windows is missing: run scripts/install-deps --windows")
  endif()
  set(ZLIB_USE_STATIC_LIBS ON)
  find_package(ZLIB REQUIRED)
  add_library(tablora_libzip INTERFACE)
  target_link_libraries(tablora_libzip INTERFACE libzip::zip ZLIB::ZLIB)
else()
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(LIBZIP REQUIRED IMPORTED_TARGET GLOBAL libzip)
  # zlib directly too: the packer deflates on its own threads.
  find_package(ZLIB REQUIRED)
  add_library(tablora_libzip INTERFACE)
  target_link_libraries(tablora_libzip INTERFACE PkgConfig::LIBZIP ZLIB::ZLIB)
endif()
