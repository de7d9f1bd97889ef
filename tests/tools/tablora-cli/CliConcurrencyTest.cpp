// Several tablora-cli runs at once, as real processes: scheduled backups of different
// databases started together, and runs that meet on one database directory.
#include "platform/engine/AliasConfig.h"
#include "platform/rtl/AdvisoryLock.h"
#include "platform/rtl/FileListing.h"
#include "tests/support/Samples.h"
#include "tests/support/TempDir.h"
#include "tests/tools/tablora-cli/CliProcess.h"

#include <gtest/gtest.h>
#include <zip.h>

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>

namespace {

using Names = std::vector<std::string>;

// Every entry of an archive: name and content, by name.
std::map<std::string, std::string> ArchiveContents(const std::string& path) {
    std::map<std::string, std::string> entries;
    int error = 0;
    zip_t* z = zip_open(path.c_str(), ZIP_RDONLY, &error);
    if (!z) return entries;
    for (zip_int64_t i = 0; i < zip_get_num_entries(z, 0); ++i) {
        zip_stat_t st;
        zip_stat_index(z, static_cast<zip_uint64_t>(i), 0, &st);
        std::string data(st.size, '\0');
        zip_file_t* f = zip_fopen_index(z, static_cast<zip_uint64_t>(i), 0);
        if (f && zip_fread(f, data.data(), st.size) == static_cast<zip_int64_t>(st.size)) entries[st.name] = data;
        if (f) zip_fclose(f);
    }
    zip_discard(z);
    return entries;
}

Names ArchiveNames(const std::string& path) {
    Names names;
    for (const auto& [name, data] : ArchiveContents(path)) names.push_back(name);
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) { return rtl::NameLess(a, b); });  // as ListFiles
    return names;
}

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void Copy(const std::string& sample, const std::string& target) {
    std::filesystem::copy_file(test::Sample(sample), target, std::filesystem::copy_options::overwrite_existing);
}

class CliConcurrency : public ::testing::Test {
protected:
    test::TempDir config, first, second, out;

    void SetUp() override {
        ::setenv(engine::EngineConfigEnvVar, (config / "engine.cfg").c_str(), 1);
        // Two databases with no table name in common, so a mixed archive shows at once.
        Copy("Rparadox/inst/extdata/biolife.db", first / "Tel_zoz.db");
        Copy("Rparadox/inst/extdata/biolife.mb", first / "Tel_zoz.mb");
        Copy("Rparadox/inst/extdata/country.db", first / "Brany.db");
        const std::string joins = "paradoxdriver/src/test/resources/joins/";
        Copy(joins + "fk4.db", second / "Hovory.db");
        Copy(joins + "fk4.px", second / "Hovory.PX");
        Copy(joins + "fk4.XG0", second / "Hovory.XG0");
        Copy(joins + "C.DB", second / "Kurz.DB");
        Copy(joins + "C.X02", second / "Kurz.X02");
    }
    void TearDown() override { ::unsetenv(engine::EngineConfigEnvVar); }
};

// Each run packs from its own list: however the two runs interleave, every archive holds
// exactly its own database's files and every run that says it is done is right.
TEST_F(CliConcurrency, BackupsOfTwoDatabasesStartedTogetherNeverMixTheirFiles) {
    const Names firstFiles = rtl::ListFiles(first.Path(), "*");
    const Names secondFiles = rtl::ListFiles(second.Path(), "*");
    constexpr int Rounds = 150;
    int wrong = 0;
    std::ostringstream report;
    for (int round = 0; round < Rounds; ++round) {
        test::TCliProcess a({"backup", "--dir", first.Path(), "--to-zip", out / "first.zip"}, out / "first.log");
        test::TCliProcess b({"backup", "--dir", second.Path(), "--to-zip", out / "second.zip"}, out / "second.log");
        const int codeA = a.Wait(), codeB = b.Wait();
        const Names packedA = ArchiveNames(out / "first.zip"), packedB = ArchiveNames(out / "second.zip");
        if (codeA != 0 || codeB != 0 || packedA != firstFiles || packedB != secondFiles) {
            ++wrong;
            report << "round " << round << ": exit " << codeA << "/" << codeB << ", " << packedA.size() << "/"
                   << packedB.size() << " entries\n" << a.Output() << b.Output();
        }
    }
    EXPECT_EQ(wrong, 0) << report.str();
}

