// The flags of the file-system seam's Open and Lock under their POSIX names, on every
// platform: callers write O_RDONLY | O_NOFOLLOW and LOCK_EX | LOCK_NB whatever runs them.
#pragma once

#include <fcntl.h>

#ifdef _WIN32
// The C runtime of Windows knows only the access and creation flags; the Win32 file
// system reads these further bits itself. Handles are never inherited, so O_CLOEXEC is
// what the runtime calls O_NOINHERIT.
#ifndef O_CLOEXEC
#define O_CLOEXEC O_NOINHERIT
#endif
#define O_NOFOLLOW 0x100000
#define O_NONBLOCK 0x200000
#define O_DIRECTORY 0x400000
#define LOCK_SH 1
#define LOCK_EX 2
#define LOCK_NB 4
#define LOCK_UN 8
#else
#include <sys/file.h>
#endif
