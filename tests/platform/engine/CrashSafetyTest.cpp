// A write either lands whole or not at all: a child process performs one change and is
// killed just before its n-th call that changes the disk, for every n; the table must then
// read exactly as before the change or exactly as after it.
#include "WriterFixtures.h"
#include "platform/engine/TableFamily.h"
#include "platform/engine/paradox/SecondaryIndexes.h"
#include "platform/rtl/FaultInjection.h"
#include "tests/support/TempDir.h"

#include <iostream>
#include <set>

#include <gtest/gtest.h>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using namespace test;
namespace fs = std::filesystem;
using engine::TTable;

void CopyDirectory(const std::string& from, const std::string& to) {
    fs::remove_all(to);
    fs::create_directories(to);
    for (const auto& e : fs::directory_iterator(from)) fs::copy_file(e.path(), fs::path(to) / e.path().filename());
}

// Runs `change` in a child killed at its `step`-th call that changes the disk; true when
// the child got through all of it.
bool RunKilledAt(int step, const std::function<void()>& change) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        rtl::TFaultInjectingFileSystem fs;
        rtl::ScopedFileSystem scope(fs);
        fs.Arm(rtl::TFault{0, static_cast<std::uint64_t>(step), 0, true, {}});
        try {
            change();
        } catch (...) {
            ::_exit(3);
        }
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_FALSE(WIFEXITED(status) && WEXITSTATUS(status) != 0) << "the change failed at step " << step;
    return !WIFSIGNALED(status);
}

// `change(dir)` applied to copies of `pristine`, killed at every step in turn.
void ExpectAtomic(const std::string& pristine, const std::string& table,
                  const std::function<void(const std::string&)>& change) {
    TempDir scratch;
    const std::string work = scratch / "work";
    CopyDirectory(pristine, work);
    const auto before = ReadRows(work + "/" + table);
    change(work);
    const auto after = ReadRows(work + "/" + table);
    ASSERT_NE(before, after);
    int step = 1;
    for (; step < 400; ++step) {
        CopyDirectory(pristine, work);
        const bool finished = RunKilledAt(step, [&] { change(work); });
        const auto rows = ReadRows(work + "/" + table);
        EXPECT_TRUE(rows == before || rows == after) << "killed at step " << step << ": " << rows.size() << " rows";
        if (finished) break;
    }
    EXPECT_GT(step, 2);
    // The next write clears what the killed ones left behind.
    CopyDirectory(pristine, work);
    RunKilledAt(step / 2, [&] { change(work); });
    change(work);
    for (const auto& e : fs::directory_iterator(work))
        EXPECT_NE(e.path().filename().string().rfind(".~", 0), 0u) << e.path();
}

class CrashSafety : public ::testing::Test {
protected:
    void SetUp() override {
        pristine_ = dir_ / "pristine";
        fs::create_directories(pristine_);
        TTableLayout layout = AllTypesLayout(1);
        MakeTable(pristine_ + "/T.db", layout, 100);
    }
    TempDir dir_;
    std::string pristine_;
};

TEST_F(CrashSafety, PostingARowIntoAKeyedTable) {
    ExpectAtomic(pristine_, "T.db", [](const std::string& work) {
        TTable t;
        t.TableName = work + "/T.db";
        t.Open();
        t.Append();
        t.SetFieldByName("Id", std::int64_t{51});  // lands in a full middle block: a split
        t.SetFieldByName("Notes", std::string(4000, 'n'));
        t.Post();
    });
}

TEST_F(CrashSafety, DeletingARow) {
    ExpectAtomic(pristine_, "T.db", [](const std::string& work) {
        TTable t;
        t.TableName = work + "/T.db";
        t.Open();
        t.Next();
        t.Delete();
    });
}

TEST_F(CrashSafety, AddingThePrimaryIndex) {
    TTableLayout layout = AllTypesLayout(0);
    fs::remove_all(pristine_);
    fs::create_directories(pristine_);
    MakeTable(pristine_ + "/U.db", layout, 100, [](std::uint64_t i, int f) {
        return f == 0 ? engine::TValue(static_cast<std::int64_t>(1000 - i)) : AllTypesValue(i, f);
    });
    ExpectAtomic(pristine_, "U.db", [](const std::string& work) {
        TTable t;
        t.TableName = work + "/U.db";
        t.AddIndex("", "Id", engine::ixPrimary);
    });
}

