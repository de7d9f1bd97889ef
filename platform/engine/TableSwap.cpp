#include "platform/engine/TableSwap.h"

#include "platform/engine/EngineErrors.h"
#include "platform/engine/TableFamily.h"
#include "platform/engine/TableImpl.h"
#include "platform/engine/paradox/FamilyJournal.h"
#include "platform/engine/paradox/TableFiles.h"
#include "platform/engine/paradox/TableLocks.h"
#include "platform/rtl/FileSystem.h"
#include "platform/rtl/Messages.h"
#include "platform/rtl/Paths.h"
#include "platform/rtl/StringList.h"

#include <cerrno>

namespace engine {

namespace {

std::string ExtensionOf(const std::string& name) {
    const auto dot = name.rfind('.');
    return dot == std::string::npos ? std::string() : name.substr(dot);
}

bool IsIndexExtension(const std::string& ext) {
    const std::string upper = rtl::UpperAscii(ext);
    return upper == ".PX" || (upper.size() == 4 && (upper[1] == 'X' || upper[1] == 'Y'));
}

// The data file of `table` in `dir` (whose lock completed what killed runs left half done).
std::string ExistingDataFile(const TTable& table, const std::string& dir) {
    const std::string data = FindDataFile(dir, TableBaseName(table.TableName));
    if (data.empty())
        throw EDBEngineError(rtl::Format(rtl::TMsg::TableDoesNotExistDot, {table.TableName}), TEngineErrorKind::NotFound);
    paradox::RefuseAmbiguousTable(data);
    RefuseIfPendingElsewhere(data, &table);
    return data;
}

} // namespace

void ReplaceTable(const TTable& target, const TTable& replacement) {
    if (target.Active() || replacement.Active())
        throw EDBEngineError(rtl::Format(rtl::TMsg::EngineTableOpenCannotReplace,
                                         {target.Active() ? target.TableName : replacement.TableName}),
                             TEngineErrorKind::InvalidRequest);
    const std::string dir = TableDirectory(target);
    const std::string replacementDir = TableDirectory(replacement);
    // A directory that cannot be examined is reported as such, not as another directory.
    auto statusOf = [](const std::string& d) {
        rtl::TFileStatus st;
        if (rtl::FileSystem().Stat(d, st) != 0)
            throw EDBEngineError(rtl::Format(rtl::TMsg::FileCannotOpen, {d, rtl::SystemReason(errno)}),
                                 TEngineErrorKind::Io);
        return st;
    };
    const rtl::TFileStatus here = statusOf(dir), there = statusOf(replacementDir);
    if (!here.IsDirectory() || !here.SameFileAs(there))
        throw EDBEngineError(rtl::Format(rtl::TMsg::EngineReplacementElsewhere, {replacement.TableName, target.TableName}),
                             TEngineErrorKind::InvalidRequest);
    rtl::TAdvisoryLock dirLock = paradox::LockDirectoryForFamilies(dir);
    const std::string targetData = ExistingDataFile(target, dir);
    const std::string newData = ExistingDataFile(replacement, dir);
    rtl::TAdvisoryLock targetLock = paradox::LockTableForWriting(targetData);
    rtl::TAdvisoryLock newLock = paradox::LockTableForWriting(newData);

    const std::string targetBase = TableBaseName(rtl::ExtractFileName(targetData));
    const std::vector<std::string> oldFamily = FindTableFamily(dir, targetBase);
    const std::vector<std::string> newFamily = FindTableFamily(dir, TableBaseName(rtl::ExtractFileName(newData)));
    // Where each file of the replacement goes: over the target's file of its kind, so that no
    // old file of another spelling stays beside the new one.
    auto placeOf = [&](const std::string& path) {
        const std::string ext = ExtensionOf(rtl::ExtractFileName(path));
        for (const std::string& old : oldFamily)
            if (rtl::SameTextAscii(ExtensionOf(rtl::ExtractFileName(old)), ext)) return rtl::ExtractFileName(old);
        return targetBase + ext;
    };
    auto replaced = [&](const std::string& old) {
        const std::string ext = ExtensionOf(rtl::ExtractFileName(old));
        for (const std::string& path : newFamily)
            if (rtl::SameTextAscii(ExtensionOf(rtl::ExtractFileName(path)), ext)) return true;
        return false;
    };

    // Indexes go first: an old data file without them still reads whole, one beside them
    // and a new data file would not. Then what else of the old family has no successor, the
    // new companions, and the data file last.
    std::vector<paradox::TFamilyStep> steps;
    for (const bool indexes : {true, false})
        for (const std::string& old : oldFamily)
            if (old != targetData && !replaced(old) && IsIndexExtension(ExtensionOf(old)) == indexes)
                steps.push_back(paradox::UnlinkStep(old));
    for (const std::string& path : newFamily)
        if (path != newData) steps.push_back(paradox::RenameStep(path, placeOf(path)));
    steps.push_back(paradox::RenameStep(newData, targetData));
    paradox::RunFamilySteps(dir, rtl::ExtractFileName(targetData), steps, paradox::TStepFailure::Retry);
}

} // namespace engine
