#include "platform/rtl/AppLocations.h"
#include "platform/rtl/Process.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#ifdef _WIN32
#include <process.h>
#else
#include <unistd.h>
#endif

namespace {

namespace fs = std::filesystem;

void SetVariable(const std::string& name, const std::optional<std::string>& value) {
#ifdef _WIN32
    // _putenv_s also sets the process environment the Win32 calls read; "" removes.
    ::_putenv_s(name.c_str(), value ? value->c_str() : "");
#else
    if (value) setenv(name.c_str(), value->c_str(), 1);
    else unsetenv(name.c_str());
#endif
}

int ProcessId() {
#ifdef _WIN32
    return ::_getpid();
#else
    return static_cast<int>(::getpid());
#endif
}

// A scratch directory and the user's folders pointed into it; everything restored after.
class AppLocationsTest : public ::testing::Test {
protected:
    AppLocationsTest()
        : root_(fs::temp_directory_path() / ("tablora-locations-" + std::to_string(ProcessId()))) {
        fs::create_directories(root_);
        for (const char* name : {"APPDATA", "LOCALAPPDATA", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_RUNTIME_DIR",
                                 "HOME", "TMPDIR", "TMP"}) {
            const char* value = std::getenv(name);
            saved_.emplace_back(name, value ? std::optional<std::string>(value) : std::nullopt);
        }
    }
    ~AppLocationsTest() override {
        for (const auto& [name, value] : saved_) SetVariable(name, value);
        rtl::OverrideProgramDirectory("");
        std::error_code ec;
        fs::remove_all(root_, ec);
    }
    std::string Under(const std::string& name) const { return (root_ / name).make_preferred().string(); }

    fs::path root_;
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

#ifdef _WIN32

TEST_F(AppLocationsTest, TheUsersRoamingAndLocalFoldersHoldTheProgramsOwn) {
    SetVariable("APPDATA", Under("Roaming"));
    SetVariable("LOCALAPPDATA", Under("Local") + "\\");
    EXPECT_EQ(rtl::UserConfigDirectory(), Under("Roaming") + "\\Tablora");
    // The runtime directory is made on demand, the trailing separator of the variable dropped.
    EXPECT_EQ(rtl::UserRuntimeDirectory(), Under("Local") + "\\Tablora");
    EXPECT_TRUE(fs::is_directory(Under("Local") + "\\Tablora"));

    SetVariable("APPDATA", std::nullopt);
    EXPECT_EQ(rtl::UserConfigDirectory(), "");
}

TEST_F(AppLocationsTest, TheProgramDirectoryIsTheFolderOfTheExe) {
    const std::string dir = rtl::ProgramDirectory();
    EXPECT_TRUE(fs::exists(fs::path(dir) / "rtl_tests.exe")) << dir;
    EXPECT_NE(dir.back(), '\\');
}

TEST_F(AppLocationsTest, TemporaryFilesGoWhereTheSystemSays) {
    // GetTempPathW reads %TMP% first and hands it back with a trailing separator.
    fs::create_directories(Under("Temp"));
    SetVariable("TMP", Under("Temp") + "\\");
    EXPECT_EQ(rtl::TemporaryDirectory(), Under("Temp"));
}

TEST_F(AppLocationsTest, AProgramFolderThatTakesNoFilesSendsThemToTheUsersLocalFolder) {
    SetVariable("LOCALAPPDATA", Under("Local"));
    fs::create_directories(Under("Program"));
    rtl::OverrideProgramDirectory(Under("Program"));
    EXPECT_EQ(rtl::WritableProgramDirectory(), Under("Program"));
    EXPECT_TRUE(fs::is_empty(Under("Program")));  // the probe leaves nothing behind

    rtl::OverrideProgramDirectory(Under("Missing"));
    EXPECT_EQ(rtl::WritableProgramDirectory(), Under("Local") + "\\Tablora");
    EXPECT_TRUE(fs::is_directory(Under("Local") + "\\Tablora"));
}

#else

TEST_F(AppLocationsTest, TheConfigurationDirectoryFollowsXdgElseHome) {
    SetVariable("XDG_CONFIG_HOME", Under("config"));
    EXPECT_EQ(rtl::UserConfigDirectory(), Under("config") + "/tablora");
    SetVariable("XDG_CONFIG_HOME", std::nullopt);
    SetVariable("HOME", Under("home"));
    EXPECT_EQ(rtl::UserConfigDirectory(), Under("home") + "/.config/tablora");
    SetVariable("HOME", std::nullopt);
    EXPECT_EQ(rtl::UserConfigDirectory(), "");
}

TEST_F(AppLocationsTest, TheProgramDirectoryIsTheFolderOfTheProgramFile) {
    EXPECT_TRUE(fs::exists(fs::path(rtl::ProgramDirectory()) / "rtl_tests")) << rtl::ProgramDirectory();
}

TEST_F(AppLocationsTest, TemporaryFilesGoToTmpdir) {
    SetVariable("TMPDIR", Under(""));
    EXPECT_EQ(fs::path(rtl::TemporaryDirectory()), fs::path(Under("")));
}

TEST_F(AppLocationsTest, AProgramFolderThatTakesNoFilesSendsThemToTheUsersDataFolder) {
    SetVariable("XDG_DATA_HOME", Under("data"));
    fs::create_directories(Under("program"));
    rtl::OverrideProgramDirectory(Under("program"));
    EXPECT_EQ(rtl::WritableProgramDirectory(), Under("program"));

    rtl::OverrideProgramDirectory(Under("missing"));
    EXPECT_EQ(rtl::WritableProgramDirectory(), Under("data") + "/tablora");
    EXPECT_TRUE(fs::is_directory(Under("data") + "/tablora"));
}

// Installed by the package into /usr/bin: even root (who may write there) keeps its files in
// its own data folder, so removing the package leaves nothing behind.
TEST_F(AppLocationsTest, AnInstalledProgramsFolderTakesNoFilesEvenWhereItIsWritable) {
    SetVariable("XDG_DATA_HOME", Under("data"));
    for (const char* installed : {"/usr/bin", "/usr/local/bin", "/opt/tablora"}) {
        rtl::OverrideProgramDirectory(installed);
        EXPECT_EQ(rtl::WritableProgramDirectory(), Under("data") + "/tablora") << installed;
    }
    // A folder merely named like one is not one.
    fs::create_directories(Under("usrx"));
    rtl::OverrideProgramDirectory(Under("usrx"));
    EXPECT_EQ(rtl::WritableProgramDirectory(), Under("usrx"));
}

#endif

}  // namespace
