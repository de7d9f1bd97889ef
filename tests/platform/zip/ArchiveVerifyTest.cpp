// Reading an archive back: every entry against its CRC, and the local headers against the
// central directory.
#include "platform/zip/ArchiveVerify.h"
#include "tests/platform/zip/ZipRunner.h"

#include <gtest/gtest.h>

namespace {

using test::ZipRun;

class ArchiveVerify : public ::testing::Test {
protected:
    void SetUp() override {
        ZipRun::Reset();
        std::filesystem::create_directories(temp / "source");
        files = test::CopySampleFamilies(temp / "source");
        ASSERT_EQ(ZipRun::Pack(archive, files, temp.Path()), 0);
        bytes = test::ReadBytes(archive);
        ASSERT_GT(bytes.size(), 200u);
    }
    void Rewrite() const { std::ofstream(archive, std::ios::binary | std::ios::trunc) << bytes; }

    test::TempDir temp;
    std::string archive = temp / "b.zip";
    std::vector<std::string> files;
    std::string bytes;
};

TEST_F(ArchiveVerify, ASoundArchiveNamesEveryEntryInOrder) {
    const azip::TArchiveCheck check = azip::VerifyArchive(archive);
    EXPECT_TRUE(check.Ok()) << check.problems.front();
    EXPECT_EQ(check.entries, static_cast<int>(files.size()));
    ASSERT_EQ(check.names.size(), files.size());
    for (std::size_t i = 0; i < files.size(); ++i)
        EXPECT_EQ(check.names[i], std::filesystem::path(files[i]).filename().string());
}

TEST_F(ArchiveVerify, DamagedDataIsCaughtAndNamesItsEntry) {
    // Bytes inside the first entry's compressed data: its CRC no longer matches.
    for (std::size_t i = 80; i < 120; ++i) bytes[i] = static_cast<char>(bytes[i] ^ 0x5a);
    Rewrite();
    const azip::TArchiveCheck check = azip::VerifyArchive(archive);
    ASSERT_EQ(check.problems.size(), 1u);
    EXPECT_EQ(check.problems[0].rfind(check.names[0] + ": ", 0), 0u) << check.problems[0];
    EXPECT_EQ(check.entries, static_cast<int>(files.size())) << "the entries after it are still read";
}

// The CRC is only known once the whole entry was read: damage near the end of an entry
// larger than one read must be caught as well.
TEST_F(ArchiveVerify, DamageNearTheEndOfALargeStoredEntryIsCaught) {
    std::string big(300 * 1024, '\0');
    std::uint32_t x = 12345;
    for (char& c : big) c = static_cast<char>((x = x * 1103515245u + 12345u) >> 24);
    const std::string file = temp.WriteFile("big.db", big);
    ASSERT_EQ(ZipRun::Pack(archive, {file}, temp.Path(), 0), 0);
    bytes = test::ReadBytes(archive);
    ASSERT_GT(bytes.size(), big.size());
    bytes[bytes.size() - 500] = static_cast<char>(bytes[bytes.size() - 500] ^ 0x01);  // before the directory
    Rewrite();
    const azip::TArchiveCheck check = azip::VerifyArchive(archive);
    ASSERT_EQ(check.problems.size(), 1u);
    EXPECT_EQ(check.problems[0].rfind("big.db: ", 0), 0u) << check.problems[0];
}

// A local header that disagrees with the central directory would restore under another name.
TEST_F(ArchiveVerify, ALocalHeaderThatDisagreesWithTheDirectoryIsCaught) {
    bytes[30] = static_cast<char>(bytes[30] ^ 0x20);  // first letter of the first local name
    Rewrite();
    EXPECT_FALSE(azip::VerifyArchive(archive).Ok());
}

TEST_F(ArchiveVerify, AMissingOrCutArchiveIsOneProblemNamingIt) {
    const azip::TArchiveCheck missing = azip::VerifyArchive(temp / "missing.zip");
    ASSERT_EQ(missing.problems.size(), 1u);
    EXPECT_EQ(missing.problems[0].rfind(temp / "missing.zip: ", 0), 0u) << missing.problems[0];
    EXPECT_EQ(missing.entries, 0);

    bytes.resize(bytes.size() / 2);  // the central directory is gone
    Rewrite();
    const azip::TArchiveCheck cut = azip::VerifyArchive(archive);
    ASSERT_EQ(cut.problems.size(), 1u);
    EXPECT_EQ(cut.problems[0].rfind(archive + ": ", 0), 0u) << cut.problems[0];
}

} // namespace
