// Archives built to write outside the target directory: nothing may land there.
#include "tests/platform/zip/ZipRunner.h"

#include <gtest/gtest.h>

#include <zip.h>

namespace {

using test::ZipRun;

struct Entry {
    std::string name;
    std::string data;
    zip_uint32_t unixMode = 0100644;
};

void BuildArchive(const std::string& path, const std::vector<Entry>& entries) {
    int error = 0;
    zip_t* za = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    ASSERT_NE(za, nullptr);
    for (const auto& e : entries) {
        zip_source_t* src = zip_source_buffer(za, e.data.data(), e.data.size(), 0);
        const zip_int64_t i = zip_file_add(za, e.name.c_str(), src, ZIP_FL_ENC_RAW);
        ASSERT_GE(i, 0) << e.name << ": " << zip_strerror(za);
        zip_file_set_external_attributes(za, static_cast<zip_uint64_t>(i), 0, ZIP_OPSYS_UNIX, e.unixMode << 16);
    }
    ASSERT_EQ(zip_close(za), 0);
}

TEST(ZipHostileArchive, WritesNothingOutsideTheTarget) {
    ZipRun::Reset();
    test::TempDir temp;
    const std::string target = temp / "deep/target";
    std::filesystem::create_directories(target);
    // A symlink planted in the target that points outside it.
    temp.WriteFile("victim.db", "outside, must stay");
    std::filesystem::create_symlink(temp / "victim.db", target + "/victim.db");
    const std::string archive = temp / "hostile.zip";
    BuildArchive(archive, {
        {"../x", "up"},
        {"/abs", "absolute"},
        {"a\\..\\..\\y", "backslashes"},
        {"C:\\z", "drive"},
        {"C:w", "drive relative"},
        {"..", "dots"},
        {"sub/..", "dots"},
        {"dir/", ""},
        {"victim.db", "replaces the link, not its target"},
        {"link.db", temp / "victim.db", 0120777},
    });
    ZipRun::Unpack(archive, target);

    EXPECT_EQ(test::DirectoryNames(temp.Path()), (std::vector<std::string>{"deep", "hostile.zip", "victim.db"}));
    EXPECT_EQ(test::DirectoryNames(temp / "deep"), std::vector<std::string>{"target"});
    EXPECT_EQ(test::ReadBytes(temp / "victim.db"), "outside, must stay");
    // Only the last path part is used, and only where it names a plain file; a backslash is
    // part of a name, never a way out.
    EXPECT_EQ(test::DirectoryNames(target), (std::vector<std::string>{"a\\..\\..\\y", "abs", "victim.db", "x"}));
    EXPECT_FALSE(std::filesystem::is_symlink(target + "/victim.db"));
    EXPECT_EQ(test::ReadBytes(target + "/victim.db"), "replaces the link, not its target");
    EXPECT_EQ(test::ReadBytes(target + "/x"), "up");

    std::vector<std::string> refused;
    for (const auto& s : ZipRun::FileStatuses())
        if (s.find("|255|") == std::string::npos) refused.push_back(s.substr(0, s.find('|')));
    EXPECT_EQ(refused, (std::vector<std::string>{"C:\\z", "C:w", "..", "sub/..", "link.db"}));
}

TEST(ZipHostileArchive, EmptyNameIsRefused) {
    ZipRun::Reset();
    test::TempDir temp;
    const std::string archive = temp / "empty-name.zip";
    BuildArchive(archive, {{"placeholder", "data"}});
    // Rename the only entry to "" in the raw bytes: local and central name lengths become 0.
    std::string bytes = test::ReadBytes(archive);
    std::string patched;
    for (std::size_t i = 0; i < bytes.size();) {
        const bool local = bytes.compare(i, 4, "PK\3\4") == 0, central = bytes.compare(i, 4, "PK\1\2") == 0;
        if (local || central) {
            const std::size_t lengthAt = i + (local ? 26 : 28);
            const std::size_t nameAt = i + (local ? 30 : 46);
            patched += bytes.substr(i, lengthAt - i) + std::string(2, '\0');
            patched += bytes.substr(lengthAt + 2, nameAt - lengthAt - 2);
            i = nameAt + 11;  // "placeholder"
            continue;
        }
        if (bytes.compare(i, 4, "PK\5\6") == 0) {
            std::string end = bytes.substr(i);
            const std::uint32_t size = 46 + (end[0] ? 0 : 0), offset = static_cast<std::uint32_t>(patched.find("PK\1\2"));
            const std::uint32_t cd = static_cast<std::uint32_t>(patched.size()) - offset;
            (void)size;
            for (int k = 0; k < 4; ++k) end[12 + k] = static_cast<char>(cd >> (8 * k));
            for (int k = 0; k < 4; ++k) end[16 + k] = static_cast<char>(offset >> (8 * k));
            patched += end;
            break;
        }
        patched += bytes[i++];
    }
    std::ofstream(archive, std::ios::binary | std::ios::trunc) << patched;
    const std::string target = temp / "target";
    ZipRun::Unpack(archive, target);
    const auto statuses = ZipRun::FileStatuses();
    ASSERT_EQ(statuses.size(), 1u);
    EXPECT_EQ(statuses[0].substr(0, 2), "||");
    EXPECT_EQ(statuses[0].substr(2, 2), "6|");
    EXPECT_TRUE(test::DirectoryNames(target).empty());
}

} // namespace

namespace {

// One table in two spellings would be one table twice to the engine: the first entry lands
// on the existing spelling, the next one of the same name in other case is refused.
TEST(ZipHostileArchive, NamesDifferingOnlyInLetterCaseBecomeOneFile) {
    ZipRun::Reset();
    test::TempDir temp;
    const std::string target = temp / "target";
    temp.WriteFile("target/brany.db", "damaged");
    const std::string archive = temp / "case.zip";
    BuildArchive(archive, {{"Brany.DB", "first"}, {"BRANY.DB", "second"}});
    EXPECT_EQ(ZipRun::Unpack(archive, target), 1);
    EXPECT_EQ(test::DirectoryNames(target), std::vector<std::string>{"brany.db"});
    EXPECT_EQ(test::ReadBytes(target + "/brany.db"), "first");
    const auto statuses = ZipRun::FileStatuses();
    ASSERT_EQ(statuses.size(), 2u);
    EXPECT_EQ(statuses[0], "Brany.DB|" + target + "/brany.db|255|");
    EXPECT_EQ(statuses[1].substr(0, statuses[1].find("|12|") + 4), "BRANY.DB|" + target + "/BRANY.DB|12|");
}

} // namespace
