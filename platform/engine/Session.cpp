#include "platform/engine/AliasConfig.h"
#include "platform/engine/EngineObjects.h"
#include "platform/engine/EngineRegistry.h"
#include "platform/rtl/FileSystem.h"
#include "platform/rtl/Paths.h"
#include "platform/rtl/Messages.h"

#include <cerrno>

namespace engine {

struct TSession::Impl {};

TSession::TSession() : impl_(std::make_unique<Impl>()) {}

TSession::~TSession() { Close(); }

void TSession::Open() {
    if (active_) return;
    if (TSession* other = Find(SessionName); other && other != this)
        throw EDBEngineError(rtl::Format(rtl::TMsg::EngineSessionActive, {SessionName}),
                             TEngineErrorKind::AlreadyExists);
    rtl::TFileStatus st;
    if (!PrivateDir.empty() && rtl::FileSystem().Stat(PrivateDir, st) != 0 && errno != ENOENT && errno != ENOTDIR)
        throw EDBEngineError(rtl::Format(rtl::TMsg::FileCannotOpen, {PrivateDir, rtl::SystemReason(errno)}),
                             TEngineErrorKind::Io);
    if (!PrivateDir.empty() && !st.IsDirectory())
        throw EDBEngineError(rtl::Format(rtl::TMsg::EnginePrivateDirMissing, {PrivateDir}),
                             TEngineErrorKind::NotFound);
    Registry().sessions.push_back(this);
    active_ = true;
}

void TSession::Close() {
    if (!active_) return;
    for (TDatabase* db : Registry().DatabasesOf(SessionName)) db->Close();
    std::erase(Registry().sessions, this);
    active_ = false;
}

void TSession::GetAliasNames(rtl::TStringList& list) const {
    list.Clear();
    for (const std::string& name : TAliasConfig::Load().AliasNames()) list.Add(name);
}

void TSession::GetAliasParams(const std::string& alias, rtl::TStringList& list) const {
    list = TAliasConfig::Load().Params(alias);
}

TSession* TSession::Find(const std::string& name) {
    for (TSession* s : Registry().sessions)
        if (rtl::SameTextAscii(s->SessionName, name)) return s;
    return nullptr;
}

TDatabase* TSession::FindDatabase(const std::string& databaseName) const {
    for (TDatabase* db : Registry().DatabasesOf(SessionName))
        if (rtl::SameTextAscii(db->DatabaseName, databaseName)) return db;
    return nullptr;
}

} // namespace engine
