// A write either lands whole or not at all: a child process performs one change and is
// killed just before its n-th call that changes the disk, for every n; the table must then
// read exactly as before the change or exactly as after it.
#include "WriteOperations.h"
#include "WriterFixtures.h"
#include "platform/engine/TableFamily.h"
#include "paradox/FamilyJournal.h"
#include "paradox/SecondaryIndexes.h"
#include "platform/rtl/FaultInjection.h"
#include "tests/support/FaultPoints.h"
#include "tests/support/TempDir.h"

#include <fstream>
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

// `change(dir)` applied to copies of `pristine`, killed at every point in turn: the table must
// then read exactly as before the change or exactly as after it, and the next change clears
// what the killed ones left behind.
void ExpectAtomic(const std::string& operation, const std::string& pristine, const std::string& table,
                  const std::function<void(const std::string&)>& change) {
    TempDir scratch;
    const std::string work = scratch / "work";
    CopyDirectory(pristine, work);
    const auto before = ReadRows(work + "/" + table);
    change(work);
    const auto after = ReadRows(work + "/" + table);
    ASSERT_NE(before, after);
    const std::uint64_t points = ForEachKillPoint(
        operation, [&] { CopyDirectory(pristine, work); },
        [&] {
            change(work);
            return std::string();
        },
        [&](const TPointRun&) {
            const auto rows = ReadRows(work + "/" + table);
            EXPECT_TRUE(rows == before || rows == after) << rows.size() << " rows";
        });
    EXPECT_GT(points, 2u);
    // The next write clears what the killed ones left behind.
    CopyDirectory(pristine, work);
    const pid_t child = ::fork();
    if (child == 0) {
        rtl::TFaultInjectingFileSystem fs;
        RunUnder(fs, rtl::TFault{0, points / 2, 0, true, {}}, [&] {
            change(work);
            return std::string();
        });
        ::_exit(0);
    }
    ::waitpid(child, nullptr, 0);
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
    ExpectAtomic("insert (post and close)", pristine_, "T.db", InsertRow);
}

