// Packing through the archiver: where the archive goes, replacing it, and failures.
#include "tests/archive/ArchivTestSupport.h"

#include "archive/IncludeList.h"
#include "platform/rtl/FaultInjection.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <map>

namespace {

class ArchivPack : public ArchivTest {
protected:
    void SetUp() override {
        std::filesystem::create_directories(temp / "db");
        files = test::CopySampleFamilies(temp / "db");
    }
    std::vector<std::string> files;
};

TEST_F(ArchivPack, RoundTripKeepsTablesAndLeavesNoListFile) {
    std::string name;
    ASSERT_TRUE(Pack(files, temp / "backup", "ignored/dir/Backup.zip", &name));
    EXPECT_EQ(name, temp / "backup/Backup.zip");  // only the target directory decides
    EXPECT_TRUE(test::DirectoryNames(program.Path()).empty()) << "the include list was left behind";
    ASSERT_TRUE(Unpack(name, temp / "restore"));
    for (const auto& f : files) {
        const std::string r = temp / ("restore/" + std::filesystem::path(f).filename().string());
        EXPECT_EQ(test::ReadBytes(f), test::ReadBytes(r)) << r;
        EXPECT_EQ(test::MTime(f), test::MTime(r)) << r;
    }
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(ArchivPack, CreatesSeveralMissingLevels) {
    ASSERT_TRUE(Pack(files, temp / "a/b/c/d", "Backup.zip"));
    EXPECT_TRUE(std::filesystem::is_regular_file(temp / "a/b/c/d/Backup.zip"));
}

TEST_F(ArchivPack, BareNamePacksIntoTheCurrentDirectory) {
    const auto before = std::filesystem::current_path();
    std::filesystem::current_path(temp.Path());
    std::string name;
    const bool ok = Pack(files, "", "Backup.zip", &name);
    std::filesystem::current_path(before);
    EXPECT_TRUE(ok);
    EXPECT_EQ(name, "Backup.zip");
    EXPECT_TRUE(std::filesystem::is_regular_file(temp / "Backup.zip"));
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(ArchivPack, ExistingArchiveIsReplacedWithoutQuestion) {
    temp.WriteFile("Backup.zip", "old archive");
    ASSERT_TRUE(Pack(files, temp.Path(), "Backup.zip"));
    EXPECT_TRUE(ui.messages.empty());
    std::string out;
    EXPECT_EQ(test::RunCommand("unzip -tq '" + temp / "Backup.zip" + "'", &out), 0) << out;
}

TEST_F(ArchivPack, FailedFileStopsPackingAndKeepsTheOldArchive) {
    temp.WriteFile("Backup.zip", "old archive");
    std::vector<std::string> list = files;
    list.insert(list.begin() + 1, temp / "db/Gone.db");
    std::string name;
    EXPECT_FALSE(Pack(list, temp.Path(), "Backup.zip", &name));
    EXPECT_EQ(name, "");
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].caption, "Záloha súborov databázy");
    EXPECT_EQ(ui.messages[0].text, "Nepodarilo sa zabaliť súbor\r\n\"Gone.db\".");
    EXPECT_EQ(ui.messages[0].icon, ui::TMsgIcon::Error);
    EXPECT_EQ(ui.messages[0].buttons, ui::TMsgButtons::Ok);
    EXPECT_EQ(test::ReadBytes(temp / "Backup.zip"), "old archive");
    EXPECT_EQ(test::DirectoryNames(temp.Path()), (std::vector<std::string>{"Backup.zip", "db"}));
}

// The list cannot be created, or the disk fills while it is written: reported, and neither
// a list nor an archive is left.
TEST_F(ArchivPack, UnwritableListFileIsReported) {
    for (const rtl::TFsOp op : {rtl::TFsOp::OpenWrite, rtl::TFsOp::Write}) {
        ui.messages.clear();
        rtl::TFaultInjectingFileSystem fs;
        rtl::TScopedFileSystem scope(fs);
        fs.Arm(rtl::TFault{rtl::OpBit(op), 1, ENOSPC, false, ListFileName});
        EXPECT_FALSE(Pack(files, temp.Path(), "Backup.zip"));
        EXPECT_TRUE(fs.Struck()) << rtl::FsOpName(op);
        ASSERT_EQ(ui.messages.size(), 1u);
        EXPECT_EQ(ui.messages[0].text, "Nedá sa zapísať zoznam súborov na zabalenie");
        EXPECT_EQ(ui.messages[0].icon, ui::TMsgIcon::Error);
        EXPECT_FALSE(std::filesystem::exists(temp / "Backup.zip"));
        EXPECT_TRUE(test::DirectoryNames(program.Path()).empty()) << rtl::FsOpName(op);
    }
}

// A file system that loses the include list's tail when it is flushed or closed, as a disk
// whose write-back fails does, and says so in that call's result.
class TListLosingFileSystem : public rtl::TFileSystem {
public:
    explicit TListLosingFileSystem(rtl::TFsOp at) : at_(at) {}
    int Open(const std::string& path, int flags, mode_t mode) override {
        const int fd = rtl::TFileSystem::Open(path, flags, mode);
        if (fd >= 0 && path.find(ListFileName) != std::string::npos) lists_[fd] = path;
        return fd;
    }
    int Sync(int fd) override {
        if (at_ == rtl::TFsOp::Sync && Lose(fd)) return -1;
        return rtl::TFileSystem::Sync(fd);
    }
    int Close(int fd) override {
        const bool lost = at_ == rtl::TFsOp::Close && Lose(fd);
        lists_.erase(fd);
        const int r = rtl::TFileSystem::Close(fd);
        if (!lost) return r;
        errno = EIO;
        return -1;
    }
    bool Lost() const { return lost_; }

private:
    // Keeps the list's first line only: the lines that survive still name real files.
    bool Lose(int fd) {
        const auto it = lists_.find(fd);
        if (it == lists_.end()) return false;
        const std::string text = test::FileBytes(it->second);
        const auto firstLine = text.find("\r\n");
        if (firstLine == std::string::npos || ::ftruncate(fd, static_cast<off_t>(firstLine + 2)) != 0) return false;
        lost_ = true;
        errno = EIO;
        return true;
    }
    rtl::TFsOp at_;
    std::map<int, std::string> lists_;
    bool lost_ = false;
};

// The list loses files when it is flushed or closed, and that call fails: the run must not
// pack the files that are left and call it a backup.
TEST_F(ArchivPack, AListThatLostFilesWhenFlushedOrClosedFailsTheRun) {
    ASSERT_GT(files.size(), 1u);
    for (const rtl::TFsOp op : {rtl::TFsOp::Sync, rtl::TFsOp::Close}) {
        SCOPED_TRACE(rtl::FsOpName(op));
        ui.messages.clear();
        TListLosingFileSystem fs(op);
        {
            rtl::TScopedFileSystem scope(fs);
            EXPECT_FALSE(Pack(files, temp.Path(), "Backup.zip"));
        }
        EXPECT_TRUE(fs.Lost());
        ASSERT_EQ(ui.messages.size(), 1u);
        EXPECT_EQ(ui.messages[0].text, "Nedá sa zapísať zoznam súborov na zabalenie");
        EXPECT_FALSE(std::filesystem::exists(temp / "Backup.zip"));
        EXPECT_TRUE(test::DirectoryNames(program.Path()).empty());
    }
}

TEST_F(ArchivPack, ArchiveThatCannotBeReplacedIsReported) {
    std::filesystem::create_directories(temp / "Backup.zip");
    EXPECT_FALSE(Pack(files, temp.Path(), "Backup.zip"));
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, "Súbor \"" + temp / "Backup.zip" + "\"\r\nsa nedá vymazať");
}

