// The engine's own configuration: named aliases, each a set of name=value parameters with
// at least PATH. Kept in a small INI-style text file:
//
//   [Orvan]
//   PATH=/srv/orvan/data
//   DEFAULT DRIVER=PARADOX
//
// Its location is $TABLORA_ENGINE_CONFIG when set, else $XDG_CONFIG_HOME/tablora/engine.cfg
// (~/.config/tablora/engine.cfg). A missing file means "no aliases".
#pragma once

#include "platform/rtl/StringList.h"

#include <string>
#include <vector>

namespace engine {

inline constexpr const char* EngineConfigEnvVar = "TABLORA_ENGINE_CONFIG";

class TAliasConfig {
public:
    // The configuration file in use (see above).
    static std::string DefaultPath();

    // Reads `path`; a missing file gives an empty configuration, an unreadable one raises.
    static TAliasConfig Load(const std::string& path = DefaultPath());
    // Writes the whole file through a temporary sibling and a rename.
    void Save(const std::string& path = DefaultPath()) const;

    std::vector<std::string> AliasNames() const;           // in file order
    bool HasAlias(const std::string& name) const;          // ASCII case ignored
    rtl::TStringList Params(const std::string& name) const; // name=value lines; raises for an unknown alias
    void SetAlias(const std::string& name, const rtl::TStringList& params);
    bool RemoveAlias(const std::string& name);

private:
    struct TAlias {
        std::string name;
        rtl::TStringList params;
    };
    std::vector<TAlias> aliases_;
    const TAlias* Find(const std::string& name) const;
};

} // namespace engine
