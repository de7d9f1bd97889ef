// <windows.h> as the Win32 files of the platform layer include it: without min/max macros,
// and without the A/W macros that would rename our own functions of the same names
// (TFileSystem::RemoveDirectory, rtl::DeleteFile, rtl::SetEnvironmentVariable ...). The
// Win32 calls themselves are named with their W suffix.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#undef CopyFile
#undef CreateDirectory
#undef DeleteFile
#undef GetCurrentDirectory
#undef MoveFile
#undef RemoveDirectory
#undef SetCurrentDirectory
#undef SetEnvironmentVariable
