// Builds without the fault injector always start on the real file system.
#include "platform/rtl/StartingFileSystem.h"

namespace rtl {

TFileSystem* StartingFileSystem() { return nullptr; }

}  // namespace rtl
