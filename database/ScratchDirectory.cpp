#include "database/ScratchDirectory.h"

#include "platform/rtl/FileIo.h"
#include "platform/rtl/FileSystem.h"
#include "platform/rtl/Paths.h"
#include "platform/rtl/Process.h"

namespace database {

TScratchDirectory::TScratchDirectory(const std::string& prefix) {
    const std::string base = rtl::WithTrailingSeparator(rtl::TemporaryDirectory()) + prefix + rtl::ProcessTag();
    for (int n = 0; n < 100 && path_.empty(); ++n)
        if (rtl::FileSystem().MakeDirectory(base + std::to_string(n), 0700) == 0) path_ = base + std::to_string(n);
}

TScratchDirectory::~TScratchDirectory() {
    if (!path_.empty()) rtl::RemoveDirectoryWithFiles(path_);
}

} // namespace database
