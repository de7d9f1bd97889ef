#include "platform/engine/EngineRegistry.h"
#include "platform/engine/TableFamily.h"
#include "platform/engine/TableImpl.h"
#include "platform/engine/paradox/FamilyJournal.h"
#include "platform/engine/paradox/TableFiles.h"
#include "platform/engine/paradox/TableLocks.h"
#include "platform/rtl/Paths.h"
#include "platform/rtl/Messages.h"

#include <utility>

namespace engine {

std::string TableDirectory(const TTable& table) {
    if (table.TableName.find('/') != std::string::npos) return rtl::ExtractFileDir(table.TableName);
    TDatabase* db = Registry().FindDatabase(table.SessionName, table.DatabaseName);
    if (!db || !db->Connected())
        throw EDBEngineError(rtl::Format(rtl::TMsg::EngineDatabaseNotOpen, {table.DatabaseName}), TEngineErrorKind::NotFound);
    return db->Directory();
}

TTable::TTable() : impl_(std::make_unique<Impl>()) {}

TTable::~TTable() {
    try {
        Close();
    } catch (...) {
        // A destructor has nobody to report to; Close() reports failures when called directly.
    }
}

bool TTable::Active() const { return impl_->active; }

std::string TTable::DataFilePath() const {
    const std::string dir = TableDirectory(*this);
    const std::string base = TableBaseName(TableName);
    const std::string found = FindDataFile(dir, base);
    if (!found.empty()) return found;
    // A new table takes the extension as the name spells it (".DB" beside other ".DB" files).
    const std::string name = rtl::ExtractFileName(TableName);
    const std::string ext = name.size() > base.size() ? name.substr(base.size()) : std::string(".db");
    return rtl::WithTrailingSeparator(dir) + base + ext;
}

bool TTable::Exists() const {
    if (Active()) return true;
    if (TableName.empty()) return false;
    return !FindDataFile(TableDirectory(*this), TableBaseName(TableName)).empty();
}

void TTable::DeleteTable() {
    if (Active())
        throw EDBEngineError(rtl::Format(rtl::TMsg::TableOpenCannotDelete, {TableName}),
                             TEngineErrorKind::InvalidRequest);
    const std::string dir = TableDirectory(*this);
    const std::string base = TableBaseName(TableName);
    rtl::TAdvisoryLock dirLock = paradox::LockDirectoryForFamilies(dir);
    const std::string data = FindDataFile(dir, base);
    if (data.empty())
        throw EDBEngineError(rtl::Format(rtl::TMsg::TableDoesNotExistDot, {TableName}), TEngineErrorKind::NotFound);
    paradox::RefuseAmbiguousTable(data);
    RefuseIfPendingElsewhere(data, this);
    rtl::TAdvisoryLock tableLock = paradox::LockTableForWriting(data);
    // The data file goes first: if it cannot be removed, the family stays complete; once it
    // is gone, the journal sees the rest removed too.
    std::vector<paradox::TFamilyStep> steps{paradox::UnlinkStep(data)};
    for (const std::string& path : FindTableFamily(dir, base))
        if (path != data) steps.push_back(paradox::UnlinkStep(path));
    paradox::RunFamilySteps(dir, rtl::ExtractFileName(data), steps);
}

void TTable::RenameTable(const std::string& newName) {
    if (Active())
        throw EDBEngineError(rtl::Format(rtl::TMsg::TableOpenCannotRename, {TableName}),
                             TEngineErrorKind::InvalidRequest);
    const std::string dir = TableDirectory(*this);
    const std::string base = TableBaseName(TableName);
    const std::string newBase = TableBaseName(newName);
    rtl::TAdvisoryLock dirLock = paradox::LockDirectoryForFamilies(dir);
    const std::string data = FindDataFile(dir, base);
    if (data.empty())
        throw EDBEngineError(rtl::Format(rtl::TMsg::TableDoesNotExistDot, {TableName}), TEngineErrorKind::NotFound);
    if (!FindTableFamily(dir, newBase).empty())
        throw EDBEngineError(rtl::Format(rtl::TMsg::TableNamedExists, {newBase}), TEngineErrorKind::AlreadyExists);
    paradox::RefuseAmbiguousTable(data);
    RefuseIfPendingElsewhere(data, this);
    rtl::TAdvisoryLock tableLock = paradox::LockTableForWriting(data);
    // Companions first, the data file last: until it moves, the table is found under its old
    // name; a crash in between is completed by the journal at the next write.
    std::vector<paradox::TFamilyStep> steps;
    auto renamed = [&](const std::string& path) {
        const std::string name = rtl::ExtractFileName(path);
        return paradox::RenameStep(name, newBase + name.substr(name.rfind('.')));
    };
    for (const std::string& path : FindTableFamily(dir, base))
        if (path != data) steps.push_back(renamed(path));
    steps.push_back(renamed(data));
    paradox::RunFamilySteps(dir, rtl::ExtractFileName(data), steps, paradox::TStepFailure::Undo);
    TableName = newName;
}

} // namespace engine
