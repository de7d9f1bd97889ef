#include "platform/engine/paradox/TableLocks.h"

#include "platform/engine/EngineErrors.h"
#include "platform/rtl/FileListing.h"
#include "platform/rtl/Paths.h"
#include "platform/rtl/StringList.h"
#include "platform/rtl/Messages.h"

namespace engine::paradox {

namespace {

rtl::TAdvisoryLock Acquire(const std::string& path, const std::string& what) {
    try {
        return rtl::TAdvisoryLock::Acquire(path, rtl::LockKind::Exclusive, what);
    } catch (const rtl::ELockBusy& e) {
        throw EDBEngineError(e.Message(), EngineErrorKind::Locked);
    } catch (const rtl::EError& e) {
        throw EDBEngineError(e.Message(), EngineErrorKind::Io);
    }
}

} // namespace

rtl::TAdvisoryLock LockTableForWriting(const std::string& dataPath) {
    return Acquire(dataPath, rtl::Format(rtl::TMsg::LockObjectTable, {rtl::ExtractFileName(dataPath)}));
}

rtl::TAdvisoryLock LockDirectoryForFamilies(const std::string& dir) {
    return Acquire(dir.empty() ? std::string(".") : dir, rtl::Format(rtl::TMsg::LockObjectDatabaseDirectory, {dir}));
}

std::vector<std::string> FindParadoxLockFiles(const std::string& dir) {
    std::vector<std::string> found;
    for (const auto& name : rtl::ListFiles(dir, "*.lck")) found.push_back(name);
    for (const auto& name : rtl::ListFiles(dir, "pdoxusrs.net")) found.push_back(name);
    return found;
}

} // namespace engine::paradox
