#include "platform/engine/AliasConfig.h"
#include "platform/engine/EngineObjects.h"
#include "platform/engine/ParadoxTables.h"
#include "platform/rtl/Error.h"
#include "tests/support/TempDir.h"
#include "tools/tablora-sample/SampleCatalogue.h"
#include "tools/tablora-sample/SampleDatabase.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <set>

using namespace engine;
using namespace engine::paradox;

namespace {

constexpr std::uint64_t callRows = 700;  // several blocks, still fast

class ScopedEngineConfig {
public:
    explicit ScopedEngineConfig(const std::string& path) { ::setenv(EngineConfigEnvVar, path.c_str(), 1); }
    ~ScopedEngineConfig() { ::unsetenv(EngineConfigEnvVar); }
};

sample::TSampleResult Make(const std::string& dir, const std::string& config, bool damage, std::uint64_t seed = 1) {
    sample::TSampleOptions o;
    o.Directory = dir;
    o.CallRows = callRows;
    o.Seed = seed;
    o.Damage = damage;
    o.ConfigPath = config;
    o.Alias = "Orvan";
    return sample::MakeSampleDatabase(o);
}

// The database reached the way the program reaches it: through the alias in the engine's
// configuration file.
class TAliasDatabase {
public:
    TAliasDatabase(const std::string& configPath, const std::string& alias) : config_(configPath) {
        session_.SessionName = "SampleSession";
        session_.Open();
        db_.DatabaseName = "SampleDb";
        db_.SessionName = "SampleSession";
        db_.AliasName = alias;
        db_.Open();
    }
    std::string Directory() const { return db_.Directory(); }
    std::unique_ptr<TTable> Table(const std::string& name) const {
        auto table = std::make_unique<TTable>();
        table->DatabaseName = "SampleDb";
        table->SessionName = "SampleSession";
        table->TableName = name;
        return table;
    }

private:
    ScopedEngineConfig config_;
    TSession session_;
    TDatabase db_;
};

std::string FileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::set<TProblemKind> KindsOf(const TTableReport& report) {
    std::set<TProblemKind> kinds;
    for (const auto& p : report.Problems) kinds.insert(p.Kind);
    return kinds;
}

} // namespace

TEST(SampleDatabase, EveryDisplayedTableOpensThroughTheRegisteredAlias) {
    test::TempDir tmp;
    const std::string config = tmp / "engine.cfg";
    const auto result = Make(tmp / "db", config, false);
    const auto tables = sample::SampleTables(callRows);
    ASSERT_EQ(tables.size(), 59u);
    EXPECT_EQ(result.TableFiles.size(), 59u);
    EXPECT_TRUE(result.Damages.empty());

    const TAliasDatabase db(config, "orvan");
    EXPECT_EQ(db.Directory(), tmp / "db");

    int keyedById = 0, keyedOtherwise = 0, unkeyed = 0;
    for (const auto& t : tables) {
        SCOPED_TRACE(t.Name);
        auto tablePtr = db.Table(t.Name);
        TTable& table = *tablePtr;
        table.FieldDefsUpdate();
        table.IndexDefsUpdate();
        ASSERT_EQ(table.FieldDefs.Count(), static_cast<int>(t.Columns.size()));
        table.Open();
        EXPECT_EQ(table.RecordCount(), static_cast<int>(t.Rows));
        table.Close();

        const auto file = TParadoxTable::Open(table.DataFilePath());
        const TTableReport report = CheckTable(*file);
        EXPECT_TRUE(report.Problems.empty()) << report.Problems.front().Describe();
        EXPECT_EQ(file->Header().CodePage, t.CodePage ? t.CodePage : 1250);
        if (t.AutoIncrementKey()) {
            ++keyedById;
            EXPECT_EQ(report.MaxAutoIncrement, static_cast<std::int64_t>(t.Rows));
            EXPECT_EQ(file->Header().AutoIncrement, t.Rows);
        } else {
            ++(t.KeyFieldCount > 0 ? keyedOtherwise : unkeyed);
        }
        EXPECT_EQ(table.IndexDefs.Count(), (t.KeyFieldCount > 0 ? 1u : 0u) + t.Indexes.size());
    }
    EXPECT_GT(keyedById, 40);
    EXPECT_GT(keyedOtherwise, 2);
    EXPECT_GT(unkeyed, 2);

    // The towns stay in the international order they were stored in; the check says it
    // could not judge that order, and finds nothing wrong.
    const auto towns = TParadoxTable::Open(db.Table("MestaObce")->DataFilePath());
    EXPECT_EQ(towns->Header().SortOrderName, "ANSII850");
    EXPECT_NE(CheckTable(*towns).KeyOrderNotChecked, "");
    std::vector<std::string> names;
    TProblemList ignored;
    towns->ForEachRecord(
        [&](const engine::paradox::TRecordRef& r) {
            names.push_back(towns->Decoder().DecodeField(r.Bytes, 0, nullptr).Bytes);
            return true;
        },
        ignored);
    ASSERT_GT(names.size(), 40u);
    const auto samorin = std::find(names.begin(), names.end(), "Šamorín");
    ASSERT_NE(samorin, names.end());
    EXPECT_EQ(*(samorin + 1), "Senica");
    EXPECT_FALSE(std::is_sorted(names.begin(), names.end()));  // not the order of the bytes

    // Slovak text survives the table's code page.
    const auto holidays = db.Table("sviatky");
    holidays->Open();
    EXPECT_EQ(std::get<std::string>(holidays->FieldByName("Nazov")), "Deň vzniku Slovenskej republiky");
    holidays->Close();

    const auto calls = TParadoxTable::Open(tmp / "db/Hovory.DB");
    const auto& fields = calls->Header().Fields;
    EXPECT_EQ(fields.front().Name, "IDXFIELD");
    EXPECT_EQ(fields.back().Name, "Poznamka");
    EXPECT_EQ(calls->Header().KeyFieldCount, 1);
}

