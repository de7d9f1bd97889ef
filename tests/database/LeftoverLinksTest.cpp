// Names a killed run of ours would leave behind, taken by symbolic links that lead out of the
// database directory: a restore's staging directory, a copy's temporary, a table's temporary.
// On a file system whose listings give no entry type, a run that clears what dead runs left
// still knows them for links: nothing they lead to is emptied or removed, each link stays,
// and the run says so.
#include "tests/database/CallTables.h"
#include "tests/database/ModuleFixture.h"

#include "platform/engine/InterruptedRuns.h"

#include <sys/wait.h>
#include <unistd.h>

namespace {

using namespace test;
namespace fs = std::filesystem;

// The real file system, but its listings say nothing of what an entry is (as some network
// and FUSE file systems do).
class TListingWithoutTypes : public rtl::TFileSystem {
public:
    int ListDirectory(const std::string& directory, std::vector<rtl::TDirEntry>& entries) override {
        const int result = rtl::TFileSystem::ListDirectory(directory, entries);
        for (auto& e : entries) e.Kind = rtl::TFileKind::Unknown;
        return result;
    }
};

// The id of a process that has ended.
int EndedProcess() {
    const pid_t child = ::fork();
    if (child == 0) ::_exit(0);
    int status = 0;
    ::waitpid(child, &status, 0);
    return static_cast<int>(child);
}

std::map<std::string, std::string> Files(const std::string& dir) {
    std::map<std::string, std::string> files;
    for (const auto& e : fs::directory_iterator(dir)) files[e.path().filename().string()] = ReadAll(e.path().string());
    return files;
}

class LeftoverLinks : public ModuleTest {};

TEST_F(LeftoverLinks, LinksNamedLikeLeftoversAreNeitherFollowedNorRemoved) {
    MakeCallTable(databaseDir / "Hovory.DB", 30);
    const std::string zip = program / "backup.zip";
    Module().BackupToZip(zip, true, 3);
    FreeModule();
    engine::TakeRunNotices();

    const std::string outside = other / "outside";
    fs::create_directories(outside);
    std::ofstream(outside + "/a") << "not the database's";
    std::ofstream(outside + "/b") << "nor this";
    const auto outsideBefore = Files(outside);
    const std::string pid = std::to_string(EndedProcess());
    const std::vector<std::string> links{".tablora-restore-" + pid + ".abcdef", ".tablora-copy-" + pid + ".abcdef.tmp",
                                         ".~Hovory.DB." + pid + ".1.tmp"};
    fs::create_directory_symlink(outside, databaseDir / links[0]);
    fs::create_symlink(outside + "/a", databaseDir / links[1]);
    fs::create_symlink(outside + "/b", databaseDir / links[2]);

    TListingWithoutTypes noTypes;
    {
        const rtl::TScopedFileSystem installed(noTypes);
        EXPECT_TRUE(Module().RestoreFromZip(zip));
        Module().CheckAndRebuildTables("Hovory");
        ASSERT_EQ(Module().RebuildReports.size(), 1u);
    }
    EXPECT_EQ(Files(outside), outsideBefore);
    for (const auto& link : links) EXPECT_TRUE(fs::is_symlink(databaseDir / link)) << link;
    EXPECT_EQ(WithoutKeys(databaseDir / "Hovory.DB").size(), 30u);

    std::vector<std::string> told;
    for (const auto& n : engine::TakeRunNotices())
        if (n.Kind == engine::TRunNotice::TKind::LinkLeftAlone) told.push_back(n.Detail);
    std::sort(told.begin(), told.end());
    std::vector<std::string> expected = links;
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(told, expected);
}

// A link named like the key repair's work table of a table that needs the repair: the repair
// of that table stops there and names it; the link stays, and what it leads to is not written.
TEST_F(LeftoverLinks, ALinkNamedLikeTheWorkTableStopsTheRepairOfItsTable) {
    MakeCallTable(databaseDir / "Hovory.DB", 30, 3);  // the counter lags: the table must be recreated
    const auto rows = WithoutKeys(databaseDir / "Hovory.DB");
    const std::string outside = other / "outside";
    fs::create_directories(outside);
    std::ofstream(outside + "/a") << "not the database's";
    const auto outsideBefore = Files(outside);
    fs::create_symlink(outside + "/a", databaseDir / ".~Hovory~kopia.DB");

    EXPECT_THROW(Module().RepairKeyViolations("\"Hovory\""), rtl::EError);
    ASSERT_EQ(Module().KeyRepairOutcomes.size(), 1u);
    EXPECT_NE(Module().KeyRepairOutcomes[0].Reason.find("\".~Hovory~kopia.DB\", a name of its work copy, is a symbolic link"),
              std::string::npos)
        << Module().KeyRepairOutcomes[0].Reason;
    EXPECT_TRUE(fs::is_symlink(databaseDir / ".~Hovory~kopia.DB"));
    EXPECT_EQ(Files(outside), outsideBefore);
    EXPECT_EQ(WithoutKeys(databaseDir / "Hovory.DB"), rows);
}

} // namespace
