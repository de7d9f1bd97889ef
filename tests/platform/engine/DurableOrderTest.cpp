// The order in which every write reaches the disk, checked call by call through the file-system
// seam: a power cut at any moment must leave the old table or the new one. So a file is
// flushed before it is renamed into place, a file changed in place gets its header (the part
// that says what exists) only after the rest is flushed, and no write returns before the
// renames and deletions it made in a directory are made durable there.
#include "WriterFixtures.h"
#include "platform/engine/paradox/SecondaryIndexes.h"
#include "platform/rtl/FileSystem.h"
#include "platform/rtl/Paths.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <fcntl.h>

#include <map>
#include <set>

namespace {

using namespace test;
using engine::TFieldType;
using engine::TTable;

// Passes every call on and records what would be lost by a power cut at that moment.
class TOrderWatchingFileSystem : public rtl::TFileSystem {
public:
    int Open(const std::string& path, int flags, mode_t mode) override {
        const int fd = rtl::TFileSystem::Open(path, flags, mode);
        if (fd >= 0) {
            paths_[fd] = path;
            if ((flags & (O_CREAT | O_TRUNC)) == 0 && (flags & O_ACCMODE) != O_RDONLY) inPlace_.insert(path);
            if (flags & O_TRUNC) inPlace_.erase(path);
        }
        return fd;
    }
    ssize_t Write(int fd, const void* buffer, std::size_t size) override {
        Written(fd, ~std::uint64_t{0});
        return rtl::TFileSystem::Write(fd, buffer, size);
    }
    ssize_t WriteAt(int fd, const void* buffer, std::size_t size, std::uint64_t offset) override {
        Written(fd, offset);
        return rtl::TFileSystem::WriteAt(fd, buffer, size, offset);
    }
    ssize_t CopyRange(int from, int to, std::size_t size) override {
        Written(to, ~std::uint64_t{0});
        return rtl::TFileSystem::CopyRange(from, to, size);
    }
    int Truncate(int fd, std::uint64_t size) override {
        Written(fd, ~std::uint64_t{0});
        return rtl::TFileSystem::Truncate(fd, size);
    }
    int Sync(int fd) override {
        const int r = rtl::TFileSystem::Sync(fd);
        if (r == 0) Forget(paths_[fd]);
        return r;
    }
    int Close(int fd) override {
        paths_.erase(fd);
        return rtl::TFileSystem::Close(fd);
    }
    int Rename(const std::string& from, const std::string& to) override {
        Renaming(from, to);
        return rtl::TFileSystem::Rename(from, to);
    }
    int RenameNoReplace(const std::string& from, const std::string& to) override {
        Renaming(from, to);
        return rtl::TFileSystem::RenameNoReplace(from, to);
    }
    int Unlink(const std::string& path) override {
        const int r = rtl::TFileSystem::Unlink(path);
        if (r == 0 && !Temporary(path)) unsyncedDirs_[rtl::ExtractFileDir(path)] = "deletion of " + path;
        Forget(path);
        return r;
    }
    int SyncDirectory(const std::string& directory) override {
        const int r = rtl::TFileSystem::SyncDirectory(directory);
        if (r == 0) unsyncedDirs_.erase(directory);
        return r;
    }

    // What went wrong so far, and what a power cut now would lose.
    std::vector<std::string> Faults() const {
        std::vector<std::string> out = faults_;
        for (const auto& [dir, what] : unsyncedDirs_) out.push_back("not made durable before returning: " + what);
        return out;
    }

private:
    static bool Temporary(const std::string& path) { return rtl::ExtractFileName(path).rfind(".~", 0) == 0; }
    void Forget(const std::string& path) {
        unsynced_.erase(path);
        dataUnsynced_.erase(path);
    }

    void Written(int fd, std::uint64_t offset) {
        const auto it = paths_.find(fd);
        if (it == paths_.end()) return;
        const std::string& path = it->second;
        // A file changed in place: its header says what the rest holds, so it comes last.
        if (inPlace_.count(path) && offset < 16 && dataUnsynced_.count(path))
            faults_.push_back("header of " + path + " written while the data it points at is not flushed");
        unsynced_.insert(path);
        if (offset >= 16) dataUnsynced_.insert(path);
    }
    void Renaming(const std::string& from, const std::string& to) {
        if (unsynced_.count(from)) faults_.push_back("renamed before it was flushed: " + from + " -> " + to);
        Forget(from);
        if (!Temporary(to)) unsyncedDirs_[rtl::ExtractFileDir(to)] = "rename to " + to;
    }

