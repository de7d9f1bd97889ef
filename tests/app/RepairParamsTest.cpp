#include "app/RepairParams.h"

#include <gtest/gtest.h>

namespace {

TEST(RepairParamsTest, DefaultRecord) {
    const app::TRepairParams& d = app::DefaultRepairParams;
    EXPECT_EQ(d.SourceKind, 0);
    EXPECT_EQ(d.SourcePath, "Orvan");
    EXPECT_EQ(d.BackupKind, 0);
    EXPECT_EQ(d.BackupTarget, "");
    EXPECT_EQ(d.OverwriteMode, 1);
    EXPECT_TRUE(d.BackupIndexes);
    EXPECT_FALSE(d.DeleteIndexesFlag || d.CheckDamage || d.CheckKeyViolations);
    EXPECT_EQ(d.TableList, "hovory,tel_zoz");
    EXPECT_EQ(d.RestoreKind, 0);
    EXPECT_EQ(d.RestoreSource, "");
    EXPECT_FALSE(d.DeleteIndexesAfterRestore);
}

TEST(RepairParamsTest, OverwriteAllGivesTheCopierModeThatReplacesWithoutAsking) {
    EXPECT_EQ(app::CopyModeOf(2), 3);
    EXPECT_EQ(app::RestoreCopyMode, 3);
}

} // namespace
