// tablora-cli's exit codes as monitoring reads them: every command driven into each failure a
// night can bring (the database directory gone, a full disk, a read-only target, a damaged
// table, another run holding the database) ends with the code the table in --help gives it:
// 0 done, 1 done with problems, 3 nothing changed, 4 failed part way.
#include "tests/support/LockHolder.h"
#include "tests/tools/tablora-cli/DemoDatabase.h"

#include <utility>

namespace {

using namespace test;
namespace fs = std::filesystem;

constexpr int Done = 0, Problems = 1, Failed = 3, Partial = 4;

class CliExitCodes : public ::testing::Test {
protected:
    void SetUp() override {
        CopyDemoDatabase(false, db);
        ASSERT_EQ(RunCli(work.Path(), {"backup", "--dir", db, "--to-dir", backup}).Code, Done);
    }

    struct TCase {
        TCase(std::vector<std::string> l, int c, std::string f = {}) : line(std::move(l)), code(c), fault(std::move(f)) {}
        std::vector<std::string> line;
        int code;
        std::string fault;  // TABLORA_FS_FAULT
    };
    void Expect(const std::vector<TCase>& cases) {
        for (const TCase& c : cases) {
            std::vector<std::string> env;
            if (!c.fault.empty()) env.push_back("TABLORA_FS_FAULT=" + c.fault);
            const TCliRun run = RunCli(work.Path(), c.line, env);
            std::string line;
            for (const auto& a : c.line) line += a + " ";
            EXPECT_EQ(run.Code, c.code) << line << c.fault << "\n" << run.Out << run.Err;
            // A failed run says so in its summary too.
            if (c.line[0] != "list") {
                EXPECT_NE(run.Out.find("summary: " + c.line[0] + " "), std::string::npos) << line << "\n" << run.Out;
            }
        }
    }

    TempDir work;
    std::string db = work / "db", backup = work / "zaloha";
};

TEST_F(CliExitCodes, AMissingDatabaseDirectoryChangesNothing) {
    const std::string gone = work / "gone";
    Expect({{{"list", "--dir", gone}, Failed},
            {{"backup", "--dir", gone, "--to-zip", work / "b.zip"}, Failed},
            {{"backup", "--dir", gone, "--to-dir", work / "b"}, Failed},
            {{"restore", "--dir", gone, "--from-dir", backup}, Failed},
            {{"delete-indexes", "--dir", gone}, Failed},
            {{"repair-keys", "--dir", gone, "--all-fit"}, Failed},
            {{"check-damage", "--dir", gone, "--all"}, Failed},
            {{"export", "--dir", gone, "--to-csv", work / "csv"}, Failed},
            {{"check", "--dir", gone, "--all"}, Failed},
            {{"backups", "--in", gone}, Failed}});
    EXPECT_FALSE(fs::exists(work / "b.zip"));
    EXPECT_FALSE(fs::exists(work / "b"));
}

// A full disk fails a zip backup and a directory backup alike, and every other writer.
TEST_F(CliExitCodes, AFullDiskFailsEveryWriterWithTheSameCode) {
    // SQLite writes its file itself; what it creates goes through the seam.
    const auto full = [](const std::string& where) {
        return "ops=open-write,write,copy-range;nth=1;errno=ENOSPC;persist;path=" + where;
    };
    fs::create_directories(work / "target");
    Expect({{{"backup", "--dir", db, "--to-zip", work / "target/b.zip"}, Failed, full(work / "target")},
            {{"backup", "--dir", db, "--to-dir", work / "target/d"}, Failed, full(work / "target")},
            {{"export", "--dir", db, "--to-sqlite", work / "target/x.sqlite"}, Failed, full(work / "target")},
            {{"export", "--dir", db, "--to-csv", work / "target/csv"}, Failed, full(work / "target")},
            {{"restore", "--dir", db, "--from-dir", backup}, Failed, full(db)},
            {{"check-damage", "--dir", db, "--tables", "Hovory"}, Failed, full(db)}});
    EXPECT_FALSE(fs::exists(work / "target/b.zip"));
}

TEST_F(CliExitCodes, AReadOnlyTargetFailsEveryWriterWithTheSameCode) {
    const auto readOnly = [](const std::string& where) {
        return "ops=open-write,mkdir,unlink,rename;nth=1;errno=EROFS;persist;path=" + where;
    };
    fs::create_directories(work / "target");
    const auto before = TreeBytes(db);
    Expect({{{"backup", "--dir", db, "--to-zip", work / "target/b.zip"}, Failed, readOnly(work / "target")},
            {{"backup", "--dir", db, "--to-dir", work / "target/d"}, Failed, readOnly(work / "target")},
            {{"export", "--dir", db, "--to-csv", work / "target/csv"}, Failed, readOnly(work / "target")},
            {{"restore", "--dir", db, "--from-dir", backup}, Failed, readOnly(db)},
            {{"delete-indexes", "--dir", db}, Failed, readOnly(db)},
            {{"check-damage", "--dir", db, "--tables", "Hovory"}, Failed, readOnly(db)}});
    EXPECT_TRUE(TreeBytes(db) == before);
}

// Another run holds the database: every run that writes or locks it waits its bound and
// changes nothing; the health report, which takes no lock, reports.
TEST_F(CliExitCodes, ADatabaseAnotherRunHoldsIsRefused) {
    pid_t holder = HoldLockElsewhere(db);
    ASSERT_GT(holder, 0);
    Expect({{{"backup", "--dir", db, "--to-zip", work / "b.zip"}, Failed},
            {{"restore", "--dir", db, "--from-dir", backup}, Failed},
            {{"delete-indexes", "--dir", db}, Failed},
            {{"repair-keys", "--dir", db, "--all-fit"}, Failed},
            {{"check-damage", "--dir", db, "--tables", "Hovory"}, Failed},
            {{"export", "--dir", db, "--to-csv", work / "csv"}, Failed},
            {{"check", "--dir", db, "--all"}, Done}});
    EndLockHolder(holder);
    EXPECT_FALSE(fs::exists(work / "b.zip"));
}

// Damage is found and reported (1); a run that stops at a table it cannot rebuild changed
// nothing when that was the first (3), and failed part way when it had rebuilt others (4).
TEST_F(CliExitCodes, DamagedTablesAreProblemsAndARunStoppedAfterARebuildIsPartial) {
    fs::remove_all(db);
    CopyDemoDatabase(true, db);
    Expect({{{"check", "--dir", db, "--all"}, Problems},
            {{"export", "--dir", db, "--to-csv", work / "csv"}, Problems},
            {{"check-damage", "--dir", db, "--tables", "Firmy"}, Problems},
            {{"check-damage", "--dir", db, "--tables", "Users,Hovory"}, Failed},
            {{"check-damage", "--dir", db, "--tables", "Hovory,Users,Tel_zoz"}, Partial},
            {{"backup", "--dir", db, "--to-zip", work / "b.zip"}, Done},
            {{"list", "--dir", db}, Done}});
}

// A CSV export that fails at its third table has put the first two in place.
TEST_F(CliExitCodes, AnExportThatFailsAfterWritingSomeTablesIsPartial) {
    Expect({{{"export", "--dir", db, "--to-csv", work / "csv", "--tables", "Brany,Firmy,Hovory"},
             Partial,
             "ops=open-write;nth=1;errno=ENOSPC;persist;path=csv/Hovory.csv"}});
    EXPECT_TRUE(fs::exists(work / "csv/Brany.csv"));
    EXPECT_FALSE(fs::exists(work / "csv/Hovory.csv"));
}

} // namespace
