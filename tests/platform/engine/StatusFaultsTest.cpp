// Status queries of the engine's files go through the file-system seam: a failing one is an
// error, never a file taken for missing (a journal taken for missing is a family left half
// changed) nor a size taken on trust.
#include "platform/engine/AliasConfig.h"
#include "platform/engine/EngineErrors.h"
#include "paradox/FamilyJournal.h"
#include "paradox/MemoWriter.h"
#include "paradox/RandomAccessFile.h"
#include "platform/rtl/FaultInjection.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <cerrno>

namespace {

using rtl::TFsOp;

rtl::TFault StatFault(const std::string& path) { return rtl::TFault{rtl::OpBit(TFsOp::Stat), 1, EIO, false, path}; }

TEST(StatusFaults, AJournalWhoseStatusCannotBeReadIsNeitherThereNorGone) {
    test::TempDir dir;
    rtl::TFaultInjectingFileSystem fs;
    const rtl::TScopedFileSystem installed(fs);
    EXPECT_FALSE(engine::paradox::JournalPending(dir.Path(), "Hovory.db"));
    fs.Arm(StatFault(".journal"));
    EXPECT_THROW(engine::paradox::JournalPending(dir.Path(), "Hovory.db"), engine::EDBEngineError);
    EXPECT_TRUE(fs.Struck());

    dir.WriteFile(engine::paradox::JournalName("Hovory.db"), "");
    fs.Arm(StatFault(".journal"));
    EXPECT_THROW(engine::paradox::JournalPending(dir.Path(), "Hovory.db"), engine::EDBEngineError);
    fs.Disarm();
    EXPECT_TRUE(engine::paradox::JournalPending(dir.Path(), "Hovory.db"));
}

TEST(StatusFaults, ATableFileWhoseSizeCannotBeReadIsNotOpened) {
    test::TempDir dir;
    const std::string path = dir.WriteFile("Hovory.db", std::string(4096, 'x'));
    rtl::TFaultInjectingFileSystem fs;
    const rtl::TScopedFileSystem installed(fs);
    fs.Arm(StatFault("Hovory.db"));
    EXPECT_THROW(engine::paradox::TRandomAccessFile::Open(path), engine::EDBEngineError);
    EXPECT_TRUE(fs.Struck());
    fs.Disarm();
    EXPECT_EQ(engine::paradox::TRandomAccessFile::Open(path)->Size(), 4096u);
}

// Taken for missing, the memo file would be made anew over the table's blobs.
TEST(StatusFaults, AMemoFileWhoseStatusCannotBeReadIsNotMadeAnew) {
    test::TempDir dir;
    const std::string blobs(3 * 4096, 'b');
    const std::string path = dir.WriteFile("Hovory.mb", blobs);
    rtl::TFaultInjectingFileSystem fs;
    const rtl::TScopedFileSystem installed(fs);
    fs.Arm(StatFault("Hovory.mb"));
    EXPECT_THROW(engine::paradox::TMemoWriter::OpenForAppend(path), engine::EDBEngineError);
    EXPECT_TRUE(fs.Struck());
    EXPECT_EQ(test::FileBytes(path), blobs);
}

// Taken for missing, the configuration would be saved over with the one alias being added.
TEST(StatusFaults, AConfigurationWhoseStatusCannotBeReadIsNotTakenForEmpty) {
    test::TempDir dir;
    const std::string path = dir / "engine.cfg";
    engine::TAliasConfig config;
    rtl::TStringList params;
    params.Add("PATH=" + dir.Path());
    config.SetAlias("ORV", params);
    config.Save(path);
    rtl::TFaultInjectingFileSystem fs;
    const rtl::TScopedFileSystem installed(fs);
    fs.Arm(StatFault("engine.cfg"));
    EXPECT_THROW(engine::TAliasConfig::Load(path), engine::EDBEngineError);
    fs.Disarm();
    EXPECT_EQ(engine::TAliasConfig::Load(path).AliasNames(), std::vector<std::string>{"ORV"});
}

} // namespace
