// The damage check with a structure from a backup: a table refused for its header is rebuilt
// under the header of its copy in one backup, or in the newest whole backup of a directory
// whose copy has a sound header; asked first when the run says so; a copy that does not fit
// the damaged file's blocks changes nothing.
#include "ModuleFixture.h"

#include "database/BackupStructure.h"
#include "platform/engine/ParadoxTables.h"
#include "platform/rtl/Messages.h"
#include "platform/rtl/Paths.h"
#include "tests/platform/engine/WriterFixtures.h"

#include <gtest/gtest.h>

#include <zip.h>

#include <filesystem>

namespace {

using namespace test;
namespace fs = std::filesystem;
using TKind = database::TStructureChoice::TKind;

class StructureFromBackupRun : public ModuleTest {
protected:
    TScopedLanguage slovak{rtl::TLanguage::Slovak};
    std::string table;  // the damaged table's data file
    std::size_t rows = 0;

    void SetUp() override {
        ModuleTest::SetUp();
        CopySample("paradoxdriver/src/test/resources/db/ORDERS.DB", databaseDir / "Hovory.DB");
        CopySample("paradoxdriver/src/test/resources/db/ORDERS.PX", databaseDir / "Hovory.PX");
        table = databaseDir / "Hovory.DB";
        rows = ReadRows(table).size();
    }
    // The field count one more than the records hold: the rebuild refuses the header.
    void DamageHeader(const std::string& path) {
        std::string bytes = ReadAll(path);
        bytes[0x21] = static_cast<char>(bytes[0x21] + 1);
        std::ofstream(path, std::ios::binary) << bytes;
    }
    std::string Backup(const std::string& name, bool zip) {
        const std::string path = other / name;
        if (zip) Module().BackupToZip(path, true, 3);
        else Module().BackupToDirectory(path, true, 3);
        return path;
    }
    // Dates a backup `hoursAgo` hours back, so that which is the newest is known.
    static void Date(const std::string& path, int hoursAgo) {
        fs::last_write_time(path, fs::file_time_type::clock::now() - std::chrono::hours(hoursAgo));
    }
};

TEST_F(StructureFromBackupRun, ATableRefusedForItsHeaderIsRebuiltFromEitherKindOfBackup) {
    for (const bool zip : {false, true}) {
        SCOPED_TRACE(zip ? "archive" : "directory");
        const auto intact = ReadRows(table);
        const std::string backup = Backup(zip ? "b.zip" : "b", zip);
        DamageHeader(table);
        Module().StructureFrom = {TKind::Backup, backup, false};
        Module().CheckAndRebuildTables("\"Hovory\"");
        ASSERT_EQ(Module().RebuildReports.size(), 1u);
        const auto& report = Module().RebuildReports[0];
        EXPECT_TRUE(report.Rebuilt) << report.Failure;
        EXPECT_NE(report.StructureFrom.find(backup), std::string::npos) << report.StructureFrom;
        EXPECT_EQ(report.RowsKept, rows);
        EXPECT_EQ(ReadRows(table), intact);
        // The refusal was shown; the run went on without stopping.
        ASSERT_FALSE(uiServices.messages.empty());
        EXPECT_EQ(uiServices.messages.back().text.find("preruš"), std::string::npos) << uiServices.messages.back().text;
        uiServices.messages.clear();
        fs::remove_all(other / (zip ? "b.zip" : "b"));
    }
}

TEST_F(StructureFromBackupRun, TheNewestWholeBackupWithASoundHeaderIsChosen) {
    const std::string older = Backup("older", false);
    const std::string unsound = Backup("unsound", false);
    DamageHeader(unsound + "/Hovory.DB");
    const std::string notWhole = Backup("notwhole.zip", true);
    {
        std::string bytes = ReadAll(notWhole);
        bytes.resize(bytes.size() / 2);
        std::ofstream(notWhole, std::ios::binary) << bytes;
    }
    Date(older, 30);
    Date(unsound, 20);
    Date(notWhole, 10);
    std::string why;
    const auto found = database::FindStructure({TKind::NewestIn, other.Path(), false}, "Hovory.DB", why);
    ASSERT_TRUE(found) << why;
    EXPECT_EQ(found->BackupPath, older);

    DamageHeader(table);
    Module().StructureFrom = {TKind::NewestIn, other.Path(), false};
    Module().CheckAndRebuildTables("\"Hovory\"");
    EXPECT_TRUE(Module().RebuildReports.at(0).Rebuilt);

    // With none of them sound, the run stops and says so.
    DamageHeader(older + "/Hovory.DB");
    EXPECT_FALSE(database::FindStructure({TKind::NewestIn, other.Path(), false}, "Hovory.DB", why));
    EXPECT_NE(why.find(other.Path()), std::string::npos) << why;
}

TEST_F(StructureFromBackupRun, TheWindowAsksFirstAndANoChangesNothing) {
    const std::string backup = Backup("Orvan-2026-12-09_2300.zip", true);
    DamageHeader(table);
    const auto before = DirectoryBytes(databaseDir.Path());
    Module().StructureFrom = {TKind::Backup, backup, true};
    uiServices.Answer(ui::TMsgAnswer::No);
    Module().CheckAndRebuildTables("\"Hovory\"");
    EXPECT_EQ(uiServices.PendingAnswers(), 0u);
    const auto question = std::find_if(uiServices.messages.begin(), uiServices.messages.end(),
                                       [](const ui::TMessageRequest& m) { return m.buttons == ui::TMsgButtons::YesNo; });
    ASSERT_NE(question, uiServices.messages.end());
    EXPECT_NE(question->text.find("Orvan-2026-12-09_2300.zip"), std::string::npos) << question->text;
    EXPECT_NE(question->text.find("Hovory"), std::string::npos) << question->text;
    EXPECT_NE(question->text.find("neporušenou hlavičkou"), std::string::npos) << question->text;
    EXPECT_EQ(question->defaultButton, ui::TMsgAnswer::No);
    EXPECT_FALSE(Module().RebuildReports.at(0).Rebuilt);
    ExpectSameFiles(before, DirectoryBytes(databaseDir.Path()));

    uiServices.messages.clear();
    uiServices.Answer(ui::TMsgAnswer::Yes);
    Module().CheckAndRebuildTables("\"Hovory\"");
    EXPECT_TRUE(Module().RebuildReports.at(0).Rebuilt);
    EXPECT_EQ(ReadRows(table).size(), rows);
}

TEST_F(StructureFromBackupRun, ABackupWithoutTheTableAsksNothingAndAMisfitChangesNothing) {
    // The window's chosen backup holds no copy: no question, the run stops as it always did.
    CopySample("paradoxdriver/src/test/resources/areas/AREACODE.DB", databaseDir / "Kody.DB");
    fs::create_directories(other / "elsewhere");
    CopySample("paradoxdriver/src/test/resources/areas/AREACODE.DB", other / "elsewhere/Kody.DB");
    DamageHeader(table);
    const auto before = DirectoryBytes(databaseDir.Path());
    Module().StructureFrom = {TKind::Backup, other / "elsewhere", true};
    Module().CheckAndRebuildTables("\"Hovory\"");
    for (const auto& m : uiServices.messages) EXPECT_NE(m.buttons, ui::TMsgButtons::YesNo) << m.text;
    EXPECT_FALSE(Module().RebuildReports.at(0).Rebuilt);
    ExpectSameFiles(before, DirectoryBytes(databaseDir.Path()));

    // Another table under the table's name: its records do not fit the blocks.
    CopySample("paradoxdriver/src/test/resources/areas/AREACODE.DB", other / "elsewhere/Hovory.DB");
    uiServices.messages.clear();
    Module().StructureFrom = {TKind::Backup, other / "elsewhere", false};
    Module().CheckAndRebuildTables("\"Hovory\"");
    EXPECT_FALSE(Module().RebuildReports.at(0).Rebuilt);
    EXPECT_NE(Module().RebuildReports.at(0).Failure.find("nezodpovedá"), std::string::npos)
        << Module().RebuildReports.at(0).Failure;
    ExpectSameFiles(before, DirectoryBytes(databaseDir.Path()));
}

// An archive holding the table's data file in two letter cases (the first with a renamed
// field): which of them is the table's copy cannot be told, so neither gives a structure; the
// archive holding one of them does.
TEST_F(StructureFromBackupRun, AnArchiveHoldingTheTableInTwoLetterCasesGivesNoStructure) {
    std::string renamed = ReadAll(table);
    const engine::paradox::TTableHeader h = engine::paradox::TParadoxTable::Open(table)->Header();
    const std::size_t at = renamed.find(h.Fields.at(0).Name + std::string(1, '\0'));
    ASSERT_NE(at, std::string::npos);
    renamed[at] = renamed[at] == 'X' ? 'Y' : 'X';
    const std::string intact = ReadAll(table);
    for (const bool twice : {true, false}) {
        SCOPED_TRACE(twice ? "two spellings" : "one");
        const std::string archive = other / (twice ? "twice.zip" : "once.zip");
        int error = 0;
        zip_t* z = zip_open(archive.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
        ASSERT_NE(z, nullptr);
        if (twice) {
            ASSERT_GE(zip_file_add(z, "HOVORY.DB", zip_source_buffer(z, renamed.data(), renamed.size(), 0), 0), 0);
        }
        ASSERT_GE(zip_file_add(z, "Hovory.DB", zip_source_buffer(z, intact.data(), intact.size(), 0), 0), 0);
        ASSERT_EQ(zip_close(z), 0);
        database::TDatedBackup b;
        b.Name = rtl::ExtractFileName(archive);
        b.Path = archive;
        b.Kind = database::TBackupKind::Archive;
        std::string why;
        const auto found = database::StructureInBackup(b, table, why);
        EXPECT_EQ(found.has_value(), !twice) << why;
        if (twice) {
            EXPECT_NE(why.find("dvakrát"), std::string::npos) << why;
        }
    }
}

} // namespace
