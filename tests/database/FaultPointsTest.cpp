// Every call the module's writing operations make through the file-system seam fails in
// turn (ENOSPC, EIO, EACCES, EROFS), from opening the source to the last directory flush, and
// the operation is killed with SIGKILL at each call that changes the disk. A failed run must
// reach the caller as an error that says why, or as the operation's own message box, and
// leave nothing of its own behind; after a failure or a kill every file, every row, must be
// found where it was or in the place the operation documents: the old backup, the old
// archive, the key repair's work table. After a kill the operation run again finishes (or names
// the leftover it will not touch) and clears what the killed run left.
#include "CallTables.h"
#include "ModuleFixture.h"
#include "database/BackupManifest.h"
#include "platform/engine/TableFamily.h"
#include "platform/engine/ParadoxWriters.h"
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
    // A restore's staging directory comes along with what it holds.
    CopyKeepingTimes(from, dir);
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

// Each file of `now` holds whole either the bytes it had `before` or those of `source`, and
// no file of `before` is gone. Hidden files (temporaries of a killed run) are not looked at.
void ExpectEachFileOldOrNew(const TFiles& now, const TFiles& before, const TFiles& source) {
    for (const auto& [name, bytes] : now) {
        if (name[0] == '.') continue;
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

// The hidden files of `dir`: what a run left of its temporaries.
std::vector<std::string> HiddenFiles(const std::string& dir) {
    std::vector<std::string> hidden;
    for (const std::string& name : rtl::ListFiles(dir, ".*")) hidden.push_back(name);
    return hidden;
}

// What an operation must leave, told apart for each way a run can end.
struct TExpectations {
    std::function<void()> OldOrNew;  // after a failure or a kill
    std::function<void()> New;       // after success
    // After a kill, the operation run again: checks what it reported ("" unless told
    // otherwise); false when the killed run's leftovers may stay (a table the user must look at).
    std::function<bool(const std::string& reported)> Again;
    std::function<void(const TPointRun&)> AfterFailure;  // after a reported failure, more than OldOrNew
    std::vector<std::string> Directories;  // where its temporaries go
};

// The key repair's work table for `table`.
std::string WorkTable(const std::string& table) { return ".~" + table + "~kopia"; }

// The repair may be run again after a kill: it finishes, or names the leftover of the killed
// run that may hold the only copy of some rows, and touches nothing.
std::function<bool(const std::string&)> FinishedOrLeftoverNamed() {
    return [](const std::string& again) {
        if (!again.empty()) {
            // Named as the table's work copy, not by its internal file name.
            EXPECT_NE(again.find("the work copy of the table \"Hovory\""), std::string::npos) << again;
            return false;
        }
        return true;
    };
}

class ModuleFaultPoints : public ModuleTest {
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
        ui::TScriptedUiServices ui;
        ui.Answer(ui::TMsgAnswer::No);  // an unpacking error stops the unpacking
        const ui::TScopedUiServices installed(ui);
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

    // Fails and kills `op` at each point; `prepare` puts the files back first.
    void ExpectEveryFaultPoint(const std::string& operation, const std::function<void()>& prepare,
                               const std::function<void(database::TOrvDatabaseModule&)>& op,
                               const TExpectations& expect) {
        std::vector<std::string> places = expect.Directories;
        places.push_back(databaseDir.Path());
        places.push_back(program.Path());
        // Nothing of the run's own is left, unless removing it was what failed.
        auto nothingLeft = [&](const TPointRun& r) {
            if (r.StruckAt.rfind("unlink", 0) == 0) return;
            for (const std::string& dir : places) EXPECT_EQ(HiddenFiles(dir), std::vector<std::string>{}) << dir;
            EXPECT_EQ(rtl::ListFiles(program.Path(), "ZIPList*"), std::vector<std::string>{});
        };
        ForEachFaultPoint(
            operation, prepare, [&] { return RunModule(op); },
            [&](const TPointRun& r) {
                if (r.Killed) {
                    // The checks look as the next writer would, completing what the killed run
                    // left half done; the run after the kill must do that itself, so it gets the
                    // files as the kill left them.
                    const std::string killed = store / "killed";
                    ResetDirectory(killed, databaseDir.Path());
                    CompleteAsTheNextWriter(databaseDir.Path());
                    expect.OldOrNew();
                    ResetDirectory(databaseDir.Path(), killed);
                    // Run again, it clears what the killed run left, or names what it will not touch.
                    const std::string again = RunModule(op);
                    bool cleared = again.empty();
                    if (expect.Again) cleared = expect.Again(again);
                    else EXPECT_EQ(again, "") << "the operation failed when run again after the kill";
                    // Leftovers first: the engine's lookups in the checks would clear them.
                    if (cleared) {
                        nothingLeft(r);
                        expect.New();
                    } else {
                        expect.OldOrNew();
                    }
                } else if (r.Reported.empty()) {
                    nothingLeft(r);
                    expect.New();
                } else {
                    // A family change that failed half way leaves its journal to the next
                    // writer, as which the checks look: nothing may be left after it.
                    ExpectClear(r);
                    CompleteAsTheNextWriter(databaseDir.Path());
                    expect.OldOrNew();
                    if (expect.AfterFailure) expect.AfterFailure(r);
                    nothingLeft(r);
                }
            });
    }

    // How many of the names `table` may hold its rows under hold them whole (without keys).
    int PlacesHolding(const std::string& table, const TRows& rows) {
        int places = 0;
        for (const std::string& name : {table, WorkTable(table)}) {
            const std::string data = engine::FindDataFile(databaseDir.Path(), name);
            try {
                if (!data.empty() && WithoutKeys(data) == rows) ++places;
            } catch (const std::exception&) {
            }
        }
        return places;
    }

    // What the key-violation repair (or one recreate) must leave: Hovory's rows whole under
    // one of its names, and once done, under its own name alone; Linky as it was.
    TExpectations RowsKept() {
        TExpectations expect;
        const TRows hovory = WithoutKeys(store / "db/Hovory.DB");
        const TRows linky = WithoutKeys(store / "db/Linky.DB");
        expect.OldOrNew = [this, hovory, linky] {
            EXPECT_GE(PlacesHolding("Hovory", hovory), 1) << "Hovory's rows are nowhere whole";
            EXPECT_EQ(WithoutKeys(databaseDir / "Linky.DB"), linky);
        };
        expect.New = [this, hovory, linky] {
            EXPECT_EQ(WithoutKeys(databaseDir / "Hovory.DB"), hovory);
            EXPECT_TRUE(engine::FindDataFile(databaseDir.Path(), WorkTable("Hovory")).empty());
            EXPECT_EQ(WithoutKeys(databaseDir / "Linky.DB"), linky);
        };
        expect.Again = FinishedOrLeftoverNamed();
        // A failure the run saw is undone by the run: the billing application finds the
        // table under its own name, never only aside.
        expect.AfterFailure = [this, hovory](const TPointRun&) {
            const std::string data = engine::FindDataFile(databaseDir.Path(), "Hovory");
            ASSERT_FALSE(data.empty()) << "Hovory is gone after a failed run";
            EXPECT_EQ(WithoutKeys(data), hovory);
        };
        return expect;
    }

    TempDir store;
    TFiles database;
};

TEST_F(ModuleFaultPoints, DirectoryBackupKeepsTheOldBackupFileByFile) {
    // Yesterday's backup: other tables' data under the same names.
    fs::create_directories(store / "old");
    MakeCallTable(store / "old/Hovory.DB", 3);
    MakeCallTable(store / "old/Linky.DB", 4);
    const TFiles oldBackup = DirectoryBytes(store / "old");
    const std::string backup = other / "zaloha";
    TExpectations expect;
    expect.Directories = {backup};
    expect.OldOrNew = [&] {
        ExpectSameFiles(database, DirectoryBytes(databaseDir.Path()));  // a backup only reads
        // The record of the files is the new backup's own: where it stands, it names what the
        // directory holds; the old backup had none.
        TFiles now = DirectoryBytes(backup);
        if (now.erase(database::BackupManifestName)) {
            EXPECT_TRUE(database::ManifestDisagreements(database::ReadBackupManifest(backup),
                                                        database::TableFilesHeld(backup))
                            .empty());
        }
        ExpectEachFileOldOrNew(now, oldBackup, database);
    };
    expect.New = [&] {
        ExpectSameFiles(database, DirectoryBytes(databaseDir.Path()));
        const TFiles now = DirectoryBytes(backup);
        for (const auto& [name, bytes] : database) EXPECT_TRUE(now.count(name) && now.at(name) == bytes) << name;
    };
    ExpectEveryFaultPoint(
        "directory backup",
        [&] {
            ResetDirectory(databaseDir.Path(), store / "db");
            ResetDirectory(backup, store / "old");
        },
        [&](database::TOrvDatabaseModule& m) { m.BackupToDirectory(backup, true, 3); }, expect);
}

TEST_F(ModuleFaultPoints, DirectoryRestoreLeavesEachFileOldOrRestored) {
    // The database as it is now: Hovory damaged beyond use, the others changed since.
    fs::create_directories(store / "now");
    MakeCallTable(store / "now/Hovory.DB", 30);
    MakeCallTable(store / "now/Linky.DB", 2);
    MakeTable(store / "now/Tarify.db", AllTypesLayout(0), 3);
    const TFiles current = DirectoryBytes(store / "now");
    const std::string backup = other / "zaloha";
    TExpectations expect;
    expect.OldOrNew = [&] {
        ExpectSameFiles(database, DirectoryBytes(backup));  // a restore only reads its backup
        ExpectEachFileOldOrNew(DirectoryBytes(databaseDir.Path()), current, database);
    };
    expect.New = [&] {
        const TFiles now = DirectoryBytes(databaseDir.Path());
        for (const auto& [name, bytes] : database) EXPECT_TRUE(now.count(name) && now.at(name) == bytes) << name;
    };
    ExpectEveryFaultPoint(
        "directory restore",
        [&] {
            ResetDirectory(databaseDir.Path(), store / "now");
            ResetDirectory(backup, store / "db");
        },
        [&](database::TOrvDatabaseModule& m) { m.RestoreFromDirectory(backup, 3); }, expect);
}

TEST_F(ModuleFaultPoints, ZipBackupKeepsTheOldArchiveUntilTheNewOneIsWhole) {
    const std::string archive = other / "zaloha/Backup.zip";
    // Yesterday's archive.
    ResetDirectory(databaseDir.Path(), store / "db");
    fs::remove(databaseDir / "Tarify.db");
    fs::remove(databaseDir / "Tarify.mb");
    ASSERT_EQ(RunModule([&](database::TOrvDatabaseModule& m) { m.BackupToZip(archive, true, 3); }), "");
    fs::copy_file(archive, store / "old.zip");
    const std::string oldArchive = ReadAll(store / "old.zip");
    TExpectations expect;
    expect.Directories = {other / "zaloha"};
    expect.OldOrNew = [&] {
        ExpectSameFiles(database, DirectoryBytes(databaseDir.Path()));
        EXPECT_TRUE(ReadAll(archive) == oldArchive || ArchiveFiles(archive) == database)
            << "the archive is neither the old one nor whole";
    };
    expect.New = [&] {
        ExpectSameFiles(database, DirectoryBytes(databaseDir.Path()));
        EXPECT_EQ(ArchiveFiles(archive), database) << "no whole new archive";
    };
    ExpectEveryFaultPoint(
        "zip backup",
        [&] {
            ResetDirectory(databaseDir.Path(), store / "db");
            fs::copy_file(store / "old.zip", archive, fs::copy_options::overwrite_existing);
            for (const std::string& list : rtl::ListFiles(program.Path(), "ZIPList*")) fs::remove(program / list);
            for (const std::string& temp : HiddenFiles(other / "zaloha")) fs::remove(other / ("zaloha/" + temp));
        },
        [&](database::TOrvDatabaseModule& m) { m.BackupToZip(archive, true, 3); }, expect);
}

TEST_F(ModuleFaultPoints, ZipRestoreLeavesEachFileOldOrRestored) {
    const std::string archive = other / "Backup.zip";
    ResetDirectory(databaseDir.Path(), store / "db");
    ASSERT_EQ(RunModule([&](database::TOrvDatabaseModule& m) { m.BackupToZip(archive, true, 3); }), "");
    const std::string archiveBytes = ReadAll(archive);
    fs::create_directories(store / "now");
    MakeCallTable(store / "now/Hovory.DB", 30);
    MakeTable(store / "now/Tarify.db", AllTypesLayout(0), 3);
    const TFiles current = DirectoryBytes(store / "now");
    TExpectations expect;
    expect.OldOrNew = [&] {
        EXPECT_TRUE(ReadAll(archive) == archiveBytes);
        ExpectEachFileOldOrNew(DirectoryBytes(databaseDir.Path()), current, database);
    };
    expect.New = [&] { EXPECT_EQ(DirectoryBytes(databaseDir.Path()), database) << "not every file restored"; };
    ExpectEveryFaultPoint(
        "zip restore", [&] { ResetDirectory(databaseDir.Path(), store / "now"); },
        [&](database::TOrvDatabaseModule& m) { m.RestoreFromZip(archive); }, expect);
}

TEST_F(ModuleFaultPoints, IndexDeletionNamesWhatItCouldNotDelete) {
    TFiles data, indexes;
    for (const auto& [name, bytes] : database)
        (rtl::MatchesMask(name, "*.db") || rtl::MatchesMask(name, "*.mb") ? data : indexes)[name] = bytes;
    ASSERT_GE(indexes.size(), 3u);
    TExpectations expect;
    expect.OldOrNew = [&] {
        const TFiles now = DirectoryBytes(databaseDir.Path());
        for (const auto& [name, bytes] : data) EXPECT_TRUE(now.count(name) && now.at(name) == bytes) << name;
        for (const auto& [name, bytes] : now)
            EXPECT_TRUE(data.count(name) || (indexes.count(name) && indexes.at(name) == bytes)) << name;
    };
    expect.New = [&] { EXPECT_EQ(DirectoryBytes(databaseDir.Path()), data) << "an index is left"; };
    ExpectEveryFaultPoint(
        "index deletion", [&] { ResetDirectory(databaseDir.Path(), store / "db"); },
        [&](database::TOrvDatabaseModule& m) { m.DeleteIndexes(); }, expect);
}

TEST_F(ModuleFaultPoints, RecreatingATableKeepsEveryRowUnderOneOfItsNames) {
    ExpectEveryFaultPoint(
        "key-violation recreate", [&] { ResetDirectory(databaseDir.Path(), store / "db"); },
        [&](database::TOrvDatabaseModule& m) {
            m.TemporaryTable.TableName = "Hovory";
            m.KeyRepairOutcomes.emplace_back();  // where the recreate records why a copy failed
            m.RecreateTable(m.TemporaryTable);
        },
        RowsKept());
}

TEST_F(ModuleFaultPoints, TheWholeKeyViolationRepair) {
    ExpectEveryFaultPoint(
        "key-violation repair", [&] { ResetDirectory(databaseDir.Path(), store / "db"); },
        [&](database::TOrvDatabaseModule& m) { m.RepairKeyViolations("\"Hovory\",\"Linky\""); }, RowsKept());
}

} // namespace
