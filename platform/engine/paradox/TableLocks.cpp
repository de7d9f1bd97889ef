#include "platform/engine/paradox/TableLocks.h"

#include "platform/engine/EngineErrors.h"
#include "platform/engine/InterruptedRuns.h"
#include "platform/engine/paradox/FamilyJournal.h"
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
    rtl::TAdvisoryLock lock = Acquire(dataPath, rtl::Format(rtl::TMsg::LockObjectTable, {rtl::ExtractFileName(dataPath)}));
    for (const TInterruptedChange& change :
         CompleteInterruptedChanges(rtl::ExtractFileDir(dataPath), rtl::ExtractFileName(dataPath)))
        if (change.State == TInterruptedChange::TState::Left)
            throw EDBEngineError(rtl::Format(rtl::TMsg::TableChangeInterrupted,
                                             {TableOfFileName(rtl::ExtractFileName(dataPath)), change.Reason}),
                                 EngineErrorKind::InvalidRequest);
    return lock;
}

rtl::TAdvisoryLock LockDirectoryForFamilies(const std::string& dir) {
    rtl::TAdvisoryLock lock =
        Acquire(dir.empty() ? std::string(".") : dir, rtl::Format(rtl::TMsg::LockObjectDatabaseDirectory, {dir}));
    CompleteInterruptedChanges(dir);
    return lock;
}

std::vector<std::string> FindParadoxLockFiles(const std::string& dir) {
    std::vector<std::string> found;
    for (const auto& name : rtl::ListFiles(dir, "*.lck")) found.push_back(name);
    for (const auto& name : rtl::ListFiles(dir, "pdoxusrs.net")) found.push_back(name);
    return found;
}

} // namespace engine::paradox
