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
#include <fstream>
#include <iterator>
#include <random>
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

// Damage of the kinds found in the field, drawn from a fixed seed so every run reads the
// same inputs: header fields set to edge values, bit flips, bytes set, blocks swapped,
// truncation.
std::string Mutate(std::string bytes, std::mt19937& rng) {
    if (bytes.size() <= 0x60) return bytes;
    const std::size_t headerSize = std::min<std::size_t>(
        bytes.size(), static_cast<unsigned char>(bytes[2]) | (static_cast<unsigned char>(bytes[3]) << 8));
    static const std::size_t fields16[] = {0x00, 0x02, 0x0A, 0x0C, 0x0E, 0x10, 0x1E, 0x21, 0x23, 0x4D, 0x66, 0x68};
    static const std::uint32_t edges[] = {0, 1, 2, 0x7F, 0x80, 0xFF, 0x100, 0x7FFF, 0x8000, 0xFFFF, 0xFFFFFFFFu};
    const int steps = 1 + static_cast<int>(rng() % 3);
    for (int s = 0; s < steps && headerSize > 0; ++s) {
        switch (rng() % 6) {
        case 0: {  // a 16- or 32-bit header field set to an edge value
            const std::size_t at = fields16[rng() % std::size(fields16)];
            const std::uint32_t v = edges[rng() % std::size(edges)];
            for (std::size_t i = 0; i < (rng() % 2 ? 2u : 4u) && at + i < bytes.size(); ++i)
                bytes[at + i] = static_cast<char>(v >> (8 * i));
            break;
        }
        case 1:  // a bit of the header
            bytes[rng() % headerSize] ^= static_cast<char>(1 << (rng() % 8));
            break;
        case 2:  // a byte anywhere
            bytes[rng() % bytes.size()] = static_cast<char>(rng());
            break;
        case 3: {  // a block header (links, last-record offset)
            if (bytes.size() <= headerSize + 6) break;
            const std::size_t block = headerSize + 1024 * (rng() % ((bytes.size() - headerSize) / 1024 + 1));
            if (block + 6 <= bytes.size()) bytes[block + rng() % 6] = static_cast<char>(rng());
            break;
        }
        case 4: {  // two 1 KiB blocks swapped
            const std::size_t blocks = (bytes.size() - headerSize) / 1024;
            if (blocks < 2) break;
            const std::size_t a = headerSize + 1024 * (rng() % blocks), b = headerSize + 1024 * (rng() % blocks);
            std::swap_ranges(bytes.begin() + static_cast<std::ptrdiff_t>(a),
                             bytes.begin() + static_cast<std::ptrdiff_t>(a + 1024),
                             bytes.begin() + static_cast<std::ptrdiff_t>(b));
            break;
        }
        default:  // cut off; nothing follows it
            bytes.resize(0x58 + rng() % (bytes.size() - 0x58));
            return bytes;
        }
    }
    return bytes;
}

TEST(FuzzReplay, SeededMutationsOfCorpusTablesAreReadEveryWay) {
    const auto tables = FilesEndingWith(fs::path(TABLORA_TEST_DATA_DIR) / ".." / "platform" / "engine" / "corpus", ".db");
    test::TempDir dir;
    const std::string path = (fs::path(dir.Path()) / "T.db").string();
    std::mt19937 rng(20261208);
    for (int round = 0; round < 600; ++round) {
        const auto& source = tables[static_cast<std::size_t>(round) % tables.size()];
        std::ifstream in(source, std::ios::binary);
        const std::string original((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::ofstream(path, std::ios::binary | std::ios::trunc) << Mutate(original, rng);
        SCOPED_TRACE("round " + std::to_string(round) + " from " + source.filename().string());
        fuzz::ExerciseTable(path);
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