    std::map<int, std::string> paths_;
    std::set<std::string> inPlace_;
    std::set<std::string> unsynced_;      // written since their last flush
    std::set<std::string> dataUnsynced_;  // of those, written past their first 16 bytes
    std::map<std::string, std::string> unsyncedDirs_;
    std::vector<std::string> faults_;
};

// Runs `change` with the watcher installed and reports every fault it saw.
void ExpectDurableOrder(const std::function<void()>& change) {
    TOrderWatchingFileSystem watcher;
    {
        rtl::ScopedFileSystem installed(watcher);
        change();
    }
    for (const auto& f : watcher.Faults()) ADD_FAILURE() << f;
}

// A keyed table of every type with a memo file and two secondary indexes.
std::string MakeIndexedTable(const TempDir& dir, std::uint64_t rows) {
    const std::string path = dir / "Hovory.db";
    MakeTable(path, AllTypesLayout(1), rows);
    CreateSecondaryIndex(path, {"Small"}, "", dir.Path());
    CreateSecondaryIndex(path, {"Born", "Price"}, "byBorn", dir.Path());
    return path;
}

TEST(DurableOrder, PostedRowsWithBlobsAndIndexes) {
    TempDir dir;
    const std::string path = MakeIndexedTable(dir, 120);
    ExpectDurableOrder([&] {
        TTable t;
        t.TableName = path;
        t.Open();
        for (int k = 0; k < 3; ++k) {
            t.Append();
            t.SetFieldByName("Id", std::int64_t{100000 + k});
            t.SetFieldByName("Notes", std::string(k == 1 ? 5000 : 40, 'n'));
            t.Post();
        }
        t.Close();
    });
    EXPECT_EQ(ReadRows(path).size(), 123u);
    ExpectConsistent(path);
}

TEST(DurableOrder, DeletedRowAndCounterOnlyChange) {
    TempDir dir;
    const std::string path = MakeIndexedTable(dir, 40);
    ExpectDurableOrder([&] {
        TTable t;
        t.TableName = path;
        t.Open();
        t.Delete();
        t.Close();
    });
    ExpectDurableOrder([&] {  // the probe: only the counter moves, written in place
        TTable t;
        t.TableName = path;
        t.Open();
        t.Append();
        t.Post();
        t.Delete();
        t.Close();
    });
    EXPECT_EQ(ReadRows(path).size(), 39u);
}

TEST(DurableOrder, CreateAddIndexRenameAndDelete) {
    TempDir dir;
    ExpectDurableOrder([&] {
        TTable t;
        t.TableName = dir / "Novy";
        t.FieldDefs.Add("Key", TFieldType::Long);
        t.FieldDefs.Add("Memo", TFieldType::Memo, 15);
        t.CreateTable();
        t.Open();
        for (int k = 5; k > 0; --k) {
            t.Append();
            t.SetFieldByName("Key", std::int64_t{k});
            t.SetFieldByName("Memo", std::string(30, 'm'));
            t.Post();
        }
        t.Close();
        t.AddIndex("", "Key", engine::ixPrimary);
        t.RenameTable(dir / "Iny");
        t.DeleteTable();
    });
    EXPECT_TRUE(DirectoryBytes(dir.Path()).empty());
}

TEST(DurableOrder, BatchMoveIntoATableWithBlobs) {
    TempDir dir;
    const std::string source = dir / "Zdroj.db";
    MakeTable(source, AllTypesLayout(1), 80);
    const std::string target = dir / "Ciel.db";
    MakeTable(target, AllTypesLayout(1), 0);
    ExpectDurableOrder([&] {
        TTable from, to;
        from.TableName = source;
        to.TableName = target;
        engine::TBatchMove move;
        move.AbortOnProblem = true;
        move.Source = &from;
        move.Destination = &to;
        move.Execute();
    });
    EXPECT_EQ(ReadRows(target).size(), 80u);
}

} // namespace