TEST_F(CrashSafety, DeletingARow) {
    ExpectAtomic("delete", pristine_, "T.db", [](const std::string& work) {
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
    ExpectAtomic("AddIndex", pristine_, "U.db", AddPrimaryIndexToU);
}

TEST_F(CrashSafety, BatchMoveIntoATableWithRows) {
    MakeTable(pristine_ + "/S.db", AllTypesLayout(0), 40, [](std::uint64_t i, int f) {
        return f == 0 ? engine::TValue(static_cast<std::int64_t>(5000 + i)) : AllTypesValue(i, f);
    });
    ExpectAtomic("batch move", pristine_, "T.db", BatchMoveSIntoT);
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
std::uint64_t KillAtEveryPoint(const std::string& operation, const std::string& pristine,
                               const std::function<void(const std::string&)>& change,
                               const std::function<void(const std::string&, bool)>& check) {
    TempDir scratch;
    const std::string work = scratch / "work";
    CopyDirectory(pristine, work);
    change(work);
    check(work, true);
    return ForEachKillPoint(
        operation, [&] { CopyDirectory(pristine, work); },
        [&] {
            change(work);
            return std::string();
        },
        [&](const TPointRun&) { check(work, false); });
}

TEST_F(CrashSafety, RenamingAFamilyLeavesItWholeUnderOneOfItsNames) {
    fs::copy_file(fs::path(TABLORA_SAMPLES_DIR) / "paradoxdriver/src/test/resources/joins/C.X02", pristine_ + "/T.X02");
    fs::copy_file(fs::path(TABLORA_SAMPLES_DIR) / "paradoxdriver/src/test/resources/joins/C.Y02", pristine_ + "/T.Y02");
    const auto members = MemberExtensions(pristine_, "T");
    ASSERT_EQ(members.size(), 5u);  // .db .mb .px .x02 .y02
    const auto rows = ReadRows(pristine_ + "/T.db");
    const std::uint64_t points = KillAtEveryPoint(
        "rename table", pristine_,
        [](const std::string& work) {
            TTable t;
            t.TableName = work + "/T.db";
            t.RenameTable("TTemp");
        },
        [&](const std::string& work, bool) {
            // The next writer completes an interrupted rename first.
            CompleteAsTheNextWriter(work);
            const bool old = !engine::FindDataFile(work, "T").empty();
            const bool renamed = !engine::FindDataFile(work, "TTemp").empty();
            EXPECT_NE(old, renamed);
            EXPECT_EQ(MemberExtensions(work, old ? "T" : "TTemp"), members);
            EXPECT_TRUE(MemberExtensions(work, old ? "TTemp" : "T").empty());
            EXPECT_EQ(ReadRows(work + (old ? "/T.db" : "/TTemp.db")), rows);
        });
    EXPECT_GE(points, 5u);
}

// A rename that fails part way (the disk refuses one of the family's renames) is undone at
// once: the caller is told, and the table stands whole under its old name, as before.
TEST_F(CrashSafety, ARenameThatFailsPartWayIsUndoneAtOnce) {
    fs::copy_file(fs::path(TABLORA_SAMPLES_DIR) / "paradoxdriver/src/test/resources/joins/C.X02", pristine_ + "/T.X02");
    const auto members = MemberExtensions(pristine_, "T");
    ASSERT_GE(members.size(), 3u);
    const auto before = DirectoryBytes(pristine_);
    for (std::uint64_t nth = 2; nth <= members.size(); ++nth) {  // the first rename went, a later one fails
        SCOPED_TRACE(nth);
        TempDir scratch;
        const std::string work = scratch / "work";
        CopyDirectory(pristine_, work);
        rtl::TFaultInjectingFileSystem fs;
        {
            const rtl::TScopedFileSystem installed(fs);
            fs.Arm(rtl::TFault{rtl::OpBit(rtl::TFsOp::Rename), nth, EIO, false, {}, false});
            TTable t;
            t.TableName = work + "/T.db";
            EXPECT_THROW(t.RenameTable("TTemp"), engine::EDBEngineError);
        }
        ASSERT_TRUE(fs.Struck());
        ExpectSameFiles(before, DirectoryBytes(work));
    }
}

TEST_F(CrashSafety, DeletingATableLeavesItWholeOrGone) {
    CreateSecondaryIndex(pristine_ + "/T.db", {"Small"}, "", pristine_);
    const auto members = MemberExtensions(pristine_, "T");
    const auto rows = ReadRows(pristine_ + "/T.db");
    KillAtEveryPoint(
        "delete table", pristine_,
        [](const std::string& work) {
            TTable t;
            t.TableName = work + "/T.db";
            t.DeleteTable();
        },
        [&](const std::string& work, bool finished) {
            CompleteAsTheNextWriter(work);
            const bool exists = !engine::FindDataFile(work, "T").empty();
            if (finished) {
                EXPECT_FALSE(exists);
            }
            if (exists) {
                EXPECT_EQ(MemberExtensions(work, "T"), members);
                EXPECT_EQ(ReadRows(work + "/T.db"), rows);
            } else {
                EXPECT_TRUE(MemberExtensions(work, "T").empty());
            }
        });
}

TEST_F(CrashSafety, CreatingATableLeavesNoneOrAWholeOne) {
    TTableLayout layout = AllTypesLayout(1);
    KillAtEveryPoint(
        "create table", pristine_,
        [&](const std::string& work) {
            TTable t;
            t.TableName = work + "/New.db";
            for (const auto& f : layout.Fields)
                t.FieldDefs.Add(f.Name, engine::paradox::FieldTypeFromCode(f.TypeCode),
                                f.TypeCode == ftAlpha || IsBlobField(f.TypeCode) || f.TypeCode == ftBytes ? f.SizeByte : 0);
            t.CreateTable();
        },
        [](const std::string& work, bool finished) {
            CompleteAsTheNextWriter(work);
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
}

TEST_F(CrashSafety, AProbeOfAHealthyTableChangesTheCounterOrNothing) {
    const std::string pristineTable = pristine_ + "/T.db";
    const auto before = DirectoryBytes(pristine_);
    const std::uint32_t counter = TParadoxTable::Open(pristineTable)->Header().AutoIncrement;
    const std::uint64_t points = KillAtEveryPoint(
        "probe", pristine_, ProbeT,
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
}

TEST_F(CrashSafety, AnInsertIntoATableWithSecondaryIndexesLeavesThemInStep) {
    CreateSecondaryIndex(pristine_ + "/T.db", {"Small"}, "", "/tmp");
    CreateSecondaryIndex(pristine_ + "/T.db", {"Born", "Price"}, "byBorn", "/tmp");
    const auto before = ReadRows(pristine_ + "/T.db");
    KillAtEveryPoint(
        "insert with secondary indexes", pristine_, InsertRow,
        [&](const std::string& work, bool finished) {
            CompleteAsTheNextWriter(work);
            const auto rows = ReadRows(work + "/T.db");
            EXPECT_TRUE(rows.size() == before.size() || rows.size() == before.size() + 1);
            if (finished) {
                EXPECT_EQ(rows.size(), before.size() + 1);
            }
            // Indexes that disagree with the table are never left behind.
            ExpectConsistent(work + "/T.db");
            EXPECT_EQ(MemberExtensions(work, "T"), (std::set<std::string>{".db", ".mb", ".px", ".x04", ".y04", ".xg0", ".yg0"}));
        });
}

// Kills a rename of T to TTemp (a copy of `pristine` in `work`) at the first point where its
// journal is in place and a file has moved; false when no point does that.
bool KillARenameHalfWay(const std::string& pristine, const std::string& work) {
    const std::string journal = work + "/" + engine::paradox::JournalName("T.db");
    for (std::uint64_t point = 1; point < 40; ++point) {
        CopyDirectory(pristine, work);
        const pid_t child = ::fork();
        if (child == 0) {
            rtl::TFaultInjectingFileSystem fs;
            RunUnder(fs, rtl::TFault{0, point, 0, true, {}}, [&] {
                TTable t;
                t.TableName = work + "/T.db";
                t.RenameTable("TTemp");
                return std::string();
            });
            ::_exit(0);
        }
        ::waitpid(child, nullptr, 0);
        if (fs::exists(journal) && !MemberExtensions(work, "TTemp").empty()) return true;
    }
    return false;
}

// A journal cut short lacks steps: journals get their name only once written whole, so one
// without its end line is none of ours. None of the steps it shows is carried out (they could
// split the family), and it stays, its table with it, for a person to look at.
TEST_F(CrashSafety, AJournalCutShortIsNotCarriedOut) {
    TempDir scratch;
    const std::string work = scratch / "work";
    const std::string journal = work + "/" + engine::paradox::JournalName("T.db");
    ASSERT_TRUE(KillARenameHalfWay(pristine_, work));
    std::string text;
    {
        std::ifstream in(journal, std::ios::binary);
        text.assign(std::istreambuf_iterator<char>(in), {});
    }
    const auto endLine = text.rfind("end\n");
    ASSERT_NE(endLine, std::string::npos);
    const auto lastStep = text.rfind('\n', endLine - 2);  // the last step goes with the end line
    ASSERT_NE(lastStep, std::string::npos);
    std::ofstream(journal, std::ios::binary | std::ios::trunc) << text.substr(0, lastStep + 1);
    const auto cut = DirectoryBytes(work);
    const auto left = engine::paradox::CompleteInterruptedChanges(work, "T.db");
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(left[0].State, engine::paradox::TInterruptedChange::TState::Left);
    ExpectSameFiles(cut, DirectoryBytes(work));
}

// A journal the system refuses to read is kept, not taken for one never written whole: that
// would throw its steps away half done. The next writing run that can read it completes them.
TEST_F(CrashSafety, AJournalThatCannotBeReadIsKeptForTheNextOpen) {
    const auto rows = ReadRows(pristine_ + "/T.db");
    TempDir scratch;
    const std::string work = scratch / "work";
    const std::string journal = work + "/" + engine::paradox::JournalName("T.db");
    ASSERT_TRUE(KillARenameHalfWay(pristine_, work));
    const auto killed = DirectoryBytes(work);
    {
        rtl::TFaultInjectingFileSystem fs;
        const rtl::TScopedFileSystem installed(fs);
        fs.Arm(rtl::TFault{rtl::OpBit(rtl::TFsOp::Read), 1, EIO, false, ".journal"});
        const auto left = engine::paradox::CompleteInterruptedChanges(work, "T.db");
        ASSERT_EQ(left.size(), 1u);
        EXPECT_EQ(left[0].State, engine::paradox::TInterruptedChange::TState::Left);
        EXPECT_TRUE(fs.Struck());
    }
    ExpectSameFiles(killed, DirectoryBytes(work));
    // The directory's next writer completes the rename.
    CompleteAsTheNextWriter(work);
    EXPECT_EQ(engine::FindDataFile(work, "T"), "");
    EXPECT_EQ(engine::FindDataFile(work, "TTemp"), work + "/TTemp.db");
    EXPECT_EQ(ReadRows(work + "/TTemp.db"), rows);
    EXPECT_TRUE(MemberExtensions(work, "T").empty());
    EXPECT_FALSE(fs::exists(journal));
}

} // namespace
