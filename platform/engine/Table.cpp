#include "platform/engine/EngineRegistry.h"
#include "platform/engine/TableFamily.h"
#include "platform/engine/TableImpl.h"
#include "platform/rtl/Paths.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

namespace engine {

std::string TableDirectory(const TTable& table) {
    if (table.TableName.find('/') != std::string::npos) return rtl::ExtractFileDir(table.TableName);
    TDatabase* db = Registry().FindDatabase(table.SessionName, table.DatabaseName);
    if (!db || !db->Connected())
        throw EDBEngineError("The database \"" + table.DatabaseName + "\" is not open.", EngineErrorKind::NotFound);
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
    return found.empty() ? rtl::WithTrailingSeparator(dir) + base + ".db" : found;
}

bool TTable::Exists() const {
    if (Active()) return true;
    if (TableName.empty()) return false;
    return !FindDataFile(TableDirectory(*this), TableBaseName(TableName)).empty();
}

void TTable::DeleteTable() {
    if (Active())
        throw EDBEngineError("The table \"" + TableName + "\" is open and cannot be deleted.",
                             EngineErrorKind::InvalidRequest);
    const std::string dir = TableDirectory(*this);
    const std::string base = TableBaseName(TableName);
    const std::string data = FindDataFile(dir, base);
    if (data.empty())
        throw EDBEngineError("The table \"" + TableName + "\" does not exist.", EngineErrorKind::NotFound);
    // The data file goes first: if it cannot be removed, the family stays complete.
    if (std::remove(data.c_str()) != 0)
        throw EDBEngineError("Cannot delete \"" + data + "\": " + std::strerror(errno), EngineErrorKind::Io);
    for (const std::string& path : FindTableFamily(dir, base)) std::remove(path.c_str());
}

void TTable::RenameTable(const std::string& newName) {
    if (Active())
        throw EDBEngineError("The table \"" + TableName + "\" is open and cannot be renamed.",
                             EngineErrorKind::InvalidRequest);
    const std::string dir = TableDirectory(*this);
    const std::string base = TableBaseName(TableName);
    const std::string newBase = TableBaseName(newName);
    if (FindDataFile(dir, base).empty())
        throw EDBEngineError("The table \"" + TableName + "\" does not exist.", EngineErrorKind::NotFound);
    if (!FindTableFamily(dir, newBase).empty())
        throw EDBEngineError("A table named \"" + newBase + "\" already exists.", EngineErrorKind::AlreadyExists);
    std::vector<std::pair<std::string, std::string>> done;
    for (const std::string& from : FindTableFamily(dir, base)) {
        const std::string name = rtl::ExtractFileName(from);
        const std::string to = rtl::WithTrailingSeparator(dir) + newBase + name.substr(name.rfind('.'));
        if (std::rename(from.c_str(), to.c_str()) != 0) {
            const std::string reason = std::strerror(errno);
            // Put back what was moved, so the table is never left split between two names.
            for (auto it = done.rbegin(); it != done.rend(); ++it) std::rename(it->second.c_str(), it->first.c_str());
            throw EDBEngineError("Cannot rename \"" + from + "\": " + reason, EngineErrorKind::Io);
        }
        done.emplace_back(from, to);
    }
    TableName = newName;
}

} // namespace engine
