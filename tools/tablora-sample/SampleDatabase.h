// Makes the demo billing database: every table in one directory, optionally with one fault
// of each kind the program repairs, and, when one is named, an engine alias pointing at the
// directory.
#pragma once

#include "tools/tablora-sample/SampleDamage.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace sample {

struct TSampleOptions {
    std::string Directory;
    std::uint64_t CallRows = 100000;
    std::uint64_t Seed = 1;
    bool Damage = false;
    std::string Alias;       // the alias to register; empty: none
    std::string ConfigPath;  // engine configuration file; empty: the engine's own
};

struct TSampleResult {
    std::vector<std::string> TableFiles;  // data files written, in catalogue order
    std::vector<TDamage> Damages;         // faults left (with `Damage`)
    std::string ConfigPath;               // where the alias was registered
};

// Raises rtl::EError (or EDBEngineError) with a readable message when the directory cannot be
// made or already holds one of the tables: an existing table is never overwritten.
// `progress` is told each table's name before it is written.
TSampleResult MakeSampleDatabase(const TSampleOptions& options,
                                 const std::function<void(const std::string&)>& progress = {});

// Why `alias` may not be pointed at `directory` in the configuration file `configPath`: it
// exists there and points at another directory (someone's database). "" when it may.
std::string AliasTakenElsewhere(const std::string& configPath, const std::string& alias, const std::string& directory);

// Registers `alias` at the existing `directory` (made absolute) in the configuration file
// `configPath`, keeping its other aliases. An alias that points there already leaves the file
// byte for byte as it was; one that points elsewhere is refused (rtl::EError), never repointed.
void RegisterAlias(const std::string& configPath, const std::string& alias, const std::string& directory);

} // namespace sample
