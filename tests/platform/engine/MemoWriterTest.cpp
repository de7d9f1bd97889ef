// The memo writer holds its blocks back and writes them in runs: every blob must still read
// back whole, whichever mix of shared and own blocks it took, before and after an append, and
// the blocks must reach the file in few writes.
#include "paradox/MemoFile.h"
#include "paradox/MemoWriter.h"
#include "platform/rtl/FileSystem.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

using namespace engine::paradox;

class TCountingWrites : public rtl::TFileSystem {
public:
    ssize_t WriteAt(int fd, const void* buffer, std::size_t size, std::uint64_t offset) override {
        ++Calls;
        return rtl::TFileSystem::WriteAt(fd, buffer, size, offset);
    }
    std::size_t Calls = 0;
};

constexpr int FieldSize = 30;  // a 20-byte leader and the descriptor

std::string Blob(std::mt19937& random, std::size_t size) {
    std::string bytes(size, '\0');
    for (char& c : bytes) c = static_cast<char>('a' + random() % 26);
    return bytes;
}

// Sizes that fit the leader, share blocks, fill a shared block to its last slot, or take
// blocks of their own (one of several blocks), in a shuffled order.
std::vector<std::string> Blobs(std::mt19937& random, int count) {
    const std::size_t sizes[] = {0, 5, 20, 21, 100, 700, 2048, 2049, 4096, 9000, 70000};
    std::vector<std::string> out;
    for (int i = 0; i < count; ++i) out.push_back(Blob(random, sizes[random() % std::size(sizes)]));
    return out;
}

std::vector<std::vector<std::uint8_t>> Store(TMemoWriter& writer, const std::vector<std::string>& blobs) {
    std::vector<std::vector<std::uint8_t>> fields;
    for (const std::string& blob : blobs) {
        fields.emplace_back(FieldSize, 0xEE);
        writer.Store(blob, fields.back().data(), FieldSize);
    }
    return fields;
}

void ExpectReadBack(const std::string& path, const std::vector<std::string>& blobs,
                    const std::vector<std::vector<std::uint8_t>>& fields) {
    TProblemList problems;
    const auto memo = TMemoFile::Open(path, false, problems);
    ASSERT_TRUE(memo);
    for (std::size_t i = 0; i < blobs.size(); ++i) {
        const TBlobResult got = ReadBlobField(fields[i].data(), FieldSize, memo.get());
        ASSERT_TRUE(got.Ok || blobs[i].empty()) << i << ": " << got.Error;
        EXPECT_EQ(got.Bytes, blobs[i]) << "blob " << i << " of " << blobs[i].size() << " bytes";
    }
    EXPECT_TRUE(problems.empty());
}

TEST(MemoWriter, EveryBlobReadsBackAfterWritesInRunsAndAfterAnAppend) {
    test::TempDir temp;
    const std::string path = temp.Path() + "/Hovory.MB";
    std::mt19937 random(11);
    const std::vector<std::string> first = Blobs(random, 400), second = Blobs(random, 300);
    std::vector<std::vector<std::uint8_t>> firstFields, secondFields;
    std::size_t firstBytes = 0;
    for (const auto& b : first) firstBytes += b.size();
    ASSERT_GT(firstBytes, 2u << 20) << "enough to fill several runs";

    TCountingWrites counting;
    {
        const rtl::TScopedFileSystem installed(counting);
        auto writer = TMemoWriter::CreateNew(path);
        firstFields = Store(*writer, first);
        writer->Finish();
    }
    ExpectReadBack(path, first, firstFields);
    // Blocks in runs of a quarter MiB, a blob of its own blocks at most one more write.
    EXPECT_LT(counting.Calls, 4 + firstBytes / (256 * 1024) + 2 * 40) << counting.Calls << " writes";

    {
        auto writer = TMemoWriter::OpenForAppend(path);
        secondFields = Store(*writer, second);
        writer->Finish();
    }
    ExpectReadBack(path, first, firstFields);
    ExpectReadBack(path, second, secondFields);
}

TEST(MemoWriter, ASharedBlockFilledAroundABlobOfItsOwnHoldsBoth) {
    test::TempDir temp;
    const std::string path = temp.Path() + "/Hovory.MB";
    std::mt19937 random(5);
    const std::vector<std::string> blobs = {Blob(random, 300), Blob(random, 5000), Blob(random, 400)};
    auto writer = TMemoWriter::CreateNew(path);
    const auto fields = Store(*writer, blobs);
    writer->Finish();
    ExpectReadBack(path, blobs, fields);
    // The shared block taken before the large blob and filled after it holds both small ones.
    auto block = [](const std::vector<std::uint8_t>& field) {
        const std::uint8_t* d = field.data() + FieldSize - 10;
        return (d[1] << 8) | (d[2] << 16) | (static_cast<std::uint32_t>(d[3]) << 24);
    };
    EXPECT_EQ(block(fields[0]), block(fields[2]));
    EXPECT_NE(block(fields[0]), block(fields[1]));
}

} // namespace
