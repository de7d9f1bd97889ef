// Packing and unpacking real table families, and interchange with Info-ZIP.
#include "platform/zip/AddUnzip.h"
#include "platform/zip/AddZip.h"
#include "tests/platform/zip/ZipRunner.h"

#include <gtest/gtest.h>

#include <zip.h>

namespace {

using test::ZipRun;

class ZipRoundTrip : public ::testing::Test {
protected:
    void SetUp() override {
        ZipRun::Reset();
        std::filesystem::create_directories(source);
        files = test::CopySampleFamilies(source);
        ASSERT_GE(files.size(), 10u);
    }
    void ExpectSameFiles(const std::string& target) const {
        for (const auto& file : files) {
            const std::string restored = target + "/" + std::filesystem::path(file).filename().string();
            SCOPED_TRACE(restored);
            ASSERT_TRUE(std::filesystem::is_regular_file(restored));
            EXPECT_EQ(test::ReadBytes(file), test::ReadBytes(restored));
            EXPECT_EQ(test::MTime(file), test::MTime(restored));
        }
        EXPECT_EQ(test::DirectoryNames(target).size(), files.size()) << "no temporary file may stay behind";
    }

    test::TempDir temp;
    std::string source = temp / "source";
    std::vector<std::string> files;
};

TEST_F(ZipRoundTrip, KeepsBytesTimesAndModes) {
    const std::string archive = temp / "backup.zip";
    ASSERT_EQ(ZipRun::Pack(archive, files, temp.Path()), 0);
    const auto packed = ZipRun::FileStatuses();
    ASSERT_EQ(packed.size(), files.size());
    EXPECT_EQ(packed[0], std::filesystem::path(files[0]).filename().string() + "|" + files[0] + "|255|");

    ZipRun::Reset();
    const std::string target = temp / "target";
    ASSERT_EQ(ZipRun::Unpack(archive, target), 0);
    ExpectSameFiles(target);
    for (const auto& file : files)
        EXPECT_EQ(test::Mode(target + "/" + std::filesystem::path(file).filename().string()), 0640u);
    for (const auto& status : ZipRun::FileStatuses()) EXPECT_NE(status.find("|255|"), std::string::npos) << status;
    bool working = false;
    for (const auto& m : ZipRun::messages) working |= m.type == 14;
    EXPECT_TRUE(working);
}

TEST_F(ZipRoundTrip, InfoZipReadsOurArchiveWithBareNamesAndDeflate) {
    const std::string archive = temp / "backup.zip";
    ASSERT_EQ(ZipRun::Pack(archive, files, temp.Path()), 0);
    std::string out;
    EXPECT_EQ(test::RunCommand("unzip -t '" + archive + "' 2>&1", &out), 0) << out;
    ASSERT_EQ(test::RunCommand("unzip -Z1 '" + archive + "'", &out), 0);
    std::string expected;
    for (const auto& f : files) expected += std::filesystem::path(f).filename().string() + "\n";
    EXPECT_EQ(out, expected);
    ASSERT_EQ(test::RunCommand("unzip -v '" + archive + "'", &out), 0);
    EXPECT_NE(out.find("Defl:"), std::string::npos) << out;
    EXPECT_EQ(out.find("Stored"), std::string::npos) << out;

    // Info-ZIP restores the exact times from our extended timestamps too.
    const std::string target = temp / "infozip";
    ASSERT_EQ(test::RunCommand("unzip -q -o '" + archive + "' -d '" + target + "'"), 0);
    ExpectSameFiles(target);
}

TEST_F(ZipRoundTrip, RestoresArchiveMadeByInfoZip) {
    const std::string archive = temp / "infozip.zip";
    std::string command = "cd '" + source + "' && zip -q -3 -j '" + archive + "'";
    for (const auto& f : files) command += " '" + f + "'";
    ASSERT_EQ(test::RunCommand(command), 0);
    const std::string target = temp / "target";
    ASSERT_EQ(ZipRun::Unpack(archive, target), 0);
    ExpectSameFiles(target);
}

TEST_F(ZipRoundTrip, ReplacesExistingFilesAndDirectoryIsCreated) {
    const std::string archive = temp / "backup.zip";
    ASSERT_EQ(ZipRun::Pack(archive, files, temp.Path()), 0);
    const std::string target = temp / "a/b/c";
    std::filesystem::create_directories(target);
    for (const auto& f : files) temp.WriteFile("a/b/c/" + std::filesystem::path(f).filename().string(), "stale");
    ASSERT_EQ(ZipRun::Unpack(archive, target), 0);
    ExpectSameFiles(target);
}

TEST_F(ZipRoundTrip, FilesOfManyChunksPackIntoTheSameBytesEveryRun) {
    // Deflated on threads in chunks: the archive must not depend on which thread finished first.
    std::string records;
    for (unsigned i = 0; records.size() < (5u << 20) + 123; ++i) {
        records += "Hovory 0905" + std::to_string(i * 7919 % 1000003) + " linka ";
        if (i % 5000 == 0) records.append(3000, '\0');
        if (i % 7000 == 0)
            for (unsigned j = 0; j < 4000; ++j) records += static_cast<char>((i + j) * 2654435761u >> 24);
    }
    temp.WriteFile("source/Velky.DB", records);
    temp.WriteFile("source/Stredny.MB", records.substr(0, 600 * 1024));
    files.push_back(source + "/Velky.DB");
    files.push_back(source + "/Stredny.MB");

    const std::string first = temp / "first.zip", second = temp / "second.zip";
    ASSERT_EQ(ZipRun::Pack(first, files, temp.Path()), 0);
    ASSERT_EQ(ZipRun::Pack(second, files, temp.Path()), 0);
    EXPECT_TRUE(test::ReadBytes(first) == test::ReadBytes(second));
    EXPECT_LT(std::filesystem::file_size(first), records.size() / 2);

    ZipRun::Reset();
    const std::string target = temp / "target";
    ASSERT_EQ(ZipRun::Unpack(first, target), 0);
    ExpectSameFiles(target);
}

TEST(ZipPack, EmptyListWritesEmptyArchive) {
    test::TempDir temp;
    const std::string archive = temp / "empty.zip";
    temp.WriteFile("empty.zip", "old");
    ZipRun::Reset();
    EXPECT_EQ(ZipRun::Pack(archive, {}, temp.Path()), 0);
    int error = 0;
    zip_t* za = zip_open(archive.c_str(), ZIP_RDONLY, &error);
    ASSERT_NE(za, nullptr);
    EXPECT_EQ(zip_get_num_entries(za, 0), 0);
    zip_discard(za);
}

} // namespace