TEST_F(CrashSafety, BatchMoveIntoATableWithRows) {
    MakeTable(pristine_ + "/S.db", AllTypesLayout(0), 40, [](std::uint64_t i, int f) {
        return f == 0 ? engine::TValue(static_cast<std::int64_t>(5000 + i)) : AllTypesValue(i, f);
    });
    ExpectAtomic(pristine_, "T.db", [](const std::string& work) {
        TTable source, dest;
        source.TableName = work + "/S.db";
        dest.TableName = work + "/T.db";
        engine::TBatchMove move;
        move.Source = &source;
        move.Destination = &dest;
        move.Execute();
    });
}

} // namespace

namespace {

using namespace test;
namespace fs = std::filesystem;
using engine::TTable;

// The family members of table `base` in `dir`, by extension (letter case folded).
std::set<std::string> MemberExtensions(const std::string& dir, const std::string& base) {
    std::set<std::string> out;
    for (const auto& path : engine::FindTableFamily(dir, base)) {
        std::string ext = fs::path(path).extension().string();
        for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        out.insert(ext);
    }
    return out;
}

// Runs `change(work)` on a copy of `pristine` killed at each of its disk changes, and after
// every kill calls `check(work, finished)`: what a reader finds once the engine has looked.
std::uint64_t KillAtEveryPoint(const std::string& pristine, const std::function<void(const std::string&)>& change,
                               const std::function<void(const std::string&, bool)>& check) {
    TempDir scratch;
    const std::string work = scratch / "work";
    // Count the points of a clean run first.
    CopyDirectory(pristine, work);
    rtl::TFaultInjectingFileSystem counter;
    {
        rtl::ScopedFileSystem scope(counter);
        counter.Arm(rtl::TFault{});
        change(work);
    }
    const std::uint64_t points = counter.Counted();
    check(work, true);
    for (std::uint64_t step = 1; step <= points; ++step) {
        SCOPED_TRACE("killed at point " + std::to_string(step) + " of " + std::to_string(points));
        CopyDirectory(pristine, work);
        const bool finished = RunKilledAt(static_cast<int>(step), [&] { change(work); });
        EXPECT_FALSE(finished);
        check(work, false);
    }
    return points;
}

TEST_F(CrashSafety, RenamingAFamilyLeavesItWholeUnderOneOfItsNames) {
    fs::copy_file(fs::path(TABLORA_SAMPLES_DIR) / "paradoxdriver/src/test/resources/joins/C.X02", pristine_ + "/T.X02");
    fs::copy_file(fs::path(TABLORA_SAMPLES_DIR) / "paradoxdriver/src/test/resources/joins/C.Y02", pristine_ + "/T.Y02");
    const auto members = MemberExtensions(pristine_, "T");
    ASSERT_EQ(members.size(), 5u);  // .db .mb .px .x02 .y02
    const auto rows = ReadRows(pristine_ + "/T.db");
    const std::uint64_t points = KillAtEveryPoint(
        pristine_,
        [](const std::string& work) {
            TTable t;
            t.TableName = work + "/T.db";
            t.RenameTable("TTemp");
        },
        [&](const std::string& work, bool) {
            // A lookup of either name completes an interrupted rename first.
            const bool old = !engine::FindDataFile(work, "T").empty();
            const bool renamed = !engine::FindDataFile(work, "TTemp").empty();
            EXPECT_NE(old, renamed);
            EXPECT_EQ(MemberExtensions(work, old ? "T" : "TTemp"), members);
            EXPECT_TRUE(MemberExtensions(work, old ? "TTemp" : "T").empty());
            EXPECT_EQ(ReadRows(work + (old ? "/T.db" : "/TTemp.db")), rows);
        });
    EXPECT_GE(points, 5u);
    std::cout << "rename: " << points << " kill points\n";
}

TEST_F(CrashSafety, CreatingATableLeavesNoneOrAWholeOne) {
    TTableLayout layout = AllTypesLayout(1);
    const std::uint64_t points = KillAtEveryPoint(
        pristine_,
        [&](const std::string& work) {
            TTable t;
            t.TableName = work + "/New.db";
            for (const auto& f : layout.Fields)
                t.FieldDefs.Add(f.Name, engine::paradox::FieldTypeFromCode(f.TypeCode),
                                f.TypeCode == ftAlpha || IsBlobField(f.TypeCode) || f.TypeCode == ftBytes ? f.SizeByte : 0);
            t.CreateTable();
        },
        [](const std::string& work, bool finished) {
            const bool exists = !engine::FindDataFile(work, "New").empty();
            if (finished) {
                EXPECT_TRUE(exists);
            }
            if (exists) {
                EXPECT_EQ(MemberExtensions(work, "New"), (std::set<std::string>{".db", ".mb"}));
                EXPECT_TRUE(ReadRows(work + "/New.db").empty());
                // And the name can be used again once the table is deleted.
                TTable t;
                t.TableName = work + "/New.db";
                t.DeleteTable();
            }
            EXPECT_TRUE(MemberExtensions(work, "New").empty());
        });
    std::cout << "create: " << points << " kill points\n";
}

TEST_F(CrashSafety, AProbeOfAHealthyTableChangesTheCounterOrNothing) {
    const std::string pristineTable = pristine_ + "/T.db";
    const auto before = DirectoryBytes(pristine_);
    const std::uint32_t counter = TParadoxTable::Open(pristineTable)->Header().AutoIncrement;
    const std::uint64_t points = KillAtEveryPoint(
        pristine_,
        [](const std::string& work) {
            TTable t;
            t.TableName = work + "/T.db";
            t.Open();
            t.Append();
            t.Post();
            t.Delete();
            t.Close();
        },
        [&](const std::string& work, bool) {
            const std::uint32_t now = TParadoxTable::Open(work + "/T.db")->Header().AutoIncrement;
            EXPECT_TRUE(now == counter || now == counter + 1);
            auto after = DirectoryBytes(work);
            if (now == counter + 1) {
                // Put the counter back: then every byte must be as before.
                StoreAutoIncrement(work + "/T.db", now, counter);
                after = DirectoryBytes(work);
            }
            ExpectSameFiles(before, after);
        });
    EXPECT_LE(points, 4u);  // open, write, flush: one small change
    std::cout << "probe: " << points << " kill points\n";
}

TEST_F(CrashSafety, AnInsertIntoATableWithSecondaryIndexesLeavesThemInStep) {
    CreateSecondaryIndex(pristine_ + "/T.db", {"Small"}, "", "/tmp");
    CreateSecondaryIndex(pristine_ + "/T.db", {"Born", "Price"}, "byBorn", "/tmp");
    const auto before = ReadRows(pristine_ + "/T.db");
    const std::uint64_t points = KillAtEveryPoint(
        pristine_,
        [](const std::string& work) {
            TTable t;
            t.TableName = work + "/T.db";
            t.Open();
            t.Append();
            t.SetFieldByName("Id", std::int64_t{51});
            t.SetFieldByName("Small", std::int64_t{-3});
            t.SetFieldByName("Notes", std::string(3000, 'm'));
            t.Post();
            t.Close();
        },
        [&](const std::string& work, bool finished) {
            const auto rows = ReadRows(work + "/T.db");
            EXPECT_TRUE(rows.size() == before.size() || rows.size() == before.size() + 1);
            if (finished) {
                EXPECT_EQ(rows.size(), before.size() + 1);
            }
            // Indexes that disagree with the table are never left behind.
            ExpectConsistent(work + "/T.db");
            EXPECT_EQ(MemberExtensions(work, "T"), (std::set<std::string>{".db", ".mb", ".px", ".x04", ".y04", ".xg0", ".yg0"}));
        });
    std::cout << "insert with secondary indexes: " << points << " kill points\n";
}

} // namespace