TEST_F(ArchivPack, DirectoryThatCannotBeCreatedIsReported) {
    temp.WriteFile("blocker", "a file in the way");
    EXPECT_FALSE(Pack(files, temp / "blocker/sub", "Backup.zip"));
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, "Nepodarilo sa vytvoriť adresár:\r\n\"" + temp / "blocker/sub/" + "\"");
}

// A run killed before it removed its include list leaves it; the next run removes it, but
// never the list of a run that is still going.
TEST_F(ArchivPack, ListsOfKilledRunsAreRemovedByTheNextRun) {
    const pid_t ended = ::fork();
    if (ended == 0) ::_exit(0);
    ::waitpid(ended, nullptr, 0);
    const std::string killed = std::string(ListFileName) + "." + std::to_string(ended) + ".a1b2c3";
    const std::string running = std::string(ListFileName) + "." + std::to_string(::getppid()) + ".d4e5f6";
    temp.WriteFile("unused", "");
    std::filesystem::copy_file(temp / "unused", program / killed);
    std::filesystem::copy_file(temp / "unused", program / running);
    EXPECT_TRUE(Pack(files, temp.Path(), "Backup.zip"));
    EXPECT_EQ(test::DirectoryNames(program.Path()), std::vector<std::string>{running});
}

// A failure of the archive itself is told as such, with its reason: a full disk while the
// archive is written is no file that could not be packed. The old archive stays.
TEST_F(ArchivPack, AnArchiveThatCannotBeWrittenIsToldWithItsReason) {
    temp.WriteFile("Backup.zip", "old archive");
    rtl::TFaultInjectingFileSystem fs;
    {
        rtl::TScopedFileSystem scope(fs);
        fs.Arm(rtl::TFault{rtl::OpBit(rtl::TFsOp::Write), 1, ENOSPC, false, ".Backup.zip."});
        EXPECT_FALSE(Pack(files, temp.Path(), "Backup.zip"));
    }
    EXPECT_TRUE(fs.Struck());
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, "Archív \"" + temp / "Backup.zip" + "\"\r\nsa nepodarilo zapísať: Chyba zápisu: Na zariadení nie je voľné miesto");
    EXPECT_EQ(test::ReadBytes(temp / "Backup.zip"), "old archive");
    EXPECT_EQ(test::DirectoryNames(temp.Path()), (std::vector<std::string>{"Backup.zip", "db"}));
}

} // namespace
