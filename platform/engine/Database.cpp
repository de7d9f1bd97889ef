#include "platform/engine/AliasConfig.h"
#include "platform/engine/EngineObjects.h"
#include "platform/engine/EngineRegistry.h"
#include "platform/engine/TableFamily.h"
#include "platform/engine/paradox/FamilyJournal.h"
#include "platform/rtl/FileListing.h"
#include "platform/rtl/Paths.h"
#include "platform/rtl/Messages.h"

#include <algorithm>

namespace engine {

TEngineRegistry& Registry() {
    static TEngineRegistry registry;
    return registry;
}

std::vector<TDatabase*> TEngineRegistry::DatabasesOf(const std::string& sessionName) const {
    std::vector<TDatabase*> result;
    for (TDatabase* db : databases)
        if (rtl::SameTextAscii(db->SessionName, sessionName)) result.push_back(db);
    return result;
}

TDatabase* TEngineRegistry::FindDatabase(const std::string& sessionName, const std::string& databaseName) const {
    for (TDatabase* db : databases)
        if (rtl::SameTextAscii(db->DatabaseName, databaseName) &&
            (sessionName.empty() || rtl::SameTextAscii(db->SessionName, sessionName)))
            return db;
    return nullptr;
}

TDatabase::TDatabase() = default;

TDatabase::~TDatabase() { Close(); }

void TDatabase::Open() {
    if (connected_) return;
    if (!SessionName.empty()) {
        TSession* session = TSession::Find(SessionName);
        if (!session || !session->Active())
            throw EDBEngineError(rtl::Format(rtl::TMsg::EngineSessionInactive, {SessionName}), TEngineErrorKind::NotFound);
    }
    std::string path = Params.Value("PATH");
    if (!AliasName.empty()) {
        const TAliasConfig config = TAliasConfig::Load();
        if (!config.HasAlias(AliasName))
            throw EDBEngineError(rtl::Format(rtl::TMsg::EngineUnknownAlias, {AliasName}), TEngineErrorKind::NotFound);
        if (path.empty()) path = config.Params(AliasName).Value("PATH");
        // An empty PATH would silently mean the current directory: refuse it.
        if (path.empty())
            throw EDBEngineError(rtl::Format(rtl::TMsg::EngineAliasWithoutPath, {AliasName}),
                                 TEngineErrorKind::NotFound);
    } else if (path.empty()) {
        throw EDBEngineError(rtl::Format(rtl::TMsg::EngineDatabaseWithoutPath, {DatabaseName}), TEngineErrorKind::NotFound);
    }
    if (const std::string why = rtl::WhyNotADirectory(path); !why.empty())
        throw EDBEngineError(rtl::Format(rtl::TMsg::EngineDatabaseDirectory, {path, why}), TEngineErrorKind::NotFound);
    if (TDatabase* other = Registry().FindDatabase(SessionName, DatabaseName); other && other != this)
        throw EDBEngineError(rtl::Format(rtl::TMsg::EngineDatabaseAlreadyOpen, {DatabaseName}),
                             TEngineErrorKind::AlreadyExists);
    // Keep what the caller reads back as the connection's directory.
    Params.SetValue("PATH", path);
    directory_ = path.size() > 1 && path.back() == '/' ? path.substr(0, path.size() - 1) : path;
    // Changes of table families that a killed run left half done are left to the runs that
    // write (they complete them when they lock the directory or a table); opening only reads,
    // and says that the tables are read as they stand.
    paradox::ReportInterruptedChanges(directory_);
    Registry().databases.push_back(this);
    connected_ = true;
}

void TDatabase::Close() {
    if (!connected_) return;
    std::erase(Registry().databases, this);
    connected_ = false;
}

std::string TDatabase::Directory() const { return directory_; }

void TDatabase::GetTableNames(rtl::TStringList& list, bool withExtensions) const {
    if (!connected_)
        throw EDBEngineError(rtl::Format(rtl::TMsg::EngineDatabaseNotConnected, {DatabaseName}), TEngineErrorKind::InvalidRequest);
    list.Clear();
    for (const std::string& name : rtl::ListFiles(directory_, "*.db"))
        if (!IsWorkFileName(name)) list.Add(withExtensions ? name : name.substr(0, name.size() - 3));
}

} // namespace engine
