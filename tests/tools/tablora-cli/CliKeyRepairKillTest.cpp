// A key-violation repair run by the real tablora-cli, killed at every rename, sync and
// deletion it makes; then each other kind of run over the directory (table list, damage
// check, key repair, backup, pdx on the table). Whatever the point, once a run that writes
// has looked (the list and pdx only read, and leave a waiting change to it, saying so), the
// billing application's reader (pxlib) finds every table whole under its own name, every row
// with its memo text, the work table of the repair is never taken for a table of the
// database, and no run says "done" over a table that is not.
#include "platform/engine/AliasConfig.h"
#include "tests/platform/engine/WriterFixtures.h"
#include "tests/support/TempDir.h"
#include "tests/tools/tablora-cli/CliProcess.h"

#include <gtest/gtest.h>
extern "C" {
#include <paradox.h>
}

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>

namespace {

namespace fs = std::filesystem;
using test::TTableLayout;

using Rows = std::vector<std::vector<std::string>>;

TTableLayout CallsLayout() {
    TTableLayout layout;
    layout.Fields = {{"IDXFIELD", test::ftAutoInc, 4}, {"Cislo", test::ftAlpha, 20}, {"Poznamka", test::ftMemo, 12}};
    layout.KeyFieldCount = 1;
    return layout;
}

// Row i of a table made with `seed`: its number and a memo text too long for the record.
Rows Expected(std::uint64_t count, int seed) {
    Rows rows;
    for (std::uint64_t i = 0; i < count; ++i)
        rows.push_back({"09" + std::to_string(seed) + "-" + std::to_string(i),
                        std::string(60 + i, static_cast<char>('a' + seed))});
    return rows;
}

void MakeCalls(const std::string& path, std::uint64_t count, int seed) {
    test::MakeTable(path, CallsLayout(), count, [seed](std::uint64_t i, int f) -> engine::TValue {
        const auto row = Expected(i + 1, seed).back();
        if (f == 1) return row[0];
        if (f == 2) return row[1];
        return std::monostate{};
    });
}

// The number of every row of the table at `path` as pxlib reads it (the key left out); a
// note in `problem` when pxlib cannot read it whole. (pxlib's memo reader overruns its
// stack on memo files of every writer, ours and the samples', so memo texts are read by
// hand below, once no journal is left to complete.)
std::vector<std::string> PxlibNumbers(const std::string& path, std::string& problem) {
    std::vector<std::string> numbers;
    pxdoc_t* doc = PX_new();
    if (PX_open_file(doc, path.c_str()) < 0) {
        problem = "pxlib cannot open " + path;
        PX_delete(doc);
        return numbers;
    }
    const int count = PX_get_num_records(doc);
    pxfield_t* fields = PX_get_fields(doc);
    std::vector<char> buffer(static_cast<std::size_t>(PX_get_recordsize(doc)));
    for (int r = 0; r < count; ++r) {
        if (!PX_get_record(doc, r, buffer.data())) {
            problem = "pxlib cannot read record " + std::to_string(r);
            break;
        }
        char* number = nullptr;
        PX_get_data_alpha(doc, buffer.data() + fields[0].px_flen, fields[1].px_flen, &number);
        numbers.push_back(number ? number : "");
        if (number) doc->free(doc, number);
    }
    PX_close(doc);
    PX_delete(doc);
    return numbers;
}

std::set<std::string> FileNames(const std::string& dir) {
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(dir))
        if (e.is_regular_file()) names.insert(e.path().filename().string());
    return names;
}

class CliKeyRepairKill : public ::testing::Test {
protected:
    test::TempDir config, pristine, db, work;
    const std::set<std::string> tables{"Hovory", "HovoryOld", "HovoryTemp"};

    void SetUp() override {
        ::setenv(engine::EngineConfigEnvVar, (config / "engine.cfg").c_str(), 1);
        // A lagging counter, and real tables whose names an earlier repair used for its own.
        MakeCalls(pristine / "Hovory.DB", 40, 1);
        test::StoreAutoIncrement(pristine / "Hovory.DB", 40, 3);
        MakeCalls(pristine / "HovoryOld.DB", 7, 2);
        MakeCalls(pristine / "HovoryTemp.DB", 9, 3);
    }
    void TearDown() override { ::unsetenv(engine::EngineConfigEnvVar); }

