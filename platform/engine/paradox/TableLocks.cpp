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
        return rtl::TAdvisoryLock::Acquire(path, rtl::TLockKind::Exclusive, what);
    } catch (const rtl::ELockBusy& e) {
        throw EDBEngineError(e.Message(), TEngineErrorKind::Locked);
    } catch (const rtl::EError& e) {
        throw EDBEngineError(e.Message(), TEngineErrorKind::Io);
    }
}

// Every lock for writing: the object's lock, then the interrupted changes it covers completed.
std::vector<TInterruptedChange> LockAndComplete(rtl::TAdvisoryLock& lock, const std::string& lockPath,
                                                const std::string& what, const std::string& dir,
                                                const std::string& dataFileName) {
    lock = Acquire(lockPath, what);
    return CompleteInterruptedChanges(dir, dataFileName);
}

} // namespace

rtl::TAdvisoryLock LockTableForWriting(const std::string& dataPath) {
    rtl::TAdvisoryLock lock;
    const std::string dataFile = rtl::ExtractFileName(dataPath);
    for (const TInterruptedChange& change :
         LockAndComplete(lock, dataPath, rtl::Format(rtl::TMsg::LockObjectTable, {dataFile}),
                         rtl::ExtractFileDir(dataPath), dataFile))
        if (change.State == TInterruptedChange::TState::Left)
            throw EDBEngineError(rtl::Format(rtl::TMsg::TableChangeInterrupted, {TableOfFileName(dataFile), change.Reason}),
                                 TEngineErrorKind::InvalidRequest);
    return lock;
}

TDirectoryForWriting OpenDirectoryForWriting(const std::string& dir, const std::string& dataFileName) {
    TDirectoryForWriting opened;
    opened.Interrupted = LockAndComplete(opened.Lock, dir.empty() ? std::string(".") : dir,
                                         rtl::Format(rtl::TMsg::LockObjectDatabaseDirectory, {dir}), dir, dataFileName);
    return opened;
}

rtl::TAdvisoryLock LockDirectoryForFamilies(const std::string& dir) {
    return OpenDirectoryForWriting(dir).Lock;
}

std::vector<std::string> FindParadoxLockFiles(const std::string& dir) {
    std::vector<std::string> found;
    for (const auto& name : rtl::ListFiles(dir, "*.lck")) found.push_back(name);
    for (const auto& name : rtl::ListFiles(dir, "pdoxusrs.net")) found.push_back(name);
    return found;
}

} // namespace engine::paradox
