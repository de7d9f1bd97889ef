// A struck kill ends the process as SIGKILL would: a forked child shows it.
#include "platform/rtl/FaultInjection.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>

namespace {

using rtl::TFsOp;
using rtl::TFault;
using rtl::TFaultInjectingFileSystem;

TEST(FaultInjection, AKillStopsTheProcessAtThatCall) {
    test::TempDir dir;
    const pid_t child = ::fork();
    if (child == 0) {
        TFaultInjectingFileSystem fs;
        rtl::TScopedFileSystem scope(fs);
        fs.Arm(TFault{rtl::OpBit(TFsOp::Rename), 1, 0, true, {}});
        rtl::TFileSystem& seam = rtl::FileSystem();
        rtl::TFileDescriptor(seam.Open(dir / "tmp", O_WRONLY | O_CREAT, 0644)).Reset();
        seam.Rename(dir / "tmp", dir / "final");
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(WTERMSIG(status), SIGKILL);
    EXPECT_TRUE(std::filesystem::exists(dir / "tmp"));
    EXPECT_FALSE(std::filesystem::exists(dir / "final"));
}

} // namespace