    void Reset(const std::string& dir) {
        fs::remove_all(dir);
        fs::create_directories(dir);
        for (const auto& e : fs::directory_iterator(pristine.Path())) fs::copy_file(e.path(), dir + "/" + e.path().filename().string());
    }

    test::TProgramRun Cli(std::vector<std::string> args, const std::string& dir, const std::string& fault = {}) {
        args.insert(args.begin() + 1, {"--dir", dir});
        std::vector<std::string> env;
        if (!fault.empty()) env.push_back("TABLORA_FS_FAULT=" + fault);
        return test::RunProgram(TABLORA_CLI, args, work / "log", env);
    }

    // Every table whole under its own name as the billing application reads it; Hovory as
    // its old family (keyed, with its index) or the new one (no index), nothing between; no
    // change of any table waits, the work table's included (a run that wrote has looked).
    void ExpectEveryTableWhole(const std::string& dir) {
        const std::set<std::string> names = FileNames(dir);
        // No change waits to be completed (a killed run's temporaries may stay; the next
        // change of their table removes them).
        for (const auto& name : names)
            EXPECT_FALSE(name.size() > 8 && name.substr(name.size() - 8) == ".journal") << "left: " << name;
        const std::vector<std::pair<std::string, Rows>> expected{
            {"Hovory", Expected(40, 1)}, {"HovoryOld", Expected(7, 2)}, {"HovoryTemp", Expected(9, 3)}};
        for (const auto& [table, rows] : expected) {
            SCOPED_TRACE(table);
            ASSERT_TRUE(names.count(table + ".DB"));
            std::string problem;
            std::vector<std::string> numbers;
            for (const auto& row : rows) numbers.push_back(row[0]);
            EXPECT_EQ(PxlibNumbers(dir + "/" + table + ".DB", problem), numbers);
            EXPECT_EQ(problem, "");
            Rows read = test::ReadRows(dir + "/" + table + ".DB");
            for (auto& row : read) row.erase(row.begin());
            EXPECT_EQ(read, rows);
        }
        const bool keyed = test::TParadoxTable::Open(dir + "/Hovory.DB")->Header().IsKeyed();
        EXPECT_EQ(names.count("Hovory.PX"), keyed ? 1u : 0u) << "a keyed table without its index, or the reverse";
    }
};

