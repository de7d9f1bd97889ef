// Unpacking through the archiver: the user's choice at damaged files, missing archives.
#include "tests/archive/ArchivTestSupport.h"

#include "platform/rtl/Error.h"
#include "platform/rtl/FaultInjection.h"

#include <cerrno>

namespace {

class ArchivUnpack : public ArchivTest {
protected:
    void SetUp() override {
        // Stored uncompressed by Info-ZIP so one byte of B.DB's data can be damaged.
        a = temp.WriteFile("db/A.DB", std::string(5000, 'a'));
        b = temp.WriteFile("db/B.DB", "MARKER" + std::string(5000, 'b'));
        c = temp.WriteFile("db/C.DB", std::string(5000, 'c'));
        archive = temp / "Backup.zip";
        ASSERT_EQ(test::RunCommand("zip -q -0 -j '" + archive + "' '" + a + "' '" + b + "' '" + c + "'"), 0);
        std::string bytes = test::ReadBytes(archive);
        bytes[bytes.find("MARKER")] = 'X';
        std::ofstream(archive, std::ios::binary | std::ios::trunc) << bytes;
        target = temp / "restore";
        std::filesystem::create_directories(target);
        temp.WriteFile("restore/B.DB", "current table");
    }
    std::string a, b, c, archive, target;
};

TEST_F(ArchivUnpack, YesAtDamagedFileGoesOn) {
    ui.Answer(ui::TMsgAnswer::Yes);
    EXPECT_TRUE(Unpack(archive, target));
    ASSERT_EQ(ui.messages.size(), 1u);
    const auto& m = ui.messages[0];
    EXPECT_EQ(m.caption, "Obnova súborov databázy");
    // The question says why, so that a damaged file is told from a full disk.
    EXPECT_EQ(m.text,
              "Nepodarilo sa rozbaliť súbor\r\n\"B.DB\".\r\nPríčina: poškodené údaje v archíve (Chyba kontrolného súčtu (CRC))\r\n"
              "Ignorovať chybu ?");
    EXPECT_EQ(m.icon, ui::TMsgIcon::Warning);
    EXPECT_EQ(m.buttons, ui::TMsgButtons::YesNo);
    EXPECT_EQ(m.defaultButton, ui::TMsgAnswer::Yes);
    EXPECT_EQ(test::ReadBytes(target + "/A.DB"), test::ReadBytes(a));
    EXPECT_EQ(test::ReadBytes(target + "/B.DB"), "current table");  // never half-written
    EXPECT_EQ(test::ReadBytes(target + "/C.DB"), test::ReadBytes(c));
    EXPECT_EQ(test::DirectoryNames(target), (std::vector<std::string>{"A.DB", "B.DB", "C.DB"}));
}

// A full disk fails every later file too: no question once per file that no answer could
// help, one message with the system's reason, and the unpacking stops.
TEST_F(ArchivUnpack, AFullDiskStopsTheUnpackingWithItsReasonAndNoQuestion) {
    ui.Answer(ui::TMsgAnswer::Yes);
    rtl::TFaultInjectingFileSystem full;
    rtl::TFault fault;
    fault.Ops = rtl::OpBit(rtl::TFsOp::Write) | rtl::OpBit(rtl::TFsOp::CopyRange);
    fault.Nth = 1;
    fault.Error = ENOSPC;
    fault.Persistent = true;
    full.Arm(fault);
    {
        rtl::TScopedFileSystem installed(full);
        EXPECT_FALSE(Unpack(archive, target));
    }
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].icon, ui::TMsgIcon::Error);
    EXPECT_EQ(ui.messages[0].text, "Súbor \"A.DB\" sa nepodarilo rozbaliť: Na zariadení nie je voľné miesto\r\n"
                                   "Rozbaľovanie sa zastavilo: každý ďalší súbor by zlyhal rovnako.");
    EXPECT_EQ(test::ReadBytes(target + "/B.DB"), "current table");
}

TEST_F(ArchivUnpack, NoAtDamagedFileStops) {
    ui.Answer(ui::TMsgAnswer::No);
    EXPECT_FALSE(Unpack(archive, target));
    EXPECT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(test::DirectoryNames(target), (std::vector<std::string>{"A.DB", "B.DB"}));
    EXPECT_EQ(test::ReadBytes(target + "/B.DB"), "current table");
}

