#include "database/ScratchDirectory.h"

#include "platform/rtl/FileIo.h"
#include "platform/rtl/FileSystem.h"
#include "platform/rtl/Paths.h"
#include "platform/rtl/Process.h"

#include <vector>

namespace database {

TScratchDirectory::TScratchDirectory(const std::string& prefix) {
    const std::string base = rtl::WithTrailingSeparator(rtl::TemporaryDirectory()) + prefix + rtl::ProcessTag();
    for (int n = 0; n < 100 && path_.empty(); ++n)
        if (rtl::FileSystem().MakeDirectory(base + std::to_string(n), 0700) == 0) path_ = base + std::to_string(n);
}

TScratchDirectory::~TScratchDirectory() {
    if (path_.empty()) return;
    // Its users keep their files one level down (unpacked tables, spilled rows): those
    // directories go first, or the directory itself could not.
    rtl::TFileSystem& fs = rtl::FileSystem();
    std::vector<rtl::TDirEntry> entries;
    if (fs.ListDirectory(path_, entries) == 0)
        for (const rtl::TDirEntry& entry : entries) {
            const std::string sub = rtl::WithTrailingSeparator(path_) + entry.Name;
            rtl::TFileStatus st;
            if (fs.Lstat(sub, st) == 0 && st.IsDirectory()) rtl::RemoveDirectoryWithFiles(sub);
        }
    rtl::RemoveDirectoryWithFiles(path_);
}

} // namespace database
