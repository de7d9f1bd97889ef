// Replays the inputs the fuzzers found worth keeping through the full fuzz harness: every
// table of the engine's damaged-table corpus, and every archive of corpus-zip/. A replay
// passes when nothing crashes or escapes the target (run it under the asan preset).
#include "tests/fuzz/FuzzHarness.h"
#include "platform/engine/EngineErrors.h"
#include "platform/engine/paradox/ParadoxTable.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <vector>

namespace {

namespace fs = std::filesystem;

std::vector<fs::path> FilesEndingWith(const fs::path& dir, const std::string& ext) {
    std::vector<fs::path> files;
    for (const auto& e : fs::directory_iterator(dir))
        if (e.path().extension() == ext) files.push_back(e.path());
    std::sort(files.begin(), files.end());
    return files;
}

TEST(FuzzReplay, EveryCorpusTableIsReadEveryWay) {
    const auto tables = FilesEndingWith(fs::path(TABLORA_TEST_DATA_DIR) / ".." / "platform" / "engine" / "corpus", ".db");
    ASSERT_FALSE(tables.empty());
    for (const auto& t : tables) {
        SCOPED_TRACE(t.filename().string());
        fuzz::ExerciseTable(t.string());
    }
}

TEST(FuzzReplay, EveryCorpusArchiveUnpacksInsideItsTarget) {
    const auto archives = FilesEndingWith(fs::path(TABLORA_TEST_DATA_DIR) / "corpus-zip", ".zip");
    ASSERT_FALSE(archives.empty());
    test::TempDir scratch;
    for (const auto& a : archives) {
        SCOPED_TRACE(a.filename().string());
        fuzz::ExerciseArchive(a.string(), (fs::path(scratch.Path()) / "t" / "out").string());
    }
}

// Opening blocks on a FIFO until a writer comes; a table path naming one must be refused.
TEST(FuzzReplay, FifoUnderATableNameIsRefusedNotWaitedOn) {
    test::TempDir dir;
    const std::string path = (fs::path(dir.Path()) / "T.db").string();
    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
    EXPECT_THROW(engine::paradox::TParadoxTable::Open(path), engine::EDBEngineError);
}

// A field whose header size cannot belong to its type keeps its bytes, shown as hex, rather
// than being read as the type past its end.
TEST(FuzzReplay, FieldOfImpossibleSizeKeepsItsRawBytes) {
    using namespace engine::paradox;
    const auto table = TParadoxTable::Open(
        (fs::path(TABLORA_TEST_DATA_DIR) / ".." / "platform" / "engine" / "corpus" / "fuzz-wide-long.db").string());
    const auto decoder = table->Decoder();
    std::vector<TFieldValue> values;
    TProblemList problems;
    int rows = 0;
    table->ForEachRecord(
        [&](const TRecordRef& r) {
            decoder.Decode(r.Bytes, values, nullptr);
            ++rows;
            return true;
        },
        problems);
    ASSERT_EQ(rows, 1);
    ASSERT_EQ(values.size(), 1u);
    EXPECT_TRUE(values[0].Raw);
    EXPECT_EQ(values[0].Bytes.size(), 200u);
    const std::string text = FormatFieldValue(values[0], table->Header().Fields[0].TypeCode);
    EXPECT_EQ(text.substr(0, 10), "800000075a");
}

} // namespace
