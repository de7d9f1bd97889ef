#include "platform/engine/AliasConfig.h"
#include "platform/engine/EngineObjects.h"
#include "platform/engine/TableFamily.h"
#include "platform/rtl/FileListing.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace engine;
using Names = std::vector<std::string>;

namespace {

// Points the engine at a configuration file of the test's own for the test's lifetime.
class ScopedEngineConfig {
public:
    explicit ScopedEngineConfig(const std::string& path) { ::setenv(EngineConfigEnvVar, path.c_str(), 1); }
    ~ScopedEngineConfig() { ::unsetenv(EngineConfigEnvVar); }
};

class EngineObjects : public ::testing::Test {
protected:
    test::TempDir tmp;
    ScopedEngineConfig config{tmp / "engine.cfg"};

    void SetUp() override {
        session.SessionName = "SourceSession";
        session.Open();
        db.DatabaseName = "SrcDatabase";
        db.SessionName = "SourceSession";
        db.DriverName = "STANDARD";
    }

    void OpenDirectory(const std::string& dir) {
        db.Params.SetValue("PATH", dir);
        db.Open();
    }

    TSession session;
    TDatabase db;
};

} // namespace

TEST_F(EngineObjects, SecondLiveSessionOfTheSameNameIsRefused) {
    TSession other;
    other.SessionName = "sourcesession";
    EXPECT_THROW(other.Open(), EDBEngineError);
    session.Close();
    EXPECT_NO_THROW(other.Open());
}

TEST_F(EngineObjects, AliasesComeFromTheConfigurationFile) {
    std::filesystem::create_directory(tmp / "data");
    TAliasConfig cfg;
    rtl::TStringList params;
    params.SetValue("PATH", tmp / "data");
    cfg.SetAlias("Orvan", params);
    cfg.SetAlias("NoPath", rtl::TStringList{"DEFAULT DRIVER=PARADOX"});
    cfg.Save();

    rtl::TStringList names;
    session.GetAliasNames(names);
    EXPECT_EQ(names.Items(), (Names{"Orvan", "NoPath"}));
    rtl::TStringList read;
    session.GetAliasParams("ORVAN", read);
    EXPECT_EQ(read.Value("PATH"), tmp / "data");
    EXPECT_THROW(session.GetAliasParams("Missing", read), EDBEngineError);

    db.AliasName = "orvan";
    db.Open();
    EXPECT_EQ(db.Directory(), tmp / "data");
    EXPECT_EQ(db.Params.Value("PATH"), tmp / "data");
    db.Close();

    db.AliasName = "NoPath";
    db.Params.Clear();
    EXPECT_THROW(db.Open(), EDBEngineError);  // never falls back to the current directory
    db.AliasName = "Unknown";
    EXPECT_THROW(db.Open(), EDBEngineError);
    EXPECT_FALSE(db.Connected());
}

TEST_F(EngineObjects, MissingDirectoryAndMissingSessionAreErrors) {
    db.Params.SetValue("PATH", tmp / "missing");
    EXPECT_THROW(db.Open(), EDBEngineError);
    session.Close();
    db.Params.SetValue("PATH", tmp.Path());
    EXPECT_THROW(db.Open(), EDBEngineError);
}

TEST_F(EngineObjects, TableListIgnoresCaseAndKeepsDiskSpelling) {
    tmp.WriteFile("HOVORY.DB", "x");
    tmp.WriteFile("Tel_zoz.db", "x");
    tmp.WriteFile("Hovory.PX", "x");
    OpenDirectory(tmp.Path());
    rtl::TStringList names;
    db.GetTableNames(names, false);
    EXPECT_EQ(names.Items(), (Names{"HOVORY", "Tel_zoz"}));
    db.GetTableNames(names, true);
    EXPECT_EQ(names.Items(), (Names{"HOVORY.DB", "Tel_zoz.db"}));
}

TEST_F(EngineObjects, DeleteAndRenameMoveTheWholeFamilyOnly) {
    for (const char* f : {"HOVORY.DB", "HOVORY.MB", "Hovory.PX", "HOVORY.X02", "HOVORY.Y02", "hovory.XG0",
                          "hovory.YG0", "Hovory.VAL", "Hovory.xls", "Hovory.txt", "HovoryTemp.db"})
        tmp.WriteFile(f, f);
    OpenDirectory(tmp.Path());

    TTable table;
    table.DatabaseName = "SrcDatabase";
    table.SessionName = "SourceSession";
    table.TableName = "hovory";
    EXPECT_TRUE(table.Exists());
    EXPECT_EQ(table.DataFilePath(), tmp / "HOVORY.DB");

    table.TableName = "HovoryTemp";
    EXPECT_THROW(table.RenameTable("Hovory.db"), EDBEngineError);  // target family exists

    table.TableName = "hovory.db";
    table.RenameTable("Stare");
    EXPECT_EQ(rtl::ListFiles(tmp.Path(), "stare.*"),
              (Names{"Stare.DB", "Stare.MB", "Stare.PX", "Stare.VAL", "Stare.X02", "Stare.XG0", "Stare.Y02",
                     "Stare.YG0"}));
    EXPECT_EQ(rtl::ListFiles(tmp.Path(), "hovory.*"), (Names{"Hovory.txt", "Hovory.xls"}));

    table.TableName = "STARE";
    table.DeleteTable();
    EXPECT_TRUE(rtl::ListFiles(tmp.Path(), "stare.*").empty());
    EXPECT_FALSE(table.Exists());
    EXPECT_THROW(table.DeleteTable(), EDBEngineError);
}

TEST(TableFamily, SecondaryIndexExtensionsAreHexadecimal) {
    for (const char* e : {".db", ".MB", ".px", ".X02", ".y0F", ".XG0", ".YG9", ".val"})
        EXPECT_TRUE(IsTableFamilyExtension(e)) << e;
    for (const char* e : {".xls", ".x", ".x1", ".XG", ".bak", ".dbf", ".X0Z", ".y123"})
        EXPECT_FALSE(IsTableFamilyExtension(e)) << e;
    EXPECT_EQ(TableBaseName("/d/Hovory.DB"), "Hovory");
    EXPECT_EQ(TableBaseName("Hovory"), "Hovory");
}

TEST(EngineConfigLocation, TheVariableWinsElseTheUsersConfigurationDirectory) {
    const char* savedConfigHome = std::getenv("XDG_CONFIG_HOME");
    const std::string saved = savedConfigHome ? savedConfigHome : "";
    ::setenv("XDG_CONFIG_HOME", "/home/operator/.cfg", 1);
    {
        ScopedEngineConfig config("/srv/tablora/aliases.cfg");
        EXPECT_EQ(TAliasConfig::DefaultPath(), "/srv/tablora/aliases.cfg");
    }
    EXPECT_EQ(TAliasConfig::DefaultPath(), "/home/operator/.cfg/tablora/engine.cfg");
    if (savedConfigHome) ::setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
    else ::unsetenv("XDG_CONFIG_HOME");
}
