// The module's session, its two ways of opening the source, and its status reporting.
#include "tests/database/ModuleFixture.h"

#include "platform/rtl/Paths.h"

namespace {

class ModuleSession : public test::ModuleTest {
protected:
    void WriteAliases(const std::string& text) { program.WriteFile("engine.cfg", text); }
};

TEST_F(ModuleSession, KeepsItsPrivateDirectoryInTempDirBesideTheProgram) {
    database::TOrvDatabaseModule module;
    EXPECT_EQ(module.SourceSession.PrivateDir, program / "TempDir");
    EXPECT_TRUE(rtl::DirectoryExists(program / "TempDir"));
    EXPECT_TRUE(module.SourceSession.Active());
}

TEST_F(ModuleSession, FallsBackToTheProgramDirectoryWhenTempDirCannotBeMade) {
    program.WriteFile("TempDir", "a file where the directory should be");
    database::TOrvDatabaseModule module;
    EXPECT_EQ(module.SourceSession.PrivateDir, program.Path());
}

TEST_F(ModuleSession, FreeingTheModuleClosesEverythingSoTheNextOneCanStart) {
    auto first = std::make_unique<database::TOrvDatabaseModule>();
    first->OpenSourceByDirectory(databaseDir.Path());
    EXPECT_THROW(database::TOrvDatabaseModule second, engine::EDBEngineError);
    first.reset();
    database::TOrvDatabaseModule third;
    EXPECT_NO_THROW(third.OpenSourceByDirectory(databaseDir.Path()));
}

TEST_F(ModuleSession, OpensByAliasAndListsAliasesAndTheirDirectories) {
    WriteAliases("[Orvan]\nPATH=" + databaseDir.Path() + "\n\n[Prazdny]\nDEFAULT DRIVER=PARADOX\n");
    databaseDir.WriteFile("HOVORY.DB", "x");
    databaseDir.WriteFile("Brany.db", "x");
    database::TOrvDatabaseModule module;
    rtl::TStringList aliases{"stale"};
    module.ListAliases(aliases);
    EXPECT_EQ(aliases.Items(), (std::vector<std::string>{"Orvan", "Prazdny"}));
    EXPECT_EQ(module.GetAliasDirectory("Orvan"), databaseDir.Path());
    EXPECT_EQ(module.GetAliasDirectory("Prazdny"), "");

    module.OpenSourceByAlias("Orvan");
    EXPECT_TRUE(module.SourceDatabase.Connected());
    EXPECT_EQ(module.DatabaseDirectory(), databaseDir.Path());
    EXPECT_EQ(module.CountTables(), 2);
    rtl::TStringList names;
    module.ListTableNames(names, false);
    EXPECT_EQ(names.Items(), (std::vector<std::string>{"Brany", "HOVORY"}));
}

// An alias without PATH must never make the file operations work on the process's current
// directory: opening refuses, and so does every file operation of a module left unopened.
TEST_F(ModuleSession, AnAliasWithoutPathIsRefusedByNameAndNoFileIsTouched) {
    WriteAliases("[Prazdny]\nDEFAULT DRIVER=PARADOX\n");
    const std::string cwd = std::filesystem::current_path();
    std::filesystem::current_path(databaseDir.Path());
    databaseDir.WriteFile("Hovory.px", "index");
    database::TOrvDatabaseModule module;
    try {
        module.OpenSourceByAlias("Prazdny");
        ADD_FAILURE() << "opened an alias without PATH";
    } catch (const rtl::EError& e) {
        EXPECT_NE(std::string(e.what()).find("Prazdny"), std::string::npos) << e.what();
    }
    try {
        module.DeleteIndexes();
        ADD_FAILURE() << "deleted indexes without a database directory";
    } catch (const rtl::EError& e) {
        EXPECT_NE(std::string(e.what()).find("Prazdny"), std::string::npos) << e.what();
    }
    EXPECT_THROW(module.BackupToDirectory(other.Path(), true, 3), rtl::EError);
    std::filesystem::current_path(cwd);
    EXPECT_TRUE(rtl::FileExists(databaseDir / "Hovory.px"));
}

TEST_F(ModuleSession, ReopeningByDirectoryLeavesTheAliasBehind) {
    WriteAliases("[Orvan]\nPATH=" + other.Path() + "\n");
    database::TOrvDatabaseModule module;
    module.OpenSourceByAlias("Orvan");
    module.OpenSourceByDirectory(databaseDir.Path());
    EXPECT_EQ(module.DatabaseDirectory(), databaseDir.Path());
    EXPECT_EQ(module.SourceDatabase.AliasName, "");
    EXPECT_EQ(module.SourceDatabase.Params.Value("DEFAULT DRIVER"), "PARADOX");
    EXPECT_EQ(module.SourceDatabase.Params.Value("ENABLE BCD"), "FALSE");
}

// The window repaints only when the shown text really changes: equal texts (letter case
// aside) in a loop cost nothing.
TEST_F(ModuleSession, ProcessesPendingMessagesOnlyWhenTheStatusChanges) {
    database::TOrvDatabaseModule module;
    test::TRecordingText label;
    module.StatusLabel = &label;
    module.ShowStatus("Hovory");
    module.ShowStatus("Hovory");
    module.ShowStatus("HOVORY");
    EXPECT_EQ(uiServices.processMessagesCalls, 1);
    EXPECT_EQ(label.Text(), "HOVORY");
    module.ShowStatus("Brany");
    EXPECT_EQ(uiServices.processMessagesCalls, 2);

    module.StatusLabel = nullptr;
    module.ShowStatus("anything");  // no target: nothing to repaint
    EXPECT_EQ(uiServices.processMessagesCalls, 2);
}

} // namespace
