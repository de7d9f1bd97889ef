// Every call a packing or an unpacking run makes through the file-system seam fails in turn
// (ENOSPC, EIO, EACCES, EROFS), and the run is killed at each call that changes the disk: the
// archiver tells a failure in its own message box, and the old archive, or each file in the
// target directory, is either as it was or whole and new. The run after a kill clears what
// the killed one left.
#include "tests/archive/ArchivTestSupport.h"
#include "tests/support/FaultPoints.h"

#include <filesystem>
#include <fstream>
#include <map>

namespace {

namespace fs = std::filesystem;
using TFiles = std::map<std::string, std::string>;

std::string Content(int seed, std::size_t size) {
    std::string s(size, '\0');
    for (std::size_t i = 0; i < size; ++i) s[i] = static_cast<char>((i * 7 + static_cast<std::size_t>(seed) * 131 + i / 97) & 0xFF);
    return s;
}

// The files of `dir`; hidden ones (temporaries a killed run left) only with `hidden`.
TFiles FilesOf(const std::string& dir, bool hidden = false) {
    TFiles files;
    for (const std::string& name : test::DirectoryNames(dir))
        if (fs::is_regular_file(fs::path(dir) / name) && (hidden || name[0] != '.'))
            files[name] = test::ReadBytes(dir + "/" + name);
    return files;
}

class ArchivFaultPoints : public ArchivTest {
protected:
    void SetUp() override {
        fs::create_directories(temp / "db");
        fs::create_directories(temp / "out");
        for (const char* name : {"Hovory.DB", "Hovory.MB", "Hovory.PX", "Linky.DB"})
            files.push_back(temp.WriteFile(std::string("db/") + name, Content(static_cast<int>(files.size()), 30000)));
        database = FilesOf(temp / "db");
    }

    // What the run reported: each message box it showed.
    std::string Messages() const {
        std::string text;
        for (const auto& m : ui.messages) text += m.caption + ": " + m.text + "\n";
        return text;
    }

    // The files an archive holds, unpacked (without faults) into a scratch directory.
    TFiles Unpacked(const std::string& archive) {
        const std::string scratch = temp / "check";
        fs::remove_all(scratch);
        fs::create_directories(scratch);
        const std::size_t shown = ui.messages.size();
        ui.Answer(ui::TMsgAnswer::No);
        const bool whole = Unpack(archive, scratch);
        ui.messages.resize(shown);
        return whole ? FilesOf(scratch) : TFiles{};
    }

    std::vector<std::string> files;
    TFiles database;
};

TEST_F(ArchivFaultPoints, PackingKeepsTheOldArchiveUntilTheNewOneIsWhole) {
    const std::string archive = temp / "out/Backup.zip";
    ASSERT_TRUE(Pack({files[0], files[3]}, temp / "out", "Backup.zip"));
    fs::copy_file(archive, temp / "old.zip");
    const std::string old = test::ReadBytes(archive);
    test::ForEachFaultPoint(
        "packing (archiver)",
        [&] {
            ui.messages.clear();
            fs::copy_file(temp / "old.zip", archive, fs::copy_options::overwrite_existing);
        },
        [&] {
            Pack(files, temp / "out", "Backup.zip");
            return Messages();
        },
        [&](const test::TPointRun& r) {
            EXPECT_EQ(FilesOf(temp / "db"), database);
            EXPECT_EQ(FilesOf(temp / "out").size(), 1u);
            if (r.Reported.empty() && !r.Killed) {
                EXPECT_EQ(Unpacked(archive), database) << "success was shown without a whole archive";
            } else {
                if (!r.Killed) {
                    ASSERT_FALSE(ui.messages.empty()) << "not told in a message box: " << r.Reported;
                    EXPECT_EQ(ui.messages.front().caption, "Záloha súborov databázy");
                    // The archive's own failure says why.
                    if (ui.messages.front().text.rfind("Archív", 0) == 0) test::ExpectReasonGiven(r);
                }
                EXPECT_TRUE(test::ReadBytes(archive) == old || Unpacked(archive) == database);
            }
            if (r.Killed) {
                EXPECT_TRUE(Pack(files, temp / "out", "Backup.zip"));
            }
            EXPECT_EQ(test::DirectoryNames(temp / "out"), std::vector<std::string>{"Backup.zip"});
        });
}

TEST_F(ArchivFaultPoints, UnpackingLeavesEachFileOldOrWhole) {
    const std::string archive = temp / "Backup.zip";
    ASSERT_TRUE(Pack(files, temp.Path(), "Backup.zip"));
    const std::string archived = test::ReadBytes(archive);
    const std::string target = temp / "restore";
    auto reset = [&] {
        fs::remove_all(target);
        fs::create_directories(target);
        std::ofstream(target + "/Hovory.DB", std::ios::binary) << "yesterday's table";
        std::ofstream(target + "/notes.txt", std::ios::binary) << "not in the archive";
    };
    reset();
    const TFiles before = FilesOf(target);
    test::ForEachFaultPoint(
        "unpacking (archiver)",
        [&] {
            reset();
            ui.messages.clear();
            ui.Answer(ui::TMsgAnswer::No);  // an unpacking error stops the unpacking
        },
        [&] {
            Unpack(archive, target);
            return Messages();
        },
        [&](const test::TPointRun& r) {
            EXPECT_TRUE(test::ReadBytes(archive) == archived);
            const TFiles now = FilesOf(target);
            EXPECT_EQ(now.at("notes.txt"), "not in the archive");
            const bool done = r.Reported.empty() && !r.Killed;
            for (const auto& [name, bytes] : now) {
                if (name == "notes.txt") continue;
                const bool old = before.count(name) && before.at(name) == bytes;
                const bool whole = database.count(name) && database.at(name) == bytes;
                EXPECT_TRUE(old || whole) << name << " is neither as it was nor whole";
                if (done) {
                    EXPECT_TRUE(whole) << name << ": success was shown without it";
                }
            }
            if (done) {
                EXPECT_EQ(now.size(), database.size() + 1);
            } else if (!r.Killed) {
                ASSERT_FALSE(ui.messages.empty()) << "not told in a message box: " << r.Reported;
                EXPECT_EQ(ui.messages.front().caption, "Obnova súborov databázy");
            }
            if (r.Killed) {
                EXPECT_TRUE(Unpack(archive, target));
                EXPECT_EQ(FilesOf(target).size(), database.size() + 1);
            }
            EXPECT_EQ(FilesOf(target, true).size(), FilesOf(target).size()) << "a temporary file is left";
        });
}

} // namespace
