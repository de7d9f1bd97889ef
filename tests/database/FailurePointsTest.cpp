// Every call the module's writing operations make through the file-system seam fails in
// turn (ENOSPC, EIO, EACCES, EROFS), from opening the source to the last directory flush.
// Each failed run must reach the caller as an error that says why, or as the operation's own
// message box; and every file, every row, must be found where it was or in the place the
// operation documents: the old backup, the old archive, the "Temp" or "Old" table.
#include "CallTables.h"
#include "ModuleFixture.h"
#include "platform/engine/TableFamily.h"
#include "platform/engine/paradox/SecondaryIndexes.h"
#include "platform/rtl/FileListing.h"
#include "tests/support/FaultPoints.h"

#include <gtest/gtest.h>

#include <map>

namespace {

using namespace test;
namespace fs = std::filesystem;
using TFiles = std::map<std::string, std::string>;
using TRows = std::vector<std::vector<std::string>>;

void ResetDirectory(const std::string& dir, const std::string& from) {
    fs::remove_all(dir);
    fs::create_directories(dir);
    for (const auto& e : fs::directory_iterator(from)) fs::copy_file(e.path(), fs::path(dir) / e.path().filename());
}

// The entries of a zip archive with their bytes; empty when it cannot be read.
TFiles ArchiveFiles(const std::string& path) {
    TFiles files;
    int error = 0;
    zip_t* z = zip_open(path.c_str(), ZIP_RDONLY | ZIP_CHECKCONS, &error);
    if (!z) return files;
    for (zip_int64_t i = 0; i < zip_get_num_entries(z, 0); ++i) {
        zip_file_t* f = zip_fopen_index(z, static_cast<zip_uint64_t>(i), 0);
        std::string bytes;
        char buffer[8192];
        zip_int64_t n = 0;
        while (f && (n = zip_fread(f, buffer, sizeof buffer)) > 0) bytes.append(buffer, static_cast<std::size_t>(n));
        if (!f || n < 0) files.clear();
        if (f) zip_fclose(f);
        if (!f || n < 0) break;
        files[zip_get_name(z, static_cast<zip_uint64_t>(i), 0)] = bytes;
    }
    zip_discard(z);
    return files;
}

// Each file of `now` holds whole either the bytes it had `before` or those of `source`,
// and `now` holds no file that is in neither.
void ExpectEachFileOldOrNew(const TFiles& now, const TFiles& before, const TFiles& source) {
    for (const auto& [name, bytes] : now) {
        const auto old = before.find(name);
        const auto fresh = source.find(name);
        EXPECT_TRUE((old != before.end() && old->second == bytes) || (fresh != source.end() && fresh->second == bytes))
            << name << " is neither as it was nor a whole copy";
    }
    for (const auto& [name, bytes] : before)
        EXPECT_TRUE(now.count(name)) << name << " is gone";
}

// A clear error says why; a message box of the operation's own is its way of telling.
void ExpectClear(const TPointRun& r) {
    if (r.Reported.rfind("error: ", 0) == 0 || r.Reported.find("outcome: ") != std::string::npos)
        ExpectReasonGiven(r);
}

class ModuleFailurePoints : public ModuleTest {
protected:
    void SetUp() override {
        ModuleTest::SetUp();
        fs::create_directories(store / "db");
        // Hovory's counter lags behind its keys (the repair recreates it); Linky is healthy
        // and has a secondary index; Tarify is an unkeyed table of its own.
        MakeCallTable(store / "db/Hovory.DB", 25, 5);
        MakeCallTable(store / "db/Linky.DB", 12);
        CreateSecondaryIndex(store / "db/Linky.DB", {"Small"}, "", store.Path());
        MakeTable(store / "db/Tarify.db", AllTypesLayout(0), 8);
        database = DirectoryBytes(store / "db");
        { database::TOrvDatabaseModule madeOnce; }  // its private directory exists from now on
    }