// One operation at a time per database directory: a run that finds the directory held
// waits its bounded time, then fails clearly, naming the holder, and touches nothing.
TEST_F(CliConcurrency, EveryOperationOnAHeldDatabaseDirectoryWaitsThenFailsNamingTheHolder) {
    test::TCliProcess backup({"backup", "--dir", second.Path(), "--to-zip", out / "before.zip"}, out / "log");
    ASSERT_EQ(backup.Wait(), 0) << backup.Output();
    std::filesystem::create_directories(out / "dir");
    const Names files = rtl::ListFiles(second.Path(), "*");
    const std::string table = ReadAll(second / "Hovory.db");

    ::setenv("TABLORA_LOCK_WAIT_MS", "100", 1);
    const rtl::TAdvisoryLock held =
        rtl::TAdvisoryLock::Acquire(second.Path(), rtl::TLockKind::Exclusive, "test's hold", 0);
    const std::vector<std::vector<std::string>> commands{
        {"backup", "--to-zip", out / "held.zip"},
        {"backup", "--to-dir", out / "dir"},
        {"restore", "--from-zip", out / "before.zip"},
        {"restore", "--from-dir", first.Path()},
        {"delete-indexes"},
    };
    for (std::vector<std::string> args : commands) {
        const std::string command = args.front() + " " + args.back();
        args.insert(args.begin() + 1, {"--dir", second.Path()});
        test::TCliProcess run(args, out / "log");
        EXPECT_EQ(run.Wait(), 3) << command << "\n" << run.Output();
        const std::string said = run.Output();
        EXPECT_NE(said.find("database directory \"" + second.Path() + "\" is in use"), std::string::npos) << said;
        EXPECT_NE(said.find("process " + std::to_string(::getpid())), std::string::npos) << said;
    }
    ::unsetenv("TABLORA_LOCK_WAIT_MS");
    EXPECT_FALSE(std::filesystem::exists(out / "held.zip"));
    EXPECT_TRUE(rtl::ListFiles(out / "dir", "*").empty());
    EXPECT_EQ(rtl::ListFiles(second.Path(), "*"), files);
    EXPECT_TRUE(ReadAll(second / "Hovory.db") == table);
}

// A restore and a backup of one database started together: the backup waits for the
// restore or goes first, so it holds either every file as before or every file as
// restored, never some of each.
TEST_F(CliConcurrency, ABackupNeverCatchesARestoreHalfway) {
    // The restored state: the same table names with other contents.
    test::TempDir newer;
    Copy("Rparadox/inst/extdata/mushrooms.db", newer / "Tel_zoz.db");
    Copy("Rparadox/inst/extdata/mushrooms.mb", newer / "Tel_zoz.mb");
    Copy("Rparadox/inst/extdata/TypSammlung.DB", newer / "Brany.db");
    Copy("Rparadox/inst/extdata/TypSammlung.MB", newer / "Brany.mb");  // its memo fields need it
    test::TCliProcess pack({"backup", "--dir", newer.Path(), "--to-zip", out / "newer.zip"}, out / "log");
    ASSERT_EQ(pack.Wait(), 0) << pack.Output();
    std::map<std::string, std::string> before, after;
    for (const std::string& name : rtl::ListFiles(first.Path(), "*")) before[name] = ReadAll(first / name);
    for (const std::string& name : rtl::ListFiles(newer.Path(), "*")) after[name] = ReadAll(newer / name);
    test::TempDir original;
    for (const auto& [name, data] : before) original.WriteFile(name, data);

    constexpr int Rounds = 30;
    int mixed = 0;
    std::ostringstream report;
    for (int round = 0; round < Rounds; ++round) {
        for (const auto& [name, data] : before)
            std::filesystem::copy_file(original / name, first / name, std::filesystem::copy_options::overwrite_existing);
        std::filesystem::remove(first / "Brany.mb");  // the restore brings it
        test::TCliProcess restore({"restore", "--dir", first.Path(), "--from-zip", out / "newer.zip"}, out / "r.log");
        test::TCliProcess backup({"backup", "--dir", first.Path(), "--to-zip", out / "b.zip"}, out / "b.log");
        const int restored = restore.Wait(), backedUp = backup.Wait();
        const auto packed = ArchiveContents(out / "b.zip");
        if (restored != 0 || backedUp != 0 || (packed != before && packed != after)) {
            ++mixed;
            report << "round " << round << ": exit " << restored << "/" << backedUp << "\n"
                   << restore.Output() << backup.Output();
        }
    }
    EXPECT_EQ(mixed, 0) << report.str();
}

} // namespace
