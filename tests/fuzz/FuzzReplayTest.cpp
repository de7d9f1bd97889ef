// Replays inputs through the fuzz targets' own harness: every table of the engine's
// damaged-table corpus and of the small samples (read, verified, rebuilt without losing a
// row), blobs of the samples and of damaged memo files, every archive of corpus-zip/, and
// every input kept in regressions/TARGET/. A replay passes when nothing crashes, escapes
// its target or breaks a promise the harness checks (run it under the asan preset too).
#include "tests/fuzz/FuzzHarness.h"
#include "platform/engine/EngineErrors.h"
#include "platform/engine/ParadoxTables.h"
#include "platform/engine/ParadoxWriters.h"
#include "tests/support/Samples.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
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
        if (ext.empty() || e.path().extension() == ext) files.push_back(e.path());
    std::sort(files.begin(), files.end());
    return files;
}

const fs::path CorpusDir = fs::path(TABLORA_TEST_DATA_DIR) / ".." / "platform" / "engine" / "corpus";

std::string ReadWhole(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// The input tag of a companion file, by its extension (a secondary index of any number
// plays the one index name the harness writes).
std::string CompanionTag(std::string ext) {
    std::transform(ext.begin(), ext.end(), ext.begin(), ::tolower);
    auto hex = [](char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; };
    if (ext == ".mb" || ext == ".px") return ext.substr(1);
    if (ext.size() == 4 && (ext[1] == 'x' || ext[1] == 'y')) {
        if (ext[2] == 'g' && hex(ext[3])) return ext[1] == 'x' ? "XG0" : "YG0";
        if (hex(ext[2]) && hex(ext[3])) return ext[1] == 'x' ? "X02" : "Y02";
    }
    return {};
}

// A table with its companion files as one input of the table targets.
std::string PackTable(const fs::path& db) {
    std::string input = ReadWhole(db);
    for (const auto& e : fs::directory_iterator(db.parent_path())) {
        if (e.path() == db || e.path().stem() != db.stem()) continue;
        if (const std::string tag = CompanionTag(e.path().extension().string()); !tag.empty())
            input += fuzz::CompanionMarker + tag + "\n" + ReadWhole(e.path());
    }
    return input;
}

void RunInput(const char* target, const std::string& input, const std::string& dir) {
    fuzz::RunTarget(target, reinterpret_cast<const std::uint8_t*>(input.data()), input.size(), dir);
}

TEST(FuzzReplay, EveryCorpusTableIsReadEveryWayAndRebuiltWithoutLosingARow) {
    const auto tables = FilesEndingWith(CorpusDir, ".db");
    ASSERT_FALSE(tables.empty());
    test::TempDir scratch;
    for (const auto& t : tables) {
        SCOPED_TRACE(t.filename().string());
        fuzz::ExerciseTable(t.string());
        RunInput("rebuild", PackTable(t), scratch.Path());
    }
}

// The small real tables the fuzzers start from: each rebuilt keeps every intact row.
TEST(FuzzReplay, EverySmallSampleTableIsRebuiltWithoutLosingARow) {
    test::TempDir scratch;
    int rebuilt = 0;
    for (const auto& t : test::SampleTables()) {
        if (fs::file_size(t) > 40000) continue;
        SCOPED_TRACE(t);
        RunInput("rebuild", PackTable(t), scratch.Path());
        ++rebuilt;
    }
    EXPECT_GT(rebuilt, 50);
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

TEST(FuzzReplay, SeededMutationsOfCorpusTablesAreReadEveryWayAndRebuilt) {
    const auto tables = FilesEndingWith(CorpusDir, ".db");
    test::TempDir dir, rebuildDir;
    const std::string path = (fs::path(dir.Path()) / "T.db").string();
    std::mt19937 rng(20261208);
    for (int round = 0; round < 600; ++round) {
        const auto& source = tables[static_cast<std::size_t>(round) % tables.size()];
        std::ifstream in(source, std::ios::binary);
        const std::string original((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::ofstream(path, std::ios::binary | std::ios::trunc) << Mutate(original, rng);
        SCOPED_TRACE("round " + std::to_string(round) + " from " + source.filename().string());
        fuzz::ExerciseTable(path);
        if (round % 3 == 0) RunInput("rebuild", ReadWhole(path), rebuildDir.Path());
    }
}

// The blob fields of a table's first rows with its memo file, as one memo input.
fuzz::TMemoInput BlobsOf(const std::string& dataPath, std::size_t limit) {
    using namespace engine::paradox;
    fuzz::TMemoInput input;
    const auto table = TParadoxTable::Open(dataPath);
    if (!table->Memo() || !table->Memo()->Usable()) return input;
    input.MemoBytes = ReadWhole(table->Memo()->Path());
    TProblemList ignored;
    table->ForEachRecord(
        [&](const TRecordRef& r) {
            for (const auto& f : table->Header().Fields)
                if (IsBlobField(f.TypeCode) && f.Size >= 10 && f.Size <= 255)
                    input.Fields.emplace_back(reinterpret_cast<const char*>(r.Bytes) + f.Offset, f.Size);
            return input.Fields.size() < limit;
        },
        ignored);
    return input;
}

TEST(FuzzReplay, EverySampleBlobReadsAlikeInAnyOrderAndWritesBack) {
    test::TempDir scratch;
    int tables = 0;
    for (const auto& t : test::SampleTables()) {
        SCOPED_TRACE(t);
        fuzz::TMemoInput input;
        try {
            input = BlobsOf(t, 200);
        } catch (const engine::EDBEngineError&) {
            continue;
        }
        if (input.Fields.empty() || input.MemoBytes.size() > (4u << 20)) continue;
        RunInput("memo", fuzz::FormatMemoInput(input), scratch.Path());
        ++tables;
    }
    EXPECT_GE(tables, 5);
}

// A memo file the engine wrote (blobs in the leader, shared blocks at their edges, blocks of
// their own), damaged byte by byte by a fixed-seed generator.
TEST(FuzzReplay, SeededDamageOfAMemoFileReadsAlikeAndWritesBack) {
    using namespace engine::paradox;
    test::TempDir scratch;
    const std::string written = scratch.Path() + "/W.mb";
    fuzz::TMemoInput clean;
    {
        auto writer = TMemoWriter::CreateNew(written);
        const std::size_t lengths[] = {0, 5, 10, 11, 16, 17, 100, 2047, 2048, 2049, 4087, 4088, 9000};
        for (std::size_t i = 0; i < std::size(lengths); ++i) {
            std::string field(i % 2 ? 20 : 11, '\0');
            writer->Store(std::string(lengths[i], static_cast<char>('a' + i)), reinterpret_cast<std::uint8_t*>(field.data()),
                          static_cast<int>(field.size()));
            clean.Fields.push_back(field);
        }
        writer->Finish();
    }
    clean.MemoBytes = ReadWhole(written);
    std::mt19937 rng(20261209);
    const std::string dir = scratch.Path() + "/run";
    fs::create_directories(dir);
    for (int round = 0; round < 300; ++round) {
        fuzz::TMemoInput input = clean;
        for (int hits = 1 + static_cast<int>(rng() % 3); hits > 0; --hits) {
            if (rng() % 4 == 0) {
                std::string& f = input.Fields[rng() % input.Fields.size()];
                f[f.size() - 10 + rng() % 10] = static_cast<char>(rng());
            } else {
                // Block heads and slot tables are where one byte matters most.
                const std::size_t block = 4096 * (rng() % (input.MemoBytes.size() / 4096));
                input.MemoBytes[block + (rng() % 2 ? rng() % 16 : rng() % 4096)] = static_cast<char>(rng());
            }
        }
        if (round % 10 == 9) input.MemoBytes.resize(rng() % input.MemoBytes.size());
        SCOPED_TRACE("round " + std::to_string(round));
        RunInput("memo", fuzz::FormatMemoInput(input), dir);
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

// Inputs a fuzzer once stopped on, rebuilt from our own values: each through its own target.
TEST(FuzzReplay, EveryKeptRegressionInputPassesItsTarget) {
    const fs::path root = fs::path(TABLORA_TEST_DATA_DIR) / "regressions";
    ASSERT_TRUE(fs::is_directory(root));
    test::TempDir scratch;
    int inputs = 0;
    for (const auto& target : FilesEndingWith(root, "")) {
        const std::string name = target.filename().string();
        for (const auto& input : FilesEndingWith(target, "")) {
            SCOPED_TRACE(name + "/" + input.filename().string());
            RunInput(name.c_str(), ReadWhole(input), scratch.Path());
            ++inputs;
        }
    }
    EXPECT_GT(inputs, 0);
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
        (CorpusDir / "fuzz-wide-long.db").string());
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