TEST_F(ArchivUnpack, MissingArchiveIsReportedWithItsFullName) {
    EXPECT_FALSE(Unpack(temp / "Missing.zip", target));
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, "Súbor \"" + temp / "Missing.zip" + "\"\r\nneexistuje");
    EXPECT_EQ(ui.messages[0].icon, ui::TMsgIcon::Error);
    EXPECT_EQ(test::DirectoryNames(target), std::vector<std::string>{"B.DB"});
}

// What is no archive at all (a text file, a directory) fails the restore with its own
// message: there is no file in it whose error could be ignored.
TEST_F(ArchivUnpack, ArchiveThatIsNoZipIsReportedNotTakenForSuccess) {
    temp.WriteFile("Broken.zip", "not an archive");
    std::filesystem::create_directories(temp / "Folder.zip");
    for (const std::string& archive : {temp / "Broken.zip", temp / "Folder.zip"}) {
        ui.messages.clear();
        EXPECT_FALSE(Unpack(archive, target)) << archive;
        ASSERT_EQ(ui.messages.size(), 1u);
        EXPECT_EQ(ui.messages[0].text, "Súbor \"" + archive + "\"\r\nnie je archív zip");
        EXPECT_EQ(ui.messages[0].icon, ui::TMsgIcon::Error);
        EXPECT_EQ(ui.messages[0].buttons, ui::TMsgButtons::Ok);
    }
    EXPECT_EQ(test::DirectoryNames(target), std::vector<std::string>{"B.DB"});
}

// An archive that cannot be read at all is a failed restore, told with the reason.
TEST_F(ArchivUnpack, AnArchiveThatCannotBeOpenedFailsTheRestoreWithItsReason) {
    // The end record claims more entries than the central directory holds.
    std::string bytes = test::ReadBytes(archive);
    const std::size_t end = bytes.rfind(std::string("PK\5\6", 4));
    ASSERT_NE(end, std::string::npos);
    bytes[end + 8] = bytes[end + 10] = 9;
    std::ofstream(archive, std::ios::binary | std::ios::trunc) << bytes;
    EXPECT_FALSE(Unpack(archive, target));
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, "Súbor \"" + archive + "\"\r\nsa nedá otvoriť: Archív zip je nekonzistentný");
    EXPECT_EQ(test::DirectoryNames(target), std::vector<std::string>{"B.DB"});
}

TEST(Archiv, OnlyOneExistsAtATime) {
    EXPECT_EQ(ActiveArchiv, nullptr);
    {
        TArchiv first("x");
        EXPECT_EQ(ActiveArchiv, &first);
        EXPECT_THROW(TArchiv second("y"), rtl::EError);
        EXPECT_EQ(ActiveArchiv, &first);
    }
    EXPECT_EQ(ActiveArchiv, nullptr);
}

TEST(ExtractField, CountsFieldsFromOneIncludingEmptyOnes) {
    EXPECT_EQ(ExtractField("a|b|c", '|', 1), "a");
    EXPECT_EQ(ExtractField("a|b|c", '|', 2), "b");
    EXPECT_EQ(ExtractField("a|b|c", '|', 3), "c");
    EXPECT_EQ(ExtractField("a|b|c", '|', 4), "");
    EXPECT_EQ(ExtractField("a||c", '|', 2), "");
    EXPECT_EQ(ExtractField("a||c", '|', 3), "c");
    EXPECT_EQ(ExtractField("|x", '|', 1), "");
    EXPECT_EQ(ExtractField("", '|', 1), "");
    EXPECT_EQ(ExtractField("B.DB|/db/B.DB|255|", '|', 3), "255");
    EXPECT_EQ(ExtractField("a|b", '|', 0), "");
}

TEST(ForceDirectoryPath, CreatesEveryLevelAndFailsOnAFileInTheWay) {
    test::TempDir temp;
    EXPECT_TRUE(ForceDirectoryPath(temp / "x/y/z"));
    EXPECT_TRUE(std::filesystem::is_directory(temp / "x/y/z"));
    EXPECT_TRUE(ForceDirectoryPath(temp / "x/y/z/"));
    EXPECT_TRUE(ForceDirectoryPath(temp / "p//q"));
    temp.WriteFile("file", "");
    EXPECT_FALSE(ForceDirectoryPath(temp / "file/sub"));
    EXPECT_FALSE(ForceDirectoryPath(temp / "file"));
}

} // namespace
