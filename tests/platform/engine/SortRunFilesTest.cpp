// The sorter's spilled runs may go to a directory every user writes to (/tmp): a name planted
// there, as a link to someone's file, is never written through, and the runs are readable by
// their owner alone.
#include "platform/engine/ParadoxWriters.h"
#include "platform/rtl/Process.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <set>

namespace {

namespace fs = std::filesystem;

TEST(SortRunFiles, APlantedLinkIsNotWrittenThroughAndRunsArePrivate) {
    test::TempDir shared, elsewhere;
    const std::string victim = elsewhere / "billing.txt";
    std::ofstream(victim) << "keep me";
    // Every name the sorter's runs were given before: .~sortrun.<pid>.<n>.tmp.
    const std::string pid = std::to_string(rtl::ProcessId());
    std::set<std::string> planted;
    for (int n = 1; n <= 64; ++n) {
        const std::string name = ".~sortrun." + pid + "." + std::to_string(n) + ".tmp";
        fs::create_symlink(victim, shared / name);
        planted.insert(name);
    }
    {
        engine::paradox::TRecordSorter sorter(8, 4, shared.Path(), 1024);
        std::uint8_t record[8] = {};
        for (std::uint32_t i = 0; i < 2000; ++i) {
            const std::uint32_t key = (i * 7919u) % 2000u;
            for (int b = 0; b < 4; ++b) record[b] = static_cast<std::uint8_t>(key >> (24 - 8 * b));
            sorter.Add(record);
        }
        ASSERT_GT(sorter.SpilledRuns(), 1u);
        std::size_t runs = 0;
        for (const auto& e : fs::directory_iterator(shared.Path())) {
            if (planted.count(e.path().filename().string())) continue;
            struct stat st {};
            ASSERT_EQ(::lstat(e.path().c_str(), &st), 0);
            EXPECT_TRUE(S_ISREG(st.st_mode)) << e.path();
            EXPECT_EQ(st.st_mode & 0777, 0600u) << e.path();
            ++runs;
        }
        EXPECT_EQ(runs, sorter.SpilledRuns());
        sorter.Finish();
        std::uint32_t n = 0;
        while (sorter.Next()) ++n;
        EXPECT_EQ(n, 2000u);
    }
    EXPECT_EQ(test::FileBytes(victim), "keep me");
    std::set<std::string> left;
    for (const auto& e : fs::directory_iterator(shared.Path())) left.insert(e.path().filename().string());
    EXPECT_EQ(left, planted);  // the runs are gone, the links someone else made stay
}

} // namespace
#endif
