// Two runs of the program writing one table: the second waits for the first (bounded) and
// never hands out an autoincrement value the first took; past the bound it fails clearly.
#include "WriterFixtures.h"
#include "paradox/TableLocks.h"
#include "platform/rtl/AdvisoryLock.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <set>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using namespace test;
using engine::EDBEngineError;
using engine::TTable;

std::string MakeCalls(const TempDir& dir) {
    TTableLayout layout;
    layout.Fields = {{"IDXFIELD", ftAutoInc, 4}, {"Writer", ftShort, 2}, {"Number", ftAlpha, 20}};
    layout.KeyFieldCount = 1;
    const std::string path = dir / "Hovory.db";
    MakeTable(path, layout, 100, [](std::uint64_t i, int f) -> engine::TValue {
        if (f == 1) return std::int64_t{0};
        if (f == 2) return "0905" + std::to_string(i);
        return std::monostate{};
    });
    return path;
}

// A child process that posts `rows` rows, one open-post-close each; exit code 0 on success.
pid_t PostInChild(const std::string& path, int writer, int rows) {
    const pid_t pid = ::fork();
    if (pid != 0) return pid;
    try {
        for (int i = 0; i < rows; ++i) {
            TTable t;
            t.TableName = path;
            t.Open();
            t.Append();
            t.SetFieldByName("Writer", std::int64_t{writer});
            t.Post();
            t.Close();
        }
    } catch (...) {
        ::_exit(1);
    }
    ::_exit(0);
}

TEST(TableLocking, TwoProcessesPostingToOneTableLoseNoRowAndShareNoKey) {
    TempDir dir;
    const std::string path = MakeCalls(dir);
    const pid_t a = PostInChild(path, 1, 40);
    const pid_t b = PostInChild(path, 2, 40);
    for (const pid_t pid : {a, b}) {
        int status = 0;
        ::waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    const auto rows = ReadRows(path);
    ASSERT_EQ(rows.size(), 180u);
    std::set<std::string> keys;
    int first = 0, second = 0;
    for (const auto& row : rows) {
        keys.insert(row[0]);
        first += row[1] == "1";
        second += row[1] == "2";
    }
    EXPECT_EQ(keys.size(), 180u);
    EXPECT_EQ(first, 40);
    EXPECT_EQ(second, 40);
    EXPECT_EQ(TParadoxTable::Open(path)->Header().AutoIncrement, 180u);
    ExpectConsistent(path);
}

TEST(TableLocking, AnOpenTableWithPendingRowsHoldsItsLockUntilClosed) {
    TempDir dir;
    const std::string path = MakeCalls(dir);
    rtl::SetLockWaitFunction([](int) {});  // waits pass no time: a held lock fails at once
    TTable holder;
    holder.TableName = path;
    holder.Open();
    holder.Append();  // the first change takes the lock
    const pid_t child = ::fork();
    if (child == 0) {
        try {
            TTable t;
            t.TableName = path;
            t.Open();  // reading is not locked
            t.Append();
            ::_exit(2);
        } catch (const EDBEngineError& e) {
            const bool named = e.Kind() == engine::TEngineErrorKind::Locked &&
                               e.Message().find("process " + std::to_string(::getppid())) != std::string::npos;
            if (!named) std::fprintf(stderr, "%s\n", e.Message().c_str());
            ::_exit(named ? 0 : 3);
        }
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "2: not refused, 3: refused without naming the holder";
    holder.Post();
    holder.Close();
    rtl::SetLockWaitFunction(nullptr);
    EXPECT_EQ(ReadRows(path).size(), 101u);
}

TEST(TableLocking, ParadoxLockFilesAreFoundAndLeftAlone) {
    TempDir dir;
    MakeCalls(dir);
    dir.WriteFile("PDOXUSRS.LCK", "x");
    dir.WriteFile("Hovory.lck", "x");
    dir.WriteFile("PDOXUSRS.NET", "x");
    EXPECT_EQ(FindParadoxLockFiles(dir.Path()), (std::vector<std::string>{"Hovory.lck", "PDOXUSRS.LCK", "PDOXUSRS.NET"}));
    TTable t;
    t.TableName = dir / "Hovory.db";
    t.Open();
    t.Append();
    t.Post();
    t.Close();
    EXPECT_EQ(FindParadoxLockFiles(dir.Path()).size(), 3u);
}

} // namespace
