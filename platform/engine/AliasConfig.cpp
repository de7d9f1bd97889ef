#include "platform/engine/AliasConfig.h"

#include "platform/engine/EngineErrors.h"
#include "platform/rtl/AppLocations.h"
#include "platform/rtl/FileIo.h"
#include "platform/rtl/FileSystem.h"
#include "platform/rtl/Paths.h"
#include "platform/rtl/Messages.h"
#include "platform/rtl/Process.h"

#include <cerrno>

namespace engine {

std::string TAliasConfig::DefaultPath() {
    if (const std::string env = rtl::EnvironmentVariable(EngineConfigEnvVar); !env.empty()) return env;
    const std::string dir = rtl::UserConfigDirectory();
    return rtl::WithTrailingSeparator(dir.empty() ? std::string("./tablora") : dir) + "engine.cfg";
}

TAliasConfig TAliasConfig::Load(const std::string& path) {
    TAliasConfig config;
    // A configuration whose status cannot be read is not an empty one: saved over, it would
    // lose every alias.
    rtl::TFileStatus st;
    if (rtl::FileSystem().Stat(path, st) != 0 && errno != ENOENT)
        throw EDBEngineError(rtl::Format(rtl::TMsg::EngineConfigCannotRead, {path}), TEngineErrorKind::Io);
    if (!st.IsRegular()) return config;
    std::string text;
    if (!rtl::ReadWholeFile(path, text))
        throw EDBEngineError(rtl::Format(rtl::TMsg::EngineConfigCannotRead, {path}), TEngineErrorKind::Io);
    rtl::TStringList lines;
    lines.SetText(text);
    TAlias* current = nullptr;
    for (const std::string& line : lines) {
        const std::string trimmed = rtl::TrimBlanks(line);
        if (trimmed.empty() || trimmed[0] == ';' || trimmed[0] == '#') continue;
        if (trimmed.front() == '[' && trimmed.back() == ']') {
            const std::string name = rtl::TrimBlanks(std::string_view(trimmed).substr(1, trimmed.size() - 2));
            config.aliases_.push_back(TAlias{name, {}});
            current = &config.aliases_.back();
            continue;
        }
        // Parameters before the first section belong to no alias and are ignored.
        if (current && trimmed.find('=') != std::string::npos) {
            const auto eq = trimmed.find('=');
            current->params.SetValue(rtl::TrimBlanks(std::string_view(trimmed).substr(0, eq)),
                                     rtl::TrimBlanks(std::string_view(trimmed).substr(eq + 1)));
        }
    }
    return config;
}

void TAliasConfig::Save(const std::string& path) const {
    const std::string dir = rtl::ExtractFileDir(path);
    if (!dir.empty() && !rtl::ForceDirectories(dir))
        throw EDBEngineError(rtl::Format(rtl::TMsg::EngineConfigCannotCreateDirectory, {dir}), TEngineErrorKind::Io);
    std::string text;
    for (const TAlias& a : aliases_) {
        text += '[' + a.name + "]\n";
        for (const std::string& p : a.params) text += p + '\n';
        text += '\n';
    }
    // Written beside the old file, flushed and renamed over it: a failure or a crash at any
    // step leaves the old configuration whole.
    rtl::TFileSystem& fs = rtl::FileSystem();
    std::string temp;
    const int fd = rtl::CreateUniqueFile(path + ".", ".tmp", 0666, temp);
    bool written = fd >= 0 && rtl::WriteAll(fd, text.data(), text.size()) && fs.Sync(fd) == 0;
    if (fd >= 0) written = fs.Close(fd) == 0 && written;
    const bool renamed = written && fs.Rename(temp, path) == 0;
    if (fd >= 0 && !renamed) fs.Unlink(temp);
    if (!renamed || fs.SyncDirectory(dir.empty() ? "." : dir) != 0)
        throw EDBEngineError(rtl::Format(rtl::TMsg::EngineConfigCannotWrite, {path}), TEngineErrorKind::Io);
}

const TAliasConfig::TAlias* TAliasConfig::Find(const std::string& name) const {
    for (const TAlias& a : aliases_)
        if (rtl::SameTextAscii(a.name, name)) return &a;
    return nullptr;
}

std::vector<std::string> TAliasConfig::AliasNames() const {
    std::vector<std::string> names;
    for (const TAlias& a : aliases_) names.push_back(a.name);
    return names;
}

bool TAliasConfig::HasAlias(const std::string& name) const { return Find(name) != nullptr; }

rtl::TStringList TAliasConfig::Params(const std::string& name) const {
    const TAlias* a = Find(name);
    if (!a) throw EDBEngineError(rtl::Format(rtl::TMsg::EngineUnknownAlias, {name}), TEngineErrorKind::NotFound);
    return a->params;
}

void TAliasConfig::SetAlias(const std::string& name, const rtl::TStringList& params) {
    for (TAlias& a : aliases_)
        if (rtl::SameTextAscii(a.name, name)) {
            a.params = params;
            return;
        }
    aliases_.push_back(TAlias{name, params});
}

bool TAliasConfig::RemoveAlias(const std::string& name) {
    for (auto it = aliases_.begin(); it != aliases_.end(); ++it)
        if (rtl::SameTextAscii(it->name, name)) {
            aliases_.erase(it);
            return true;
        }
    return false;
}

} // namespace engine
