// Packers and unpackers keep their own settings, abort requests and errors: runs configured
// side by side, one started inside another's callback, and the legacy calls on two threads.
#include "platform/zip/AddUnzip.h"
#include "platform/zip/AddZip.h"
#include "tests/support/ZipFixtures.h"

#include <gtest/gtest.h>

#include <zip.h>

#include <latch>
#include <thread>

namespace {

struct StoredEntry {
    std::string name;
    zip_uint16_t method;
};

std::vector<StoredEntry> Entries(const std::string& archivePath) {
    std::vector<StoredEntry> entries;
    int error = 0;
    zip_t* archive = zip_open(archivePath.c_str(), ZIP_RDONLY, &error);
    if (!archive) return entries;
    for (zip_int64_t i = 0; i < zip_get_num_entries(archive, 0); ++i) {
        zip_stat_t st;
        zip_stat_index(archive, static_cast<zip_uint64_t>(i), 0, &st);
        entries.push_back({st.name, st.comp_method});
    }
    zip_discard(archive);
    return entries;
}

class ZipHandle : public ::testing::Test {
protected:
    void SetUp() override {
        a = temp.WriteFile("src/a.db", std::string(20000, 'a'));
        b = temp.WriteFile("src/b.db", std::string(30000, 'b'));
        listA = temp.WriteFile("a.lst", a + "\r\n");
        listB = temp.WriteFile("b.lst", b + "\r\n");
        std::filesystem::create_directories(temp / "out");
    }
    // A receiver that records every message it is sent.
    static azip::TZipMessageSink Recorder(std::vector<std::string>& into) {
        return [&into](std::uint8_t type, const char* text) {
            into.push_back(std::to_string(type) + " " + text);
            return 1;
        };
    }
    static bool Mentions(const std::vector<std::string>& messages, const std::string& what) {
        for (const auto& m : messages)
            if (m.find(what) != std::string::npos) return true;
        return false;
    }