TEST_F(CliKeyRepairKill, EveryKillOfTheSwapLeavesEveryTableWholeForEveryNextRun) {
    const std::string ops = "ops=rename,sync,sync-dir,unlink";
    Reset(db.Path());
    const auto counted = Cli({"repair-keys", "--tables", "Hovory"}, db.Path(), ops + ";count=" + (work / "count"));
    ASSERT_EQ(counted.Code, 0) << counted.Output;
    ASSERT_NE(counted.Output.find("Hovory: repaired (40 rows before, 40 after)"), std::string::npos) << counted.Output;
    ExpectEveryTableWhole(db.Path());
    std::uint64_t points = 0;
    std::ifstream(work / "count") >> points;
    ASSERT_GT(points, 5u);

    int swapsCut = 0;
    for (std::uint64_t point = 1; point <= points; ++point) {
        SCOPED_TRACE("killed at call " + std::to_string(point) + " of " + std::to_string(points));
        Reset(db.Path());
        const auto killed =
            Cli({"repair-keys", "--tables", "Hovory"}, db.Path(), ops + ";nth=" + std::to_string(point) + ";kill");
        ASSERT_EQ(killed.Code, -1) << "not killed: " << killed.Output;
        for (const auto& name : FileNames(db.Path())) swapsCut += name == ".~Hovory.DB.journal";

        // Each kind of next run starts from the same killed state.
        const std::vector<std::vector<std::string>> nextRuns{
            {"list"},
            {"check-damage", "--all"},
            {"repair-keys", "--all-fit"},
            {"backup", "--to-dir", work / "backup"},
            {"pdx"},  // pdx dump of the table alone
        };
        for (const auto& next : nextRuns) {
            SCOPED_TRACE("then " + next.front());
            const std::string dir = work / "next";
            fs::remove_all(dir);
            test::CopyKeepingTimes(db.Path(), dir);  // the same killed state, file times included
            fs::remove_all(work / "backup");
            const bool swapWaits = fs::exists(dir + "/.~Hovory.DB.journal");
            const auto run = next.front() == "pdx" ? test::RunProgram(TABLORA_PDX, {"dump", dir + "/Hovory.DB"}, work / "log")
                                                   : Cli(next, dir);
            EXPECT_EQ(run.Code, next.front() == "pdx" && swapWaits ? 1 : 0) << run.Output;
            EXPECT_EQ(run.Output.find("~kopia"), std::string::npos) << "a work table taken for a table:\n" << run.Output;
            const bool readOnly = next.front() == "pdx" || next.front() == "list";
            if (readOnly) {
                // Read as it stands: the change waits for the next run that writes, and is told.
                EXPECT_EQ(fs::exists(dir + "/.~Hovory.DB.journal"), swapWaits);
                if (swapWaits) {
                    EXPECT_NE(run.Output.find("Table \"Hovory\": a change an interrupted run of the program had begun "
                                              "waits to be completed"),
                              std::string::npos)
                        << run.Output;
                }
                const auto written = Cli({"backup", "--to-dir", work / "backup"}, dir);
                EXPECT_EQ(written.Code, 0) << written.Output;
                EXPECT_EQ(written.Output.find("was completed") != std::string::npos, swapWaits) << written.Output;
                fs::remove_all(work / "backup");
            }
            ExpectEveryTableWhole(dir);
            if (next.front() == "list") {
                EXPECT_NE(run.Output.find("Hovory\t(key repair)\nHovoryOld\t(key repair)\nHovoryTemp\t(key repair)\n"),
                          std::string::npos)
                    << run.Output;
            } else if (next.front() == "repair-keys") {
                // Its first line of results (what it says of the killed run may come before).
                const auto first = run.Output.find("Hovory: ");
                const std::string results = first == std::string::npos ? std::string() : run.Output.substr(first);
                EXPECT_TRUE(results.rfind("Hovory: repaired (40 rows before, 40 after)\n", 0) == 0 ||
                            results.rfind("Hovory: passed\n", 0) == 0)
                    << run.Output;
                EXPECT_NE(run.Output.find("HovoryOld: passed\nHovoryTemp: passed\n"), std::string::npos) << run.Output;
            } else if (next.front() == "check-damage") {
                for (const auto& t : tables) EXPECT_NE(run.Output.find(t), std::string::npos) << run.Output;
            } else if (next.front() == "backup") {
                // The backup holds whole tables of the database and nothing of the repair's own.
                for (const auto& name : FileNames(work / "backup")) EXPECT_NE(name.rfind(".~", 0), 0u) << name;
                ExpectEveryTableWhole(work / "backup");
            }
        }
        if (::testing::Test::HasFatalFailure()) break;
    }
    EXPECT_GE(swapsCut, 3) << "no kill fell inside the swap";
}

// A swap the disk refuses part way (the old index cannot be deleted, and keeps failing) is
// an error of the run, never "repaired"; the next run, on a disk that works again, finds the
// table whole and completes the change.
TEST_F(CliKeyRepairKill, ASwapTheDiskRefusesIsAnErrorAndTheNextRunCompletesIt) {
    Reset(db.Path());
    const auto refused =
        Cli({"repair-keys", "--tables", "Hovory"}, db.Path(), "ops=unlink;path=Hovory.PX;nth=1;errno=EIO;persist");
    EXPECT_EQ(refused.Code, 3) << refused.Output;  // an error, not a problem reported per table
    EXPECT_NE(refused.Output.find("Hovory: error"), std::string::npos) << refused.Output;
    EXPECT_EQ(refused.Output.find("Hovory: repaired"), std::string::npos) << refused.Output;
    const auto backedUp = Cli({"backup", "--to-dir", work / "backup"}, db.Path());
    EXPECT_EQ(backedUp.Code, 0) << backedUp.Output;
    ExpectEveryTableWhole(db.Path());
    EXPECT_FALSE(fs::exists(db / "Hovory.PX"));  // the change was completed
}

} // namespace
