#include "platform/engine/AliasConfig.h"

#include "platform/engine/EngineErrors.h"
#include "platform/rtl/Paths.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace engine {

std::string AliasConfig::DefaultPath() {
    if (const char* env = std::getenv(EngineConfigEnvVar); env && *env) return env;
    std::string base;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg)
        base = xdg;
    else if (const char* home = std::getenv("HOME"); home && *home)
        base = std::string(home) + "/.config";
    else
        base = ".";
    return base + "/tablora/engine.cfg";
}

AliasConfig AliasConfig::Load(const std::string& path) {
    AliasConfig config;
    if (!rtl::FileExists(path)) return config;
    std::ifstream in(path, std::ios::binary);
    if (!in) throw EDBEngineError("Cannot read the engine configuration \"" + path + "\".", EngineErrorKind::Io);
    std::string line;
    Alias* current = nullptr;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const std::string trimmed = rtl::TrimBlanks(line);
        if (trimmed.empty() || trimmed[0] == ';' || trimmed[0] == '#') continue;
        if (trimmed.front() == '[' && trimmed.back() == ']') {
            const std::string name = rtl::TrimBlanks(std::string_view(trimmed).substr(1, trimmed.size() - 2));
            config.aliases_.push_back(Alias{name, {}});
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

void AliasConfig::Save(const std::string& path) const {
    const std::string dir = rtl::ExtractFileDir(path);
    if (!dir.empty() && !rtl::ForceDirectories(dir))
        throw EDBEngineError("Cannot create the directory \"" + dir + "\".", EngineErrorKind::Io);
    const std::string temp = path + ".tmp";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        for (const Alias& a : aliases_) {
            out << '[' << a.name << "]\n";
            for (const std::string& p : a.params) out << p << '\n';
            out << '\n';
        }
        out.flush();
        if (!out) {
            std::remove(temp.c_str());
            throw EDBEngineError("Cannot write the engine configuration \"" + path + "\".", EngineErrorKind::Io);
        }
    }
    if (std::rename(temp.c_str(), path.c_str()) != 0) {
        std::remove(temp.c_str());
        throw EDBEngineError("Cannot write the engine configuration \"" + path + "\".", EngineErrorKind::Io);
    }
}

const AliasConfig::Alias* AliasConfig::Find(const std::string& name) const {
    for (const Alias& a : aliases_)
        if (rtl::SameTextAscii(a.name, name)) return &a;
    return nullptr;
}

std::vector<std::string> AliasConfig::AliasNames() const {
    std::vector<std::string> names;
    for (const Alias& a : aliases_) names.push_back(a.name);
    return names;
}

bool AliasConfig::HasAlias(const std::string& name) const { return Find(name) != nullptr; }

rtl::TStringList AliasConfig::Params(const std::string& name) const {
    const Alias* a = Find(name);
    if (!a) throw EDBEngineError("Unknown database alias \"" + name + "\".", EngineErrorKind::NotFound);
    return a->params;
}

void AliasConfig::SetAlias(const std::string& name, const rtl::TStringList& params) {
    for (Alias& a : aliases_)
        if (rtl::SameTextAscii(a.name, name)) {
            a.params = params;
            return;
        }
    aliases_.push_back(Alias{name, params});
}

bool AliasConfig::RemoveAlias(const std::string& name) {
    for (auto it = aliases_.begin(); it != aliases_.end(); ++it)
        if (rtl::SameTextAscii(it->name, name)) {
            aliases_.erase(it);
            return true;
        }
    return false;
}

} // namespace engine