    test::TempDir temp;
    std::string a, b, listA, listB;
    std::string zipA = temp / "out/a.zip", zipB = temp / "out/b.zip";
};

TEST_F(ZipHandle, TwoPackersConfiguredSideBySideEachPackWithTheirOwnSettings) {
    azip::TZipPacker packerA, packerB;
    std::vector<std::string> toldA, toldB;
    packerA.InstallSink(Recorder(toldA));
    packerB.InstallSink(Recorder(toldB));
    packerA.SetArchiveName(zipA);
    packerB.SetArchiveName(zipB);
    packerA.SetIncludeListFile(listA);
    packerB.SetIncludeListFile(listB);
    packerA.SetCompressionLevel(0);
    packerB.SetCompressionLevel(9);
    packerB.SetSaveStructure(true);

    EXPECT_EQ(packerA.Run(), azip::TRunResult::Ok);
    EXPECT_EQ(packerB.Run(), azip::TRunResult::Ok);
    const auto inA = Entries(zipA);
    ASSERT_EQ(inA.size(), 1u);
    EXPECT_EQ(inA[0].name, "a.db");
    EXPECT_EQ(inA[0].method, ZIP_CM_STORE);
    const auto inB = Entries(zipB);
    ASSERT_EQ(inB.size(), 1u);
    EXPECT_EQ(inB[0].name, b.substr(1));
    EXPECT_EQ(inB[0].method, ZIP_CM_DEFLATE);
    EXPECT_TRUE(Mentions(toldA, zipA));
    EXPECT_FALSE(Mentions(toldA, zipB));
    EXPECT_FALSE(Mentions(toldB, zipA));
}

TEST_F(ZipHandle, EachRunKeepsItsOwnErrors) {
    azip::TZipPacker failing, sound;
    failing.SetArchiveName(zipA);
    failing.SetIncludeListFile(temp.WriteFile("gone.lst", temp / "src/gone.db\r\n"));
    sound.SetArchiveName(zipB);
    sound.SetIncludeListFile(listB);
    azip::TZipUnpacker notAnArchive;
    notAnArchive.SetArchiveName(listA);
    notAnArchive.SetExtractTo(temp / "target");

    EXPECT_EQ(failing.Run(), azip::TRunResult::FilesFailed);
    EXPECT_EQ(notAnArchive.Run(), azip::TRunResult::ArchiveFailed);
    EXPECT_EQ(sound.Run(), azip::TRunResult::Ok);

    const azip::TRunReport& failed = failing.LastRun();
    EXPECT_EQ(failed.result, azip::TRunResult::FilesFailed);
    EXPECT_EQ(failed.failed, 1);
    ASSERT_TRUE(failed.lastFailure);
    EXPECT_EQ(failed.lastFailure->path, temp / "src/gone.db");
    EXPECT_EQ(failed.lastFailure->status, azip::FileStatus::NotFound);
    ASSERT_TRUE(notAnArchive.LastRun().lastFailure);
    EXPECT_EQ(notAnArchive.LastRun().lastFailure->status, azip::FileStatus::NotAnArchive);
    EXPECT_EQ(sound.LastRun().result, azip::TRunResult::Ok);
    EXPECT_EQ(sound.LastRun().succeeded, 1);
    EXPECT_FALSE(sound.LastRun().lastFailure);

    failing.Reset();
    EXPECT_FALSE(failing.LastRun().lastFailure);
}

// A packing and an unpacking started, and stopped, from inside another run's callback leave
// that run going to its end.
TEST_F(ZipHandle, AnAbortOfARunInsideAnotherRunsCallbackStopsOnlyThatRun) {
    const std::string earlier = temp / "out/earlier.zip";
    {
        azip::TZipPacker packer;
        packer.SetArchiveName(earlier);
        packer.SetIncludeListFile(listA);
        ASSERT_EQ(packer.Run(), azip::TRunResult::Ok);
    }
    // Sent as the outer run starts: an inner packing and unpacking that each stop at once.
    std::vector<azip::TRunResult> inner;
    const auto startAndStopInnerRuns = [&](std::uint8_t type, const char*) {
        if (type != azip::MessageType::RunStarted) return 1;
        azip::TZipPacker packer;
        packer.SetArchiveName(zipB);
        packer.SetIncludeListFile(listB);
        packer.InstallSink([&packer](std::uint8_t, const char*) { packer.Abort(); return 1; });
        inner.push_back(packer.Run());
        azip::TZipUnpacker unpacker;
        unpacker.SetArchiveName(earlier);
        unpacker.SetExtractTo(temp / "inner");
        unpacker.InstallSink([&unpacker](std::uint8_t, const char*) { unpacker.Abort(); return 1; });
        inner.push_back(unpacker.Run());
        return 1;
    };
    const std::vector<azip::TRunResult> bothStopped{azip::TRunResult::Aborted, azip::TRunResult::Aborted};

    azip::TZipPacker packer;
    packer.SetArchiveName(zipA);
    packer.SetIncludeListFile(listA);
    packer.InstallSink(startAndStopInnerRuns);
    EXPECT_EQ(packer.Run(), azip::TRunResult::Ok);
    EXPECT_EQ(inner, bothStopped);
    EXPECT_EQ(Entries(zipA).size(), 1u);

    inner.clear();
    azip::TZipUnpacker unpacker;
    unpacker.SetArchiveName(earlier);
    unpacker.SetExtractTo(temp / "target");
    unpacker.InstallSink(startAndStopInnerRuns);
    EXPECT_EQ(unpacker.Run(), azip::TRunResult::Ok);
    EXPECT_EQ(inner, bothStopped);
    EXPECT_EQ(test::ReadBytes(temp / "target/a.db"), test::ReadBytes(a));

    EXPECT_FALSE(std::filesystem::exists(zipB));
    EXPECT_FALSE(std::filesystem::exists(temp / "inner/a.db"));
}

// The legacy calls act on the calling thread's own packer: a thread that configures its run
// while another thread's configured run waits does not change that run.
TEST_F(ZipHandle, LegacyCallsOnTwoThreadsKeepTheirOwnSettings) {
    std::latch firstConfigured(1), secondConfigured(1), firstDone(1);
    int firstResult = -1, secondResult = -1;
    std::thread first([&] {
        azip::addZIP_Initialise();
        azip::addZIP_ArchiveName(zipA.c_str());
        azip::addZIP_IncludeListFile(listA.c_str());
        azip::addZIP_SetCompressionLevel(0);
        firstConfigured.count_down();
        secondConfigured.wait();
        firstResult = azip::addZIP();
        firstDone.count_down();
    });
    std::thread second([&] {
        firstConfigured.wait();
        azip::addZIP_Initialise();
        azip::addZIP_ArchiveName(zipB.c_str());
        azip::addZIP_IncludeListFile(listB.c_str());
        azip::addZIP_Abort(1);
        secondConfigured.count_down();
        firstDone.wait();
        secondResult = azip::addZIP();
    });
    first.join();
    second.join();

    EXPECT_EQ(firstResult, static_cast<int>(azip::TRunResult::Ok));
    EXPECT_EQ(secondResult, static_cast<int>(azip::TRunResult::Aborted));
    const auto inA = Entries(zipA);
    ASSERT_EQ(inA.size(), 1u);
    EXPECT_EQ(inA[0].name, "a.db");
    EXPECT_EQ(inA[0].method, ZIP_CM_STORE);
    EXPECT_FALSE(std::filesystem::exists(zipB));
}

} // namespace