TEST(SampleDatabase, DamageLeavesEachFaultInItsTable) {
    test::TempDir tmp;
    const auto result = Make(tmp / "db", tmp / "engine.cfg", true);
    ASSERT_EQ(result.Damages.size(), 6u);
    std::map<std::string, TTableReport> reports;
    for (const auto& path : result.TableFiles) reports[path] = CheckTable(*TParadoxTable::Open(path));
    auto report = [&](const std::string& table) { return reports.at(tmp / ("db/" + table + ".DB")); };

    const auto lagging = report(sample::LaggingCounterTable);
    EXPECT_EQ(KindsOf(lagging), std::set{TProblemKind::AutoIncrement});
    EXPECT_LT(TParadoxTable::Open(tmp / "db/Tel_zoz.DB")->Header().AutoIncrement, lagging.MaxAutoIncrement);
    EXPECT_TRUE(KindsOf(report(sample::BrokenChainTable)).count(TProblemKind::BlockRange));
    EXPECT_EQ(KindsOf(report(sample::WrongCountTable)), std::set{TProblemKind::RecordCount});
    EXPECT_EQ(KindsOf(report(sample::DamagedMemoTable)), std::set{TProblemKind::Blob});
    EXPECT_EQ(KindsOf(report(sample::StaleIndexTable)), std::set{TProblemKind::PrimaryIndex});
    EXPECT_TRUE(report(sample::EncryptedTable).Encrypted);

    std::set<std::string> damaged;
    for (const auto& d : result.Damages) damaged.insert(tmp / ("db/" + d.Table + ".DB"));
    for (const auto& [path, r] : reports)
        EXPECT_TRUE(damaged.count(path) || r.Problems.empty()) << path;

    // The lagging counter is the fault the key-violation repair exists for: a new row
    // is handed an "IDXFIELD" value that is taken already.
    const TAliasDatabase db(tmp / "engine.cfg", "Orvan");
    const auto tablePtr = db.Table(sample::LaggingCounterTable);
    TTable& table = *tablePtr;
    table.Open();
    table.Append();
    try {
        table.Post();
        ADD_FAILURE() << "the append was accepted";
    } catch (const EDBEngineError& e) {
        EXPECT_EQ(e.Kind(), TEngineErrorKind::KeyViolation);
    }
    table.Cancel();
    table.Close();
}

TEST(SampleDatabase, SameSeedMakesTheSameRows) {
    test::TempDir tmp;
    Make(tmp / "a", tmp / "a.cfg", false, 7);
    Make(tmp / "b", tmp / "b.cfg", false, 7);
    Make(tmp / "c", tmp / "c.cfg", false, 8);
    // Data files compared past their header, which records when they were written.
    auto rows = [&](const std::string& dir, const std::string& table) {
        const std::string path = tmp / (dir + "/" + table + ".DB");
        return FileBytes(path).substr(TParadoxTable::Open(path)->Header().HeaderSize);
    };
    for (const char* table : {"Hovory", "Firmy", "Sviatky"}) EXPECT_TRUE(rows("a", table) == rows("b", table)) << table;
    EXPECT_TRUE(FileBytes(tmp / "a/Hovory.MB") == FileBytes(tmp / "b/Hovory.MB"));
    EXPECT_FALSE(rows("a", "Hovory") == rows("c", "Hovory"));
}

TEST(SampleDatabase, ExistingTablesAreNeverOverwritten) {
    test::TempDir tmp;
    Make(tmp / "db", tmp / "engine.cfg", false);
    const auto before = FileBytes(tmp / "db/Hovory.DB");
    EXPECT_THROW(Make(tmp / "db", tmp / "engine.cfg", true), rtl::EError);
    EXPECT_EQ(FileBytes(tmp / "db/Hovory.DB"), before);
    EXPECT_TRUE(KindsOf(CheckTable(*TParadoxTable::Open(tmp / "db/Tel_zoz.DB"))).empty());
}

TEST(SampleDatabase, RegisteringKeepsOtherAliases) {
    test::TempDir tmp;
    const std::string config = tmp / "cfg/engine.cfg";
    TAliasConfig other;
    rtl::TStringList params;
    params.SetValue("PATH", "/srv/other");
    other.SetAlias("Other", params);
    std::filesystem::create_directory(tmp / "cfg");
    other.Save(config);

    std::filesystem::create_directory(tmp / "one");
    std::filesystem::create_directory(tmp / "two");
    EXPECT_THROW(sample::RegisterAlias(config, "Orvan", tmp / "missing"), rtl::EError);
    sample::RegisterAlias(config, "Orvan", tmp / "one");
    const std::string registered = test::FileBytes(config);
    // Someone's alias is never repointed, whatever its letter case; the same place again
    // leaves the file as it was.
    EXPECT_THROW(sample::RegisterAlias(config, "ORVAN", tmp / "two"), rtl::EError);
    sample::RegisterAlias(config, "orvan", tmp / "one/");
    EXPECT_TRUE(test::FileBytes(config) == registered);
    const TAliasConfig read = TAliasConfig::Load(config);
    EXPECT_EQ(read.AliasNames().size(), 2u);
    EXPECT_EQ(read.Params("Other").Value("PATH"), "/srv/other");
    EXPECT_EQ(read.Params("Orvan").Value("PATH"), tmp / "one");
}
