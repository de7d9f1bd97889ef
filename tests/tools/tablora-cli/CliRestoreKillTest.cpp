// A real tablora-cli restore killed at every rename and sync it makes, then the next run of
// another command over the database directory: every table is then wholly the old one or
// wholly the restored one, data, memo and index files alike, and the database wholly old or
// wholly restored. Judged by the bytes of each
// table's files and by the billing application's reader (pxlib), for directory and zip
// restores.
#include "tests/database/CallTables.h"
#include "tests/support/ForeignReader.h"
#include "tests/support/TempDir.h"
#include "tests/tools/tablora-cli/CliProcess.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>

namespace {

using namespace test;
namespace fs = std::filesystem;
using TFiles = std::map<std::string, std::string>;

const std::vector<std::string> Tables{"Brany", "Hovory", "Linky"};
constexpr const char* Strikes = "ops=rename,sync,sync-dir";

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// The files of `table` in `dir` (name before the last dot, letter case ignored) with their bytes.
TFiles Family(const std::string& dir, const std::string& table) {
    TFiles files;
    for (const auto& entry : fs::directory_iterator(dir)) {
        const std::string name = entry.path().filename().string();
        if (!entry.is_regular_file() || Lower(entry.path().stem().string()) != Lower(table)) continue;
        std::ifstream in(entry.path(), std::ios::binary);
        files[name] = std::string(std::istreambuf_iterator<char>(in), {});
    }
    return files;
}

class CliRestoreKill : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(oldGeneration);
        fs::create_directories(newGeneration);
        const std::map<std::string, std::pair<int, int>> rows{{"Brany", {8, 20}}, {"Hovory", {30, 45}}, {"Linky", {12, 5}}};
        std::uint64_t shift = 1000;
        for (const auto& [table, counts] : rows) {
            MakeCallTable(oldGeneration + "/" + table + ".DB", static_cast<std::uint64_t>(counts.first));
            // Other values throughout, memo texts included: a memo file of the other
            // generation shows in every row.
            MakeTable(newGeneration + "/" + table + ".DB", CallLayout(), static_cast<std::uint64_t>(counts.second),
                      [shift](std::uint64_t i, int f) { return CallValue(i + shift, f); });
            shift += 1000;
        }
        for (const std::string& table : Tables) {
            expected[table] = {Family(oldGeneration, table), Family(newGeneration, table)};
            rowsOf[table] = {WithoutKeys(oldGeneration + "/" + table + ".DB"), WithoutKeys(newGeneration + "/" + table + ".DB")};
        }
        ASSERT_EQ(Cli({"backup", "--dir", newGeneration, "--to-zip", work / "new.zip"}).Code, 0);
    }

    TProgramRun Cli(const std::vector<std::string>& args, const std::string& fault = {}) {
        std::vector<std::string> env{"TABLORA_ENGINE_CONFIG=" + work / "engine.cfg", "TABLORA_LOCK_WAIT_MS=2000"};
        if (!fault.empty()) env.push_back("TABLORA_FS_FAULT=" + fault);
        return RunProgram(TABLORA_CLI, args, work / "output", env);
    }

    void ResetDatabase() {
        fs::remove_all(db);
        fs::copy(oldGeneration, db);
        fs::remove_all(backup);
    }

    // Which generation the table `table` in `dir` is, by its bytes: 0 old, 1 new, -1 a mix.
    int GenerationByBytes(const std::string& dir, const std::string& table) {
        const TFiles now = Family(dir, table);
        for (int g : {0, 1})
            if (now == expected[table][g]) return g;
        return -1;
    }

    // The same, judged by pxlib's record count and the rows with their memo texts, for
    // commands that write the table anew.
    int GenerationByRows(const std::string& table) {
        const std::string path = db + "/" + table + ".DB";
        const int count = PxlibRecordCount(path);
        const auto rows = WithoutKeys(path);
        for (int g : {0, 1})
            if (count == static_cast<int>(rowsOf[table][g].size()) && rows == rowsOf[table][g]) return g;
        return -1;
    }

    // Kills the restore `restore` at each of its renames and syncs; after each kill runs one
    // of the other commands and checks every table.
    void KillAtEveryStep(const std::vector<std::string>& restore) {
        ResetDatabase();
        const std::string countFile = work / "count";
        ASSERT_EQ(Cli(restore, std::string(Strikes) + ";count=" + countFile).Code, 0);
        std::uint64_t steps = 0;
        std::ifstream(countFile) >> steps;
        ASSERT_GT(steps, 10u);
        const std::vector<std::vector<std::string>> next{
            {"backup", "--dir", db, "--to-dir", backup}, {"check-damage", "--dir", db, "--all"},
            {"repair-keys", "--dir", db, "--all-fit"}};
        std::set<int> seen;
        for (std::uint64_t k = 1; k <= steps; ++k) {
            ResetDatabase();
            const TProgramRun killed = Cli(restore, std::string(Strikes) + ";nth=" + std::to_string(k) + ";kill");
            ASSERT_EQ(killed.Code, -1) << "step " << k << ": " << killed.Output;
            const auto& command = next[k % next.size()];
            const TProgramRun after = Cli(command);
            SCOPED_TRACE("killed at step " + std::to_string(k) + " of " + std::to_string(steps) + ", then " +
                         command[0]);
            EXPECT_EQ(after.Code, 0) << after.Output;
            std::set<int> ofThisRun;
            for (const std::string& table : Tables) {
                const int generation = command[0] == "backup" ? GenerationByBytes(db, table) : GenerationByRows(table);
                EXPECT_NE(generation, -1) << table << " mixes old and restored files";
                if (command[0] == "backup") {
                    EXPECT_EQ(GenerationByBytes(backup, table), generation) << table << " in the backup";
                    EXPECT_EQ(PxlibRecordCount(db + "/" + table + ".DB"),
                              static_cast<int>(rowsOf[table][std::max(generation, 0)].size()));
                }
                seen.insert(generation);
                ofThisRun.insert(generation);
            }
            // The restore is one change of the database: all its tables old, or all restored.
            EXPECT_EQ(ofThisRun.size(), 1u) << "some tables were restored, others not";
            for (const auto& entry : fs::directory_iterator(db))
                EXPECT_FALSE(entry.path().filename().string().ends_with(".journal"))
                    << entry.path() << " was not completed";
        }
        EXPECT_EQ(seen, (std::set<int>{0, 1})) << "the kills never fell both before and after the swap";

        // A restore after the kills clears what they left and restores every table.
        const TProgramRun whole = Cli(restore);
        EXPECT_EQ(whole.Code, 0) << whole.Output;
        for (const std::string& table : Tables) EXPECT_EQ(GenerationByBytes(db, table), 1) << table;
        for (const auto& entry : fs::directory_iterator(db))
            EXPECT_FALSE(entry.path().filename().string().starts_with(".tablora-")) << entry.path() << " left behind";
    }

    TempDir work;
    std::string db = work / "db", backup = work / "zaloha";
    std::string oldGeneration = work / "old", newGeneration = work / "new";
    std::map<std::string, std::vector<TFiles>> expected;
    std::map<std::string, std::vector<std::vector<std::vector<std::string>>>> rowsOf;
};

TEST_F(CliRestoreKill, ADirectoryRestoreKilledAnywhereLeavesEachTableWhole) {
    KillAtEveryStep({"restore", "--dir", db, "--from-dir", newGeneration});
}

TEST_F(CliRestoreKill, AZipRestoreKilledAnywhereLeavesEachTableWhole) {
    KillAtEveryStep({"restore", "--dir", db, "--from-zip", work / "new.zip"});
}

} // namespace
