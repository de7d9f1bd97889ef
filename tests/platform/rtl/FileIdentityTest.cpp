#include "platform/rtl/FileIdentity.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

mode_t ModeOf(const std::string& path) {
    struct stat st {};
    ::stat(path.c_str(), &st);
    return st.st_mode & 07777;
}

// A new file takes after its own table's files first, else after most of the directory.
TEST(FileIdentity, ANewFileTakesAfterItsTableElseAfterMostOfItsSiblings) {
    test::TempDir dir;
    for (const char* name : {"Hovory.db", "Hovory.px", "Tel_zoz.db"}) ::chmod(dir.WriteFile(name, "x").c_str(), 0640);
    ::chmod(dir.WriteFile("BRANY.DB", "x").c_str(), 0600);
    struct stat own {};
    ::stat(dir.Path().c_str(), &own);

    EXPECT_EQ(rtl::IdentityForNewFile(dir.Path(), "Brany.X02", 0644).Mode, 0600u);
    EXPECT_EQ(rtl::IdentityForNewFile(dir.Path(), "Kurz.db", 0644).Mode, 0640u);
    EXPECT_EQ(rtl::IdentityForNewFile(dir.Path(), "Kurz.db", 0644).Group, own.st_gid);
    EXPECT_EQ(rtl::IdentityForPlaceOf(dir / "BRANY.DB", 0644).Mode, 0600u);  // the file it replaces
    test::TempDir empty;
    EXPECT_EQ(rtl::IdentityForNewFile(empty.Path(), "Kurz.db", 0644).Mode, 0644u);
    EXPECT_EQ(rtl::IdentityForNewFile(empty.Path(), "Kurz.db", 0644).Owner, ::geteuid());

    const int fd = ::open((dir / "Kurz.db").c_str(), O_WRONLY | O_CREAT, 0666);
    rtl::GiveIdentity(fd, rtl::IdentityForNewFile(dir.Path(), "Kurz.db", 0644));
    ::close(fd);
    EXPECT_EQ(ModeOf(dir / "Kurz.db"), 0640u);
}

} // namespace
