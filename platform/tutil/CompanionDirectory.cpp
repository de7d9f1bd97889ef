#include "platform/tutil/CompanionDirectory.h"

#include "platform/rtl/Clock.h"
#include "platform/rtl/FileSystem.h"
#include "platform/rtl/Paths.h"
#include "platform/tutil/RebuildReport.h"
#include "platform/tutil/UtilityFailure.h"
#include "platform/rtl/Messages.h"

#include <cerrno>
#include <cstring>

namespace tutil {

namespace {

[[noreturn]] void Fail(rtl::TMsg what, const std::string& path) {
    throw TUtilFailure(TUERR_COMPANIONDIR, rtl::Format(what, {path, rtl::SystemReason(errno)}));
}

} // namespace

std::string CompanionDirectoryName(const std::string& tableBase, std::time_t when) {
    const std::tm local = rtl::LocalTime(when);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H%M%S", &local);
    return tableBase + " " + stamp;
}

std::string MakeCompanionDirectory(const std::string& databaseDir, const std::string& tableBase, std::time_t when) {
    rtl::TFileSystem& fs = rtl::FileSystem();
    const std::string root = rtl::WithTrailingSeparator(databaseDir) + CompanionRootName;
    if (fs.MakeDirectory(root, 0755) != 0) {
        if (errno != EEXIST) Fail(rtl::TMsg::DetailCannotCreate, root);
        if (!rtl::DirectoryExists(root)) {
            errno = ENOTDIR;
            Fail(rtl::TMsg::DetailCannotUse, root);
        }
    } else if (fs.SyncDirectory(databaseDir.empty() ? "." : databaseDir) != 0) {
        Fail(rtl::TMsg::DetailCannotFlush, databaseDir);
    }
    const std::string base = rtl::WithTrailingSeparator(root) + CompanionDirectoryName(tableBase, when);
    for (int n = 1; n < 10000; ++n) {
        const std::string dir = n == 1 ? base : base + " (" + std::to_string(n) + ")";
        if (fs.MakeDirectory(dir, 0755) == 0) {
            if (fs.SyncDirectory(root) != 0) Fail(rtl::TMsg::DetailCannotFlush, root);
            return dir;
        }
        if (errno != EEXIST) Fail(rtl::TMsg::DetailCannotCreate, dir);
    }
    errno = EEXIST;
    Fail(rtl::TMsg::DetailNoFreeName, base);
}

} // namespace tutil
