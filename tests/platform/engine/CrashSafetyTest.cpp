// A write either lands whole or not at all: a child process performs one change and is
// killed just before its n-th call that changes the disk, for every n; the table must then
// read exactly as before the change or exactly as after it.
#include "WriterFixtures.h"
#include "platform/rtl/FaultInjection.h"
#include "tests/support/TempDir.h"

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
