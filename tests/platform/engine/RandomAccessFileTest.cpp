// The table reader's file: a scan costs a system call per window, not per block, and every
// read, scanned, jumped to or past the end, gives the file's bytes.
#include "paradox/RandomAccessFile.h"
#include "platform/rtl/FileSystem.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

using engine::paradox::TRandomAccessFile;

class TCountingReads : public rtl::TFileSystem {
public:
    ssize_t ReadAt(int fd, void* buffer, std::size_t size, std::uint64_t offset) override {
        ++Calls;
        Bytes += size;
        return rtl::TFileSystem::ReadAt(fd, buffer, size, offset);
    }
    std::size_t Calls = 0;
    std::size_t Bytes = 0;
};

std::string Pattern(std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i * 131 + i / 7);
    return bytes;
}

// What ReadAt must give: the file's bytes, zeros past its end.
std::string Expected(const std::string& file, std::uint64_t offset, std::size_t length) {
    std::string out(length, '\0');
    for (std::size_t i = 0; i < length && offset + i < file.size(); ++i) out[i] = file[offset + i];
    return out;
}

TEST(RandomAccessFile, AScanReadsWindowsAndJumpsReadOnlyWhatTheyAsk) {
    test::TempDir temp;
    const std::string bytes = Pattern((3u << 20) + 1234);
    const std::string path = temp.WriteFile("Hovory.DB", bytes);
    TCountingReads counting;
    const rtl::TScopedFileSystem installed(counting);
    const auto file = TRandomAccessFile::Open(path);

    // Block by block through the whole file and past its end, as the chain cursor reads.
    const std::size_t block = 2048;
    std::string got(block, '\0');
    for (std::uint64_t offset = 0; offset < bytes.size() + 3 * block; offset += block) {
        const std::size_t n = file->ReadAt(offset, got.data(), block);
        ASSERT_EQ(got, Expected(bytes, offset, block)) << offset;
        ASSERT_EQ(n, offset < bytes.size() ? std::min<std::size_t>(block, bytes.size() - offset) : 0) << offset;
    }
    EXPECT_LE(counting.Calls, 10u) << "a scan of 1500 blocks";

    // Jumps about, as a lookup through an index does: right bytes, and no window read for them.
    std::mt19937 random(7);
    counting.Calls = counting.Bytes = 0;
    for (int i = 0; i < 200; ++i) {
        const std::uint64_t offset = random() % (bytes.size() + block);
        const std::size_t length = 1 + random() % 4096;
        std::string some(length, '\0');
        file->ReadAt(offset, some.data(), length);
        ASSERT_EQ(some, Expected(bytes, offset, length)) << offset << " " << length;
    }
    EXPECT_LE(counting.Bytes, 200u * 4096u * 2u);

    // A scan that starts again after a jump, then steps back into what it read.
    counting.Calls = 0;
    for (std::uint64_t offset = 1u << 20; offset < (2u << 20); offset += 100) {
        std::string some(100, '\0');
        file->ReadAt(offset, some.data(), 100);
        ASSERT_EQ(some, Expected(bytes, offset, 100)) << offset;
        if (offset % 65536 < 100) {
            file->ReadAt(offset - 50, some.data(), 100);
            ASSERT_EQ(some, Expected(bytes, offset - 50, 100)) << offset;
        }
    }
    EXPECT_LE(counting.Calls, 40u);
}

TEST(RandomAccessFile, AWalkOverBlockHeadersReadsWindowsNotEveryHeader) {
    test::TempDir temp;
    const std::string bytes = Pattern((4u << 20) + 2048 + 777);
    const std::string path = temp.WriteFile("Hovory.DB", bytes);
    TCountingReads counting;
    const rtl::TScopedFileSystem installed(counting);
    const auto file = TRandomAccessFile::Open(path);

    // Six bytes at the start of every 4 KiB block after a 2 KiB header, to the end and past it.
    std::string head(6, '\0');
    std::size_t heads = 0;
    for (std::uint64_t offset = 2048; offset < bytes.size() + 8192; offset += 4096, ++heads) {
        file->ReadAt(offset, head.data(), head.size());
        ASSERT_EQ(head, Expected(bytes, offset, head.size())) << offset;
    }
    EXPECT_GT(heads, 1000u);
    EXPECT_LE(counting.Calls, 12u);

    // A jump far ahead is no scan: it reads what it asks, and so does one back.
    counting.Calls = counting.Bytes = 0;
    file->ReadAt(0, head.data(), head.size());
    file->ReadAt(3u << 20, head.data(), head.size());
    ASSERT_EQ(head, Expected(bytes, 3u << 20, head.size()));
    EXPECT_EQ(counting.Bytes, 12u);
}

} // namespace
