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

#include <algorithm>
#include <filesystem>
#include <sstream>

namespace {

using Names = std::vector<std::string>;

Names ArchiveNames(const std::string& path) {
    Names names;
    int error = 0;
    zip_t* z = zip_open(path.c_str(), ZIP_RDONLY, &error);
    if (!z) return names;
    for (zip_int64_t i = 0; i < zip_get_num_entries(z, 0); ++i) names.push_back(zip_get_name(z, i, 0));
    zip_discard(z);
    std::sort(names.begin(), names.end());
    return names;
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

} // namespace
