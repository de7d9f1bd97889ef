// Failed files and aborted runs: what is reported, what stays on disk.
#include "platform/rtl/FaultInjection.h"
#include "tests/platform/zip/ZipRunner.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

namespace {

using test::ZipRun;

std::string Status(const std::string& text) {
    // third "|" field
    const auto a = text.find('|');
    const auto b = text.find('|', a + 1);
    const auto c = text.find('|', b + 1);
    return text.substr(b + 1, c - b - 1);
}

class ZipFailure : public ::testing::Test {
protected:
    void SetUp() override {
        ZipRun::Reset();
        a = temp.WriteFile("src/a.db", std::string(100000, 'a'));
        b = temp.WriteFile("src/b.db", "bbbb-MARKER-" + std::string(5000, 'b'));
        c = temp.WriteFile("src/c.db", std::string(3000, 'c'));
        std::filesystem::create_directories(temp / "out");
    }
    void TearDown() override { ZipRun::Reset(); }
    test::TempDir temp;
    std::string a, b, c;
    std::string archive = temp / "out/backup.zip";
};

TEST_F(ZipFailure, MissingFileIsReportedAndAbortKeepsOldArchive) {
    temp.WriteFile("out/backup.zip", "previous backup");
    ZipRun::hook = [](const test::ZipMessage& m) {
        if (m.type == 22 && Status(m.text) != "255") azip::addZIP_Abort(1);
        return 1;
    };
    EXPECT_EQ(ZipRun::Pack(archive, {a, temp / "src/gone.db", c}, temp.Path()),
              static_cast<int>(azip::TRunResult::Aborted));
    const auto statuses = ZipRun::FileStatuses();
    ASSERT_EQ(statuses.size(), 1u);
    EXPECT_EQ(statuses[0], "gone.db|" + temp / "src/gone.db" + "|1|no such file");
    EXPECT_EQ(test::ReadBytes(archive), "previous backup");
    EXPECT_EQ(test::DirectoryNames(temp / "out"), std::vector<std::string>{"backup.zip"});
}

TEST_F(ZipFailure, FileVanishingWhileArchiveIsWrittenFailsByNameAndKeepsOldArchive) {
    temp.WriteFile("out/backup.zip", "previous backup");
    // Files are read only while the archive is completed; the first progress message comes then.
    ZipRun::hook = [this](const test::ZipMessage& m) {
        if (m.type == 14) std::filesystem::remove(c);
        if (m.type == 22 && Status(m.text) != "255") azip::addZIP_Abort(1);
        return 1;
    };
    EXPECT_NE(ZipRun::Pack(archive, {a, b, c}, temp.Path()), 0);
    const auto statuses = ZipRun::FileStatuses();
    ASSERT_FALSE(statuses.empty());
    EXPECT_EQ(Status(statuses.back()), "2") << statuses.back();
    EXPECT_EQ(statuses.back().substr(0, 5), "c.db|");
    EXPECT_EQ(test::ReadBytes(archive), "previous backup");
    EXPECT_EQ(test::DirectoryNames(temp / "out"), std::vector<std::string>{"backup.zip"});
}

TEST_F(ZipFailure, DuplicateBareNamesAreRefused) {
    const std::string other = temp.WriteFile("src2/a.db", "other");
    ZipRun::Pack(temp / "dup.zip", {a, other}, temp.Path());
    const auto statuses = ZipRun::FileStatuses();
    ASSERT_EQ(statuses.size(), 2u);
    EXPECT_EQ(Status(statuses[0]), "5");  // reported when added, before the archive is written
}

TEST_F(ZipFailure, UnwritableArchiveLocationIsReportedForTheArchive) {
    EXPECT_EQ(ZipRun::Pack(temp / "no/such/dir/x.zip", {a}, temp.Path()),
              static_cast<int>(azip::TRunResult::ArchiveFailed));
    const auto statuses = ZipRun::FileStatuses();
    ASSERT_EQ(statuses.size(), 1u);
    EXPECT_EQ(statuses[0].rfind(temp / "no/such/dir/x.zip|", 0), 0u) << statuses[0];
    EXPECT_NE(Status(statuses[0]), "255");
}

// Flips one byte inside b.db's stored data: its CRC no longer matches.
void CorruptMarker(const std::string& archive) {
    std::string bytes = test::ReadBytes(archive);
    const auto at = bytes.find("MARKER");
    ASSERT_NE(at, std::string::npos);
    bytes[at] = 'X';
    std::ofstream(archive, std::ios::binary | std::ios::trunc) << bytes;
}

TEST_F(ZipFailure, CorruptEntryLeavesNoFileAndOthersAreExtracted) {
    ASSERT_EQ(ZipRun::Pack(archive, {a, b, c}, temp.Path(), 0), 0);
    CorruptMarker(archive);
    const std::string target = temp / "target";
    std::filesystem::create_directories(target);
    temp.WriteFile("target/b.db", "existing table");
    ZipRun::Reset();
    EXPECT_EQ(ZipRun::Unpack(archive, target), static_cast<int>(azip::TRunResult::FilesFailed));
    const auto statuses = ZipRun::FileStatuses();
    ASSERT_EQ(statuses.size(), 3u);
    EXPECT_EQ(Status(statuses[1]), "9") << statuses[1];
    EXPECT_EQ(statuses[1].substr(0, 5), "b.db|");
    EXPECT_EQ(test::ReadBytes(target + "/b.db"), "existing table");  // not half-overwritten
    EXPECT_EQ(test::ReadBytes(target + "/c.db"), test::ReadBytes(c));
    EXPECT_EQ(test::DirectoryNames(target), (std::vector<std::string>{"a.db", "b.db", "c.db"}));
}

TEST_F(ZipFailure, AbortAtCorruptEntryStopsUnpacking) {
    ASSERT_EQ(ZipRun::Pack(archive, {a, b, c}, temp.Path(), 0), 0);
    CorruptMarker(archive);
    ZipRun::Reset();
    ZipRun::hook = [](const test::ZipMessage& m) {
        if (m.type == 22 && Status(m.text) != "255") azip::addUNZIP_Abort(1);
        return 1;
    };
    const std::string target = temp / "target";
    EXPECT_EQ(ZipRun::Unpack(archive, target), static_cast<int>(azip::TRunResult::Aborted));
    EXPECT_EQ(test::DirectoryNames(target), std::vector<std::string>{"a.db"});
}

TEST_F(ZipFailure, AbortRequestedAtWorkingMessageIsSeenWithinAFile) {
    const std::string big = temp.WriteFile("src/big.db", std::string(20 * 1024 * 1024, 'z'));
    ASSERT_EQ(ZipRun::Pack(archive, {big, a}, temp.Path()), 0);
    ZipRun::Reset();
    int working = 0;
    ZipRun::hook = [&working](const test::ZipMessage& m) {
        if (m.type == 14 && ++working == 2) azip::addUNZIP_Abort(1);  // the first comes before big.db
        return 1;
    };
    const std::string target = temp / "target";
    EXPECT_EQ(ZipRun::Unpack(archive, target), static_cast<int>(azip::TRunResult::Aborted));
    EXPECT_TRUE(test::DirectoryNames(target).empty());
    EXPECT_TRUE(ZipRun::FileStatuses().empty());
}

// Files are synced a batch at a time after they are written: each must still be on the disk
// before it takes its name, and the reports keep the archive's order.
TEST_F(ZipFailure, EveryFileIsSyncedBeforeItTakesItsNameAndReportedInOrder) {
    std::vector<std::string> files;
    for (int i = 0; i < 70; ++i)
        files.push_back(temp.WriteFile("src/t" + std::to_string(100 + i) + ".db", std::string(500 + i, 'x')));
    ASSERT_EQ(ZipRun::Pack(archive, files, temp.Path()), 0);
    ZipRun::Reset();
    class TOrder : public rtl::TFileSystem {
    public:
        int Open(const std::string& path, int flags, rtl::TFileMode mode) override {
            const int fd = rtl::TFileSystem::Open(path, flags, mode);
            if (fd >= 0) paths[fd] = path;
            return fd;
        }
        int Sync(int fd) override {
            synced.insert(paths[fd]);
            return rtl::TFileSystem::Sync(fd);
        }
        int Rename(const std::string& from, const std::string& to) override {
            if (!synced.count(from)) unsynced.push_back(to);
            return rtl::TFileSystem::Rename(from, to);
        }
        std::map<int, std::string> paths;
        std::set<std::string> synced;
        std::vector<std::string> unsynced;
    } order;
    const std::string target = temp / "target";
    {
        const rtl::TScopedFileSystem installed(order);
        EXPECT_EQ(ZipRun::Unpack(archive, target), 0);
    }
    EXPECT_TRUE(order.unsynced.empty()) << order.unsynced.front();
    const auto statuses = ZipRun::FileStatuses();
    ASSERT_EQ(statuses.size(), files.size());
    for (std::size_t i = 0; i < files.size(); ++i) {
        EXPECT_EQ(statuses[i].substr(0, 8), "t" + std::to_string(100 + i) + ".db|") << i;
        EXPECT_EQ(test::ReadBytes(target + "/t" + std::to_string(100 + i) + ".db"), test::ReadBytes(files[i]));
    }
}

// A full disk that shows only at a file's sync: that file is reported and its old copy kept;
// the run stopped there leaves the files after it as never unpacked, and no temporary file.
TEST_F(ZipFailure, ASyncThatFailsStopsTheRunWithTheFilesBeforeItInPlace) {
    ASSERT_EQ(ZipRun::Pack(archive, {a, b, c}, temp.Path(), 0), 0);
    ZipRun::Reset();
    const std::string target = temp / "target";
    std::filesystem::create_directories(target);
    temp.WriteFile("target/b.db", "existing table");
    ZipRun::hook = [](const test::ZipMessage& m) {
        if (m.type == 22 && Status(m.text) != "255") azip::addUNZIP_Abort(1);
        return 1;
    };
    rtl::TFaultInjectingFileSystem faults;
    faults.Arm(rtl::TFault{rtl::OpBit(rtl::TFsOp::Sync), 2, ENOSPC, false, {}});
    {
        const rtl::TScopedFileSystem installed(faults);
        EXPECT_EQ(ZipRun::Unpack(archive, target), static_cast<int>(azip::TRunResult::Aborted));
    }
    EXPECT_TRUE(faults.Struck());
    const auto statuses = ZipRun::FileStatuses();
    ASSERT_EQ(statuses.size(), 2u);
    EXPECT_EQ(Status(statuses[0]), "255");
    EXPECT_EQ(statuses[1].substr(0, 5), "b.db|");
    EXPECT_NE(statuses[1].find("No space left on device"), std::string::npos) << statuses[1];
    EXPECT_EQ(test::ReadBytes(target + "/a.db"), test::ReadBytes(a));
    EXPECT_EQ(test::ReadBytes(target + "/b.db"), "existing table");
    EXPECT_EQ(test::DirectoryNames(target), (std::vector<std::string>{"a.db", "b.db"}));
}

// A handler that throws while a file of a batch is reported: the files after it are neither
// left open nor left behind half named.
TEST_F(ZipFailure, AHandlerThatThrowsLeavesNoTemporaryFile) {
    ASSERT_EQ(ZipRun::Pack(archive, {a, b, c}, temp.Path(), 0), 0);
    ZipRun::Reset();
    int statuses = 0;
    ZipRun::hook = [&statuses](const test::ZipMessage& m) {
        if (m.type == 22 && ++statuses == 1) throw std::runtime_error("no answer");
        return 1;
    };
    const std::string target = temp / "target";
    try {
        ZipRun::Unpack(archive, target);
    } catch (const std::runtime_error&) {
    }
    for (const std::string& name : test::DirectoryNames(target)) EXPECT_NE(name[0], '.') << name << " left behind";
}

TEST_F(ZipFailure, MissingOrBrokenArchiveIsReportedForTheArchive) {
    const std::string target = temp / "target";
    EXPECT_EQ(ZipRun::Unpack(temp / "missing.zip", target), static_cast<int>(azip::TRunResult::ArchiveFailed));
    temp.WriteFile("broken.zip", "this is no zip archive at all, not even close.");
    EXPECT_EQ(ZipRun::Unpack(temp / "broken.zip", target), static_cast<int>(azip::TRunResult::ArchiveFailed));
    const auto statuses = ZipRun::FileStatuses();
    ASSERT_EQ(statuses.size(), 2u);
    EXPECT_EQ(statuses[0].rfind(temp / "missing.zip|", 0), 0u) << statuses[0];
    EXPECT_EQ(Status(statuses[0]), "2");
    EXPECT_EQ(Status(statuses[1]), "13");  // not a zip archive: told apart from one that cannot be opened
}

} // namespace
