// tablora-cli.exe and pdx.exe run as Windows runs them (CreateProcessW, a UTF-16 command line)
// on what a Windows operator has: Slovak table and folder names, paths past 260 characters,
// a database on a network share, and a table the billing application holds open without
// sharing it. Built for Windows only; the helper that holds a file is tests/support/HoldFile.cpp.
#include "platform/rtl/FileIo.h"
#include "platform/rtl/FileListing.h"
#include "platform/rtl/FileSystem.h"
#include "platform/rtl/Paths.h"
#include "platform/rtl/Process.h"
#include "tests/support/Samples.h"
#include "tests/support/TempDir.h"
#include "tests/support/Win32Process.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

namespace {

using test::RunWin32;

// Our programs, found from the test program's own folder.
std::string Program(std::string relative) {
    for (char& c : relative)
        if (c == '/') c = '\\';
    return test::ProgramDirectory() + relative;
}
const std::string Cli = Program(TABLORA_CLI_RELATIVE);
const std::string Pdx = Program(PDX_RELATIVE);
const std::string HoldFile = Program(TABLORA_TEST_HOLD_FILE_RELATIVE);

std::string Bytes(const std::string& path) {
    std::string content;
    return rtl::ReadWholeFile(path, content) ? content : "<unreadable " + std::to_string(errno) + ">";
}

void Write(const std::string& path, const std::string& content) {
    rtl::TFileDescriptor fd(rtl::FileSystem().Open(path, O_WRONLY | O_CREAT | O_TRUNC));
    ASSERT_TRUE(fd.Valid()) << path << ": " << errno;
    ASSERT_TRUE(rtl::WriteAll(fd.Get(), content.data(), content.size()));
}

// The files of the sample table `sample` (its data, memo and index files) copied into `dir`
// (made when missing) as table `name`; the path of its data file.
std::string PutTable(const std::string& dir, const std::string& sample, const std::string& name) {
    EXPECT_TRUE(rtl::ForceDirectories(dir)) << dir << ": " << errno;
    const std::string from = test::Sample(sample);
    const std::string folder = rtl::ExtractFileDir(from), stem = rtl::ChangeFileExt(rtl::ExtractFileName(from), "");
    for (const auto& e : std::filesystem::directory_iterator(folder)) {
        const std::string file = e.path().filename().string();
        if (rtl::ChangeFileExt(file, "") == stem) Write(dir + "\\" + name + rtl::ExtractFileExt(file), test::FileBytes(e.path().string()));
    }
    return dir + "\\" + name + rtl::ExtractFileExt(from);
}

void RemoveTree(const std::string& path) {
    std::wstring wide;
    std::error_code ignored;
    if (rtl::ToWide(path, wide)) std::filesystem::remove_all(wide, ignored);
}

// The names in `dir`, sorted.
std::vector<std::string> Names(const std::string& dir) {
    std::vector<rtl::TDirEntry> entries;
    rtl::FileSystem().ListDirectory(dir, entries);
    std::vector<std::string> names;
    for (const auto& e : entries) names.push_back(e.Name);
    std::sort(names.begin(), names.end());
    return names;
}

// Every file under `dir` (names relative to it) with its bytes.
std::map<std::string, std::string> Files(const std::string& dir) {
    std::map<std::string, std::string> files;
    std::vector<rtl::TDirEntry> entries;
    if (rtl::FileSystem().ListDirectory(dir, entries) != 0) return files;
    for (const auto& e : entries) {
        if (e.Kind == rtl::TFileKind::Directory) {
            for (const auto& [name, bytes] : Files(dir + "\\" + e.Name)) files[e.Name + "\\" + name] = bytes;
        } else {
            files[e.Name] = Bytes(dir + "\\" + e.Name);
        }
    }
    return files;
}

// A directory backup's files without the record of them it writes last.
std::map<std::string, std::string> BackedUpFiles(const std::string& dir) {
    std::map<std::string, std::string> files = Files(dir);
    EXPECT_EQ(files.erase("tablora-backup.txt"), 1u) << "no record of the backup's files";
    return files;
}

class CliWindows : public ::testing::Test {
protected:
    test::TempDir tmp;
    // The folder our programs' standard streams are written to.
    std::string Scratch() const { return tmp.Path(); }
    test::TWin32Run Run(const std::string& program, const std::vector<std::string>& args,
                        const std::vector<std::string>& environment = {}) {
        return RunWin32(program, args, Scratch(), "", environment);
    }
};

// A folder and a table named in Slovak reach both programs whole from the command line, and
// come back in their output as UTF-8 (into a file, as a script reads it): the backup and the
// restore of such a table leave the same bytes under the same names.
TEST_F(CliWindows, SlovakFolderAndTableNamesGoInAndComeOutWhole) {
    const std::string zalohy = tmp.Path() + "\\Zálohy";
    const std::string data = zalohy + "\\Dáta";
    const std::string table = PutTable(data, "Rparadox/inst/extdata/country.db", "Číselník");
    const std::string plain = PutTable(tmp.Path() + "\\plain", "Rparadox/inst/extdata/country.db", "Ciselnik");

    const test::TWin32Run dump = Run(Pdx, {"dump", table});
    EXPECT_EQ(dump.Code, 0u) << dump.Err;
    EXPECT_EQ(dump.Out, Run(Pdx, {"dump", plain}).Out);

    const test::TWin32Run check = Run(Cli, {"check", "--dir", data, "--tables", "Číselník"});
    EXPECT_EQ(check.Out.substr(0, 20), "Číselník: PROBLEM") << check.Err;  // the sample has no .PX
    EXPECT_NE(check.Out.find("checked in " + data + ":"), std::string::npos) << check.Out;

    const std::string archive = zalohy + "\\Záloha číselníka.zip";
    const test::TWin32Run backup = Run(Cli, {"backup", "--dir", data, "--to-zip", archive, "--verify"});
    ASSERT_EQ(backup.Code, 0u) << backup.Out << backup.Err;
    const std::string restored = zalohy + "\\Obnovené";
    ASSERT_TRUE(rtl::ForceDirectories(restored));
    const test::TWin32Run restore = Run(Cli, {"restore", "--dir", restored, "--from-zip", archive, "--yes"});
    ASSERT_EQ(restore.Code, 0u) << restore.Out << restore.Err;
    EXPECT_TRUE(Files(restored) == Files(data)) << "the files differ";
}

// A folder more than 260 characters deep, Windows' old limit, which the programs pass by the
// \\?\ form of every path: each command reaches the database and writes its targets there.
TEST_F(CliWindows, PathsLongerThan260CharactersWork) {
    std::string deep = tmp.Path();
    for (int i = 0; deep.size() < 300; ++i) deep += "\\Zálohy databázy hovorov a faktúr, priečinok číslo " + std::to_string(i);
    const std::string data = deep + "\\Dáta";
    PutTable(data, "Rparadox/inst/extdata/country.db", "Krajiny");
    PutTable(data, "Rparadox/inst/extdata/biolife.db", "Ryby");
    ASSERT_GT(data.size(), 300u);

    const test::TWin32Run check = Run(Cli, {"check", "--dir", data, "--all"});
    EXPECT_NE(check.Out.find("2 table(s) checked"), std::string::npos) << check.Out << check.Err;
    const test::TWin32Run toDir = Run(Cli, {"backup", "--dir", data, "--to-dir", deep + "\\Záloha"});
    EXPECT_EQ(toDir.Code, 0u) << toDir.Out << toDir.Err;
    EXPECT_TRUE(BackedUpFiles(deep + "\\Záloha") == Files(data)) << "the files differ";
    const test::TWin32Run toZip = Run(Cli, {"backup", "--dir", data, "--to-zip", deep + "\\Záloha.zip", "--verify"});
    EXPECT_EQ(toZip.Code, 0u) << toZip.Out << toZip.Err;
    const std::string restored = deep + "\\Obnova";
    ASSERT_TRUE(rtl::ForceDirectories(restored));
    const test::TWin32Run restore = Run(Cli, {"restore", "--dir", restored, "--from-zip", deep + "\\Záloha.zip", "--yes"});
    EXPECT_EQ(restore.Code, 0u) << restore.Out << restore.Err;
    EXPECT_TRUE(Files(restored) == Files(data)) << "the files differ";

    const test::TWin32Run sqlite = Run(Cli, {"export", "--dir", data, "--to-sqlite", deep + "\\Export.sqlite"});
    EXPECT_EQ(sqlite.Code, 0u) << sqlite.Out << sqlite.Err;
    EXPECT_EQ(Bytes(deep + "\\Export.sqlite").substr(0, 16), std::string("SQLite format 3\0", 16));
    const test::TWin32Run csv = Run(Cli, {"export", "--dir", data, "--to-csv", deep + "\\Export", "--excel"});
    EXPECT_EQ(csv.Code, 0u) << csv.Out << csv.Err;
    EXPECT_EQ(Bytes(deep + "\\Export\\Krajiny.csv").substr(0, 3), "\xEF\xBB\xBF");
}

// A database on a network share, named by its UNC path (\\server\share\...), as a backup
// target too. Under wine a share is a folder of the prefix (dosdevices\unc\SERVER\SHARE);
// on Windows the administrative share of the temporary folder's drive stands in.
TEST_F(CliWindows, ADatabaseOnANetworkShareIsBackedUpAndRestored) {
    std::string share;
    const std::string prefix = rtl::EnvironmentVariable("WINEPREFIX");
    std::string backing;
    if (!prefix.empty()) {
        const std::string server = "tablora-test-" + std::to_string(::GetCurrentProcessId());
        backing = "Z:" + prefix + "\\dosdevices\\unc\\" + server + "\\zdielane";
        for (char& c : backing)
            if (c == '/') c = '\\';
        ASSERT_TRUE(rtl::ForceDirectories(backing)) << backing << ": " << errno;
        share = "\\\\" + server + "\\zdielane";
    } else {
        const std::string path = tmp.Path();
        ASSERT_EQ(path.substr(1, 1), ":");
        share = "\\\\localhost\\" + path.substr(0, 1) + "$" + path.substr(2);
    }
    const std::string data = share + "\\Dáta";
    PutTable(data, "Rparadox/inst/extdata/country.db", "Krajiny");
    PutTable(data, "Rparadox/inst/extdata/biolife.db", "Ryby");

    const test::TWin32Run check = Run(Cli, {"check", "--dir", data, "--all"});
    EXPECT_NE(check.Out.find("2 table(s) checked in " + data), std::string::npos) << check.Out << check.Err;
    const test::TWin32Run backup = Run(Cli, {"backup", "--dir", data, "--to-zip", share + "\\Zálohy\\Záloha.zip", "--verify"});
    EXPECT_EQ(backup.Code, 0u) << backup.Out << backup.Err;
    const test::TWin32Run toDir = Run(Cli, {"backup", "--dir", data, "--to-dir", share + "\\Zálohy\\Adresár"});
    EXPECT_EQ(toDir.Code, 0u) << toDir.Out << toDir.Err;
    EXPECT_TRUE(BackedUpFiles(share + "\\Zálohy\\Adresár") == Files(data)) << "the files differ";
    const std::string restored = share + "\\Obnova";
    ASSERT_TRUE(rtl::ForceDirectories(restored));
    const test::TWin32Run restore = Run(Cli, {"restore", "--dir", restored, "--from-zip", share + "\\Zálohy\\Záloha.zip", "--yes"});
    EXPECT_EQ(restore.Code, 0u) << restore.Out << restore.Err;
    EXPECT_TRUE(Files(restored) == Files(data)) << "the files differ";
    if (!backing.empty()) RemoveTree(backing.substr(0, backing.rfind('\\')));
}

// The billing application holds a table open and shares it with nobody. Every command that
// needs the table names it with the reason, in the locale's language (the damage check's
// fixed message has none), and leaves nothing half
// written: no archive that lacks it, the table as it was while it is held; a restore that
// stops at it leaves every table wholly old or, once the table is free and the database is
// opened again, wholly restored.
TEST_F(CliWindows, ATableAnotherProgramHoldsIsNamedWithTheReasonAndNothingIsHalfWritten) {
    const std::string data = tmp.Path() + "\\Dáta", other = tmp.Path() + "\\Iná";
    const std::string held = PutTable(data, "Rparadox/inst/extdata/country.db", "Hovory");
    PutTable(data, "Rparadox/inst/extdata/biolife.db", "Ryby");
    PutTable(other, "Rparadox/inst/extdata/of.db", "Hovory");
    PutTable(other, "Rparadox/inst/extdata/mushrooms.db", "Ryby");
    const auto before = Files(data), restored = Files(other);
    const std::string archive = tmp.Path() + "\\ina.zip";
    ASSERT_EQ(Run(Cli, {"backup", "--dir", other, "--to-zip", archive}).Code, 0u);
    const std::string english = "The file is in use by another program";
    const std::string slovak = "Súbor používa iný program";
    const std::vector<std::string> inEnglish = {"LC_ALL=", "LC_MESSAGES=", "LANG=en_US.UTF-8"};
    const std::vector<std::string> inSlovak = {"LC_ALL=", "LC_MESSAGES=", "LANG=sk_SK.UTF-8"};
    {
        test::THeldFile holder(HoldFile, held);
        ASSERT_TRUE(holder.Held()) << holder.Said();

        const test::TWin32Run zip = Run(Cli, {"backup", "--dir", data, "--to-zip", tmp.Path() + "\\nova.zip"}, inSlovak);
        EXPECT_EQ(zip.Code, 3u);  // refused, nothing written
        EXPECT_NE(zip.Err.find("\"Hovory.db\".\nPríčina: " + slovak), std::string::npos) << zip.Err;
        EXPECT_FALSE(rtl::FileExists(tmp.Path() + "\\nova.zip"));

        const test::TWin32Run toDir = Run(Cli, {"backup", "--dir", data, "--to-dir", tmp.Path() + "\\nova"}, inEnglish);
        EXPECT_EQ(toDir.Code, 3u);
        EXPECT_NE(toDir.Err.find("Hovory.db (" + english), std::string::npos) << toDir.Err;
        EXPECT_FALSE(rtl::FileExists(tmp.Path() + "\\nova\\Hovory.db"));

        const test::TWin32Run keys = Run(Cli, {"repair-keys", "--dir", data, "--all-fit"}, inSlovak);
        EXPECT_EQ(keys.Code, 1u);
        EXPECT_NE(keys.Err.find("Hovory.db\" nie je možné otvoriť: " + slovak), std::string::npos) << keys.Err;

        const test::TWin32Run check = Run(Cli, {"check", "--dir", data, "--all"}, inEnglish);
        EXPECT_EQ(check.Code, 1u);
        EXPECT_NE(check.Out.find("Hovory: PROBLEM; cannot be read: "), std::string::npos) << check.Out;
        EXPECT_NE(check.Out.find(english), std::string::npos) << check.Out;

        const test::TWin32Run dump = Run(Pdx, {"dump", held});
        EXPECT_EQ(dump.Code, 2u);
        EXPECT_NE(dump.Err.find("Hovory.db\": " + english), std::string::npos) << dump.Err;

        const test::TWin32Run damage = Run(Cli, {"check-damage", "--dir", data, "--tables", "Hovory"}, inSlovak);
        EXPECT_EQ(damage.Code, 3u);  // the only table could not be rebuilt: nothing changed
        EXPECT_NE(damage.Out.find("Hovory.db: nezrekonštruovaná"), std::string::npos) << damage.Out;
        EXPECT_EQ(Names(data), Names(other)) << "a command left files in the database";
        EXPECT_TRUE(Bytes(data + "\\Ryby.db") == before.at("Ryby.db")) << "a command changed a table";

        const test::TWin32Run restore = Run(Cli, {"restore", "--dir", data, "--from-zip", archive, "--yes"}, inEnglish);
        EXPECT_EQ(restore.Code, 3u);
        EXPECT_NE(restore.Err.find("Hovory.db\": " + english), std::string::npos) << restore.Err;
    }
    EXPECT_TRUE(Bytes(held) == before.at("Hovory.db")) << "the held table was changed";
    // Free again: the next run that opens the database finds each table whole, old or restored.
    EXPECT_EQ(Run(Cli, {"list", "--dir", data}).Code, 0u);
    for (const std::string table : {"Hovory.db", "Ryby.db"}) {
        const std::string now = Bytes(data + "\\" + table);
        EXPECT_TRUE(now == before.at(table) || now == restored.at(table)) << table << " is neither old nor restored";
    }
}

} // namespace
