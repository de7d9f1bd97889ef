// The file system a process starts on, chosen by the build: the real one in a shipped
// program; in a build that carries the fault injector, the one TABLORA_FS_FAULT asks for.
// Only FileSystem.cpp asks, once.
#pragma once

namespace rtl {

class TFileSystem;

// nullptr for the real file system; not owned.
TFileSystem* StartingFileSystem();

}  // namespace rtl