    // Runs `op` on a fresh module opened on the database, as the task runner does, with its
    // own message boxes; returns what reached the caller: the error, each message shown and
    // each reason the repair recorded ("" when all went well).
    std::string RunModule(const std::function<void(database::TOrvDatabaseModule&)>& op) {
        ui::ScriptedUiServices ui;
        ui.Answer(ui::MsgAnswer::No);  // an unpacking error stops the unpacking
        const ui::ScopedUiServices installed(ui);
        std::string reported;
        try {
            database::TOrvDatabaseModule module;
            module.OpenSourceByDirectory(databaseDir.Path());
            try {
                op(module);
            } catch (...) {
                for (const auto& o : module.KeyRepairOutcomes)
                    if (!o.Reason.empty()) reported += " outcome: " + o.Reason;
                throw;
            }
            for (const auto& o : module.KeyRepairOutcomes)
                if (!o.Reason.empty()) reported += " outcome: " + o.Reason;
        } catch (const std::exception& e) {
            reported = "error: " + std::string(e.what()) + reported;
        }
        for (const auto& m : ui.messages) reported += " message: " + m.caption + ": " + m.text;
        return reported;
    }

    // The rows of `table`, without their keys, in whichever of its names holds them whole.
    int PlacesHolding(const std::string& table, const TRows& rows) {
        int places = 0;
        for (const std::string& name : {table, table + "Temp", table + "Old"}) {
            const std::string data = engine::FindDataFile(databaseDir.Path(), name);
            try {
                if (!data.empty() && WithoutKeys(data) == rows) ++places;
            } catch (const std::exception&) {
            }
        }
        return places;
    }

