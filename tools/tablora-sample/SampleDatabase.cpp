#include "tools/tablora-sample/SampleDatabase.h"

#include "platform/engine/AliasConfig.h"
#include "platform/engine/ParadoxTables.h"
#include "platform/engine/ParadoxWriters.h"
#include "platform/rtl/Error.h"
#include "platform/rtl/FileIo.h"
#include "platform/rtl/FileSystem.h"
#include "platform/rtl/Messages.h"
#include "platform/rtl/Paths.h"
#include "platform/rtl/Process.h"
#include "tools/tablora-sample/SampleCatalogue.h"
#include "tools/tablora-sample/SampleTableWriter.h"

#include <cerrno>
#include <optional>

namespace sample {

namespace {

// A scratch directory inside the database for the earlier state of a table; removed on
// every exit path.
class TScratchDir {
public:
    explicit TScratchDir(const std::string& parent) : path_(parent + "/.tablora-sample-scratch") {
        if (!rtl::RemoveDirectoryWithFiles(path_) || rtl::FileSystem().MakeDirectory(path_, 0777) != 0)
            throw rtl::EError("Cannot create the directory \"" + path_ + "\" (" + rtl::SystemReason(errno) + ")");
    }
    ~TScratchDir() { rtl::RemoveDirectoryWithFiles(path_); }
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

void WriteStaleIndexTable(const std::string& dataPath, const TSampleTable& table, const TSampleOptions& o,
                          const std::string& directory) {
    WriteSampleTable(dataPath, table, o.Seed, table.Rows);
    TScratchDir scratch(directory);
    const std::string earlier = scratch.Path() + "/" + rtl::ExtractFileName(dataPath);
    WriteSampleTable(earlier, table, o.Seed, table.Rows / 2);
    ReplaceWithStaleIndex(dataPath, engine::paradox::CompanionPath(earlier, ".px"));
}

} // namespace

namespace {

// The directory an alias of `config` points at, made absolute; "" when there is no such alias.
std::string PointsAt(const engine::TAliasConfig& config, const std::string& alias) {
    if (!config.HasAlias(alias)) return {};
    const std::string path = config.Params(alias).Value("PATH");
    return path.empty() ? std::string("-") : rtl::AbsolutePath(path);
}

// The path made absolute, without a trailing separator (but a root's).
std::string Normal(const std::string& path) {
    std::string p = rtl::AbsolutePath(path);
    while (p.size() > rtl::RootLength(p) && rtl::IsPathSeparator(p.back())) p.pop_back();
    return p;
}

bool SamePlace(const std::string& a, const std::string& b) {
    return Normal(a) == Normal(b) || (rtl::DirectoryExists(a) && rtl::DirectoryExists(b) && rtl::SameDirectory(a, b));
}

} // namespace

std::string AliasTakenElsewhere(const std::string& configPath, const std::string& alias, const std::string& directory) {
    const engine::TAliasConfig config = engine::TAliasConfig::Load(configPath);
    const std::string target = PointsAt(config, alias);
    if (target.empty() || SamePlace(target, directory)) return {};
    return rtl::Format(rtl::TMsg::SampleAliasTaken, {alias, configPath, config.Params(alias).Value("PATH")});
}

void RegisterAlias(const std::string& configPath, const std::string& alias, const std::string& directory) {
    if (!rtl::DirectoryExists(directory))
        throw rtl::EError("The directory \"" + directory + "\" does not exist; no alias points at it");
    if (const std::string taken = AliasTakenElsewhere(configPath, alias, directory); !taken.empty())
        throw rtl::EError(taken);
    engine::TAliasConfig config = engine::TAliasConfig::Load(configPath);
    // Already there: the file is not rewritten.
    if (!PointsAt(config, alias).empty()) return;
    rtl::TStringList params;
    params.Add("PATH=" + rtl::AbsolutePath(directory));
    params.Add("DEFAULT DRIVER=PARADOX");
    config.SetAlias(alias, params);
    const std::string dir = rtl::ExtractFileDir(configPath);
    if (!dir.empty() && !rtl::ForceDirectories(dir))
        throw rtl::EError("Cannot create the directory \"" + dir + "\" for the engine configuration");
    config.Save(configPath);
}

TSampleResult MakeSampleDatabase(const TSampleOptions& o, const std::function<void(const std::string&)>& progress) {
    if (o.Directory.empty()) throw rtl::EError("No directory given for the sample database");
    if (!rtl::ForceDirectories(o.Directory))
        throw rtl::EError("Cannot create the directory \"" + o.Directory + "\"");
    const std::string directory = rtl::AbsolutePath(o.Directory);
    const auto tables = SampleTables(o.CallRows);
    for (const auto& t : tables)
        if (!engine::paradox::FindDataFile(directory, t.Name).empty())
            throw rtl::EError("The directory \"" + directory + "\" already holds the table \"" + t.Name +
                              "\"; choose an empty directory");

    TSampleResult result;
    for (const auto& t : tables) {
        const std::string dataPath = directory + "/" + t.Name + ".DB";
        if (progress) progress(t.Name);
        if (o.Damage && t.Name == StaleIndexTable) {
            WriteStaleIndexTable(dataPath, t, o, directory);
        } else {
            std::optional<std::uint32_t> counter;
            if (o.Damage && t.Name == LaggingCounterTable) counter = static_cast<std::uint32_t>(t.Rows / 2);
            WriteSampleTable(dataPath, t, o.Seed, t.Rows, counter);
        }
        result.TableFiles.push_back(dataPath);
        if (!o.Damage) continue;
        if (t.Name == BrokenChainTable) BreakBlockChain(dataPath);
        if (t.Name == WrongCountTable) MiscountRecords(dataPath);
        if (t.Name == DamagedMemoTable) DamageMemoFile(dataPath);
        if (t.Name == EncryptedTable) MarkEncrypted(dataPath);
    }
    if (o.Damage) result.Damages = SampleDamages();

    result.ConfigPath = o.ConfigPath.empty() ? engine::TAliasConfig::DefaultPath() : o.ConfigPath;
    if (!o.Alias.empty()) RegisterAlias(result.ConfigPath, o.Alias, directory);
    return result;
}

} // namespace sample
