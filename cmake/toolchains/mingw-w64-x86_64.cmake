# Cross-compiles for 64-bit Windows with Debian's MinGW-w64 (the posix-thread variant, which
# std::thread and std::mutex need). The programs link libgcc, libstdc++ and winpthread
# statically, so the .exe files run without any MinGW DLL beside them.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(TABLORA_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${TABLORA_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TABLORA_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${TABLORA_MINGW_TRIPLE}-windres)

# Libraries built for Windows by scripts/install-deps --windows and scripts/windows-qt live
# under build/; the MinGW sysroot holds Debian's zlib for MinGW.
get_filename_component(_tablora_root "${CMAKE_CURRENT_LIST_DIR}/../.." ABSOLUTE)
set(CMAKE_FIND_ROOT_PATH
  /usr/${TABLORA_MINGW_TRIPLE}
  ${_tablora_root}/build/windows-deps/prefix
  ${_tablora_root}/build/windows-qt/prefix)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Qt for Windows finds its host tools (moc, uic, rcc) through packages of the host.
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)

# pkg-config sees only libraries built for Windows, never the host's.
set(ENV{PKG_CONFIG_LIBDIR} "${_tablora_root}/build/windows-deps/prefix/lib/pkgconfig:/usr/${TABLORA_MINGW_TRIPLE}/lib/pkgconfig")
set(ENV{PKG_CONFIG_PATH} "")

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++")

# ctest and gtest_discover_tests run the .exe files through wine.
set(CMAKE_CROSSCOMPILING_EMULATOR ${_tablora_root}/scripts/wine-run)