    TempDir store;
    TFiles database;
};

TEST_F(ModuleFailurePoints, DirectoryBackupKeepsTheOldBackupFileByFile) {
    // Yesterday's backup: other tables' data under the same names.
    fs::create_directories(store / "old");
    MakeCallTable(store / "old/Hovory.DB", 3);
    MakeCallTable(store / "old/Linky.DB", 4);
    const TFiles oldBackup = DirectoryBytes(store / "old");
    const std::string backup = other / "zaloha";
    ForEachFailurePoint(
        "directory backup",
        [&] {
            ResetDirectory(databaseDir.Path(), store / "db");
            ResetDirectory(backup, store / "old");
        },
        [&] { return RunModule([&](database::TOrvDatabaseModule& m) { m.BackupToDirectory(backup, true, 3); }); },
        [&](const TPointRun& r) {
            ExpectSameFiles(database, DirectoryBytes(databaseDir.Path()));  // a backup only reads
            const TFiles now = DirectoryBytes(backup);
            if (r.Reported.empty()) {
                for (const auto& [name, bytes] : database) EXPECT_TRUE(now.count(name) && now.at(name) == bytes) << name;
            } else {
                ExpectClear(r);
                ExpectEachFileOldOrNew(now, oldBackup, database);
            }
        });
}

TEST_F(ModuleFailurePoints, DirectoryRestoreLeavesEachFileOldOrRestored) {
    const TFiles good = database;
    // The database as it is now: Hovory damaged beyond use, the others changed since.
    fs::create_directories(store / "now");
    MakeCallTable(store / "now/Hovory.DB", 30);
    MakeCallTable(store / "now/Linky.DB", 2);
    MakeTable(store / "now/Tarify.db", AllTypesLayout(0), 3);
    const TFiles current = DirectoryBytes(store / "now");
    const std::string backup = other / "zaloha";
    ForEachFailurePoint(
        "directory restore",
        [&] {
            ResetDirectory(databaseDir.Path(), store / "now");
            ResetDirectory(backup, store / "db");
        },
        [&] { return RunModule([&](database::TOrvDatabaseModule& m) { m.RestoreFromDirectory(backup, 3); }); },
        [&](const TPointRun& r) {
            ExpectSameFiles(good, DirectoryBytes(backup));  // a restore only reads its backup
            const TFiles now = DirectoryBytes(databaseDir.Path());
            if (r.Reported.empty()) {
                for (const auto& [name, bytes] : good) EXPECT_TRUE(now.count(name) && now.at(name) == bytes) << name;
            } else {
                ExpectClear(r);
                ExpectEachFileOldOrNew(now, current, good);
            }
        });
}

TEST_F(ModuleFailurePoints, ZipBackupKeepsTheOldArchiveUntilTheNewOneIsWhole) {
    const std::string archive = other / "zaloha/Backup.zip";
    // Yesterday's archive.
    {
        ResetDirectory(databaseDir.Path(), store / "db");
        fs::remove(databaseDir / "Tarify.db");
        fs::remove(databaseDir / "Tarify.mb");
        ASSERT_EQ(RunModule([&](database::TOrvDatabaseModule& m) { m.BackupToZip(archive, true, 3); }), "");
        fs::copy_file(archive, store / "old.zip");
    }
    const std::string oldArchive = ReadAll(store / "old.zip");
    ForEachFailurePoint(
        "zip backup",
        [&] {
            ResetDirectory(databaseDir.Path(), store / "db");
            fs::copy_file(store / "old.zip", archive, fs::copy_options::overwrite_existing);
            for (const std::string& list : rtl::ListFiles(program.Path(), "ZIPList*")) fs::remove(program / list);
        },
        [&] { return RunModule([&](database::TOrvDatabaseModule& m) { m.BackupToZip(archive, true, 3); }); },
        [&](const TPointRun& r) {
            ExpectSameFiles(database, DirectoryBytes(databaseDir.Path()));
            // Nothing beside the archive: no temporary archive, no include list.
            EXPECT_EQ(rtl::ListFiles(other / "zaloha", "*"), std::vector<std::string>{"Backup.zip"});
            // The include list goes too, unless removing it was what failed.
            if (r.StruckAt.rfind("unlink", 0) != 0 || r.StruckAt.find("ZIPList") == std::string::npos) {
                EXPECT_TRUE(rtl::ListFiles(program.Path(), "ZIPList*").empty());
            }
            const bool old = ReadAll(archive) == oldArchive;
            if (r.Reported.empty()) {
                EXPECT_EQ(ArchiveFiles(archive), database) << "reported success without a whole archive";
            } else {
                ExpectClear(r);
                EXPECT_TRUE(old || ArchiveFiles(archive) == database) << "the archive is neither the old one nor whole";
            }
        });
}

TEST_F(ModuleFailurePoints, ZipRestoreLeavesEachFileOldOrRestored) {
    const std::string archive = other / "Backup.zip";
    ResetDirectory(databaseDir.Path(), store / "db");
    ASSERT_EQ(RunModule([&](database::TOrvDatabaseModule& m) { m.BackupToZip(archive, true, 3); }), "");
    const std::string archiveBytes = ReadAll(archive);
    fs::create_directories(store / "now");
    MakeCallTable(store / "now/Hovory.DB", 30);
    MakeTable(store / "now/Tarify.db", AllTypesLayout(0), 3);
    const TFiles current = DirectoryBytes(store / "now");
    ForEachFailurePoint(
        "zip restore", [&] { ResetDirectory(databaseDir.Path(), store / "now"); },
        [&] { return RunModule([&](database::TOrvDatabaseModule& m) { m.RestoreFromZip(archive); }); },
        [&](const TPointRun& r) {
            EXPECT_TRUE(ReadAll(archive) == archiveBytes);
            const TFiles now = DirectoryBytes(databaseDir.Path());
            if (r.Reported.empty()) {
                EXPECT_EQ(now, database) << "reported success without every file";
            } else {
                ExpectClear(r);
                ExpectEachFileOldOrNew(now, current, database);
            }
        });
}

TEST_F(ModuleFailurePoints, IndexDeletionNamesWhatItCouldNotDelete) {
    TFiles data, indexes;
    for (const auto& [name, bytes] : database) (rtl::MatchesMask(name, "*.db") || rtl::MatchesMask(name, "*.mb") ? data : indexes)[name] = bytes;
    ASSERT_GE(indexes.size(), 3u);
    ForEachFailurePoint(
        "index deletion", [&] { ResetDirectory(databaseDir.Path(), store / "db"); },
        [&] { return RunModule([&](database::TOrvDatabaseModule& m) { m.DeleteIndexes(); }); },
        [&](const TPointRun& r) {
            const TFiles now = DirectoryBytes(databaseDir.Path());
            for (const auto& [name, bytes] : data) EXPECT_TRUE(now.count(name) && now.at(name) == bytes) << name;
            for (const auto& [name, bytes] : now) {
                if (data.count(name)) continue;
                EXPECT_TRUE(indexes.count(name) && indexes.at(name) == bytes) << name;
                EXPECT_FALSE(r.Reported.empty()) << name << " is left, and success was reported";
            }
            if (!r.Reported.empty()) ExpectClear(r);
        });
}

TEST_F(ModuleFailurePoints, RecreatingATableKeepsEveryRowUnderOneOfItsNames) {
    const TRows hovory = WithoutKeys(store / "db/Hovory.DB");
    const TRows linky = WithoutKeys(store / "db/Linky.DB");
    ForEachFailurePoint(
        "key-violation recreate", [&] { ResetDirectory(databaseDir.Path(), store / "db"); },
        [&] {
            return RunModule([&](database::TOrvDatabaseModule& m) {
                m.TemporaryTable.TableName = "Hovory";
                m.KeyRepairOutcomes.emplace_back();  // where the recreate records why a copy failed
                m.RecreateTable(m.TemporaryTable);
            });
        },
        [&](const TPointRun& r) {
            if (r.Reported.empty()) {
                EXPECT_EQ(WithoutKeys(databaseDir / "Hovory.DB"), hovory);
                EXPECT_TRUE(engine::FindDataFile(databaseDir.Path(), "HovoryTemp").empty());
                EXPECT_TRUE(engine::FindDataFile(databaseDir.Path(), "HovoryOld").empty());
            } else {
                ExpectClear(r);
                EXPECT_GE(PlacesHolding("Hovory", hovory), 1) << "Hovory's rows are nowhere whole";
            }
            EXPECT_EQ(WithoutKeys(databaseDir / "Linky.DB"), linky);
        });
}

TEST_F(ModuleFailurePoints, TheWholeKeyViolationRepair) {
    const TRows hovory = WithoutKeys(store / "db/Hovory.DB");
    const TRows linky = WithoutKeys(store / "db/Linky.DB");
    ForEachFailurePoint(
        "key-violation repair", [&] { ResetDirectory(databaseDir.Path(), store / "db"); },
        [&] {
            return RunModule([&](database::TOrvDatabaseModule& m) { m.RepairKeyViolations("\"Hovory\",\"Linky\""); });
        },
        [&](const TPointRun& r) {
            EXPECT_GE(PlacesHolding("Hovory", hovory), 1) << "Hovory's rows are nowhere whole";
            EXPECT_EQ(WithoutKeys(databaseDir / "Linky.DB"), linky);
            if (r.Reported.empty()) {
                EXPECT_EQ(WithoutKeys(databaseDir / "Hovory.DB"), hovory);
            } else {
                ExpectClear(r);
                // Run again, the repair finishes, or names the table it will not touch.
                const std::string again = RunModule(
                    [&](database::TOrvDatabaseModule& m) { m.RepairKeyViolations("\"Hovory\",\"Linky\""); });
                if (!again.empty()) {
                    EXPECT_TRUE(again.find("HovoryTemp") != std::string::npos ||
                                again.find("HovoryOld") != std::string::npos)
                        << again;
                } else {
                    EXPECT_EQ(WithoutKeys(databaseDir / "Hovory.DB"), hovory);
                }
            }
        });
}

} // namespace
