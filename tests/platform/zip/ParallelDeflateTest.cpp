// Deflate on several threads: the chunks join into one stream that inflates to the input,
// with the input's CRC, the bytes do not depend on how many threads compressed them, and
// chunks compressed apart pack about as small as one stream.
#include "platform/zip/ParallelDeflate.h"

#include <gtest/gtest.h>

#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

// Table-like records with stretches of noise, so some chunks compress and some do not.
std::vector<unsigned char> Input(std::size_t size) {
    std::vector<unsigned char> bytes(size);
    std::mt19937 random(static_cast<unsigned>(size));
    for (std::size_t i = 0; i < size; ++i) {
        const bool noise = (i / 100000) % 3 == 2;
        bytes[i] = noise ? static_cast<unsigned char>(random()) : static_cast<unsigned char>("Bratislava 0905 "[i % 16] + i / 4096 % 7);
    }
    return bytes;
}

struct TDeflated {
    std::vector<unsigned char> Bytes;
    std::uint32_t Crc = 0;
};

// Feeds and takes as the packer does: a few chunks ahead, small pieces out.
TDeflated Deflate(const std::vector<unsigned char>& input, unsigned threads) {
    azip::TDeflateWorkers workers(3, threads);
    azip::TDeflateStream stream(workers, input.size());
    TDeflated out;
    std::size_t fed = 0;
    unsigned char piece[8192];
    for (;;) {
        while (stream.NeedsInput()) {
            const std::size_t n = stream.NextInputSize();
            std::copy_n(input.begin() + static_cast<std::ptrdiff_t>(fed), n, stream.InputBuffer());
            fed += n;
            stream.SubmitInput();
        }
        const std::int64_t n = stream.Take(piece, sizeof piece);
        EXPECT_GE(n, 0);
        if (n <= 0) break;
        out.Bytes.insert(out.Bytes.end(), piece, piece + n);
    }
    EXPECT_EQ(fed, input.size());
    out.Crc = stream.Crc();
    return out;
}

std::vector<unsigned char> Inflate(const std::vector<unsigned char>& deflated, std::size_t expected) {
    z_stream z{};
    EXPECT_EQ(inflateInit2(&z, -MAX_WBITS), Z_OK);
    std::vector<unsigned char> out(expected + 1);
    z.next_in = const_cast<unsigned char*>(deflated.data());
    z.avail_in = static_cast<uInt>(deflated.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    EXPECT_EQ(inflate(&z, Z_FINISH), Z_STREAM_END) << "one stream, ended once, at its last chunk";
    EXPECT_EQ(z.avail_in, 0u) << "nothing after the stream's end";
    out.resize(z.total_out);
    inflateEnd(&z);
    return out;
}

TEST(ParallelDeflate, ChunksJoinIntoOneStreamWhateverTheNumberOfThreads) {
    const std::size_t small = azip::TDeflateStream::ChunkSize(1), large = azip::TDeflateStream::ChunkSize(64u << 20);
    ASSERT_LT(small, large);
    // Empty, one byte, chunk edges of a small file and of a large one.
    for (const std::size_t size : {std::size_t{0}, std::size_t{1}, small, small + 1, 3 * small - 1,
                                   std::size_t{4} << 20, 5 * large + 7}) {
        SCOPED_TRACE(size);
        const auto input = Input(size);
        const TDeflated one = Deflate(input, 1);
        EXPECT_EQ(Inflate(one.Bytes, size), input);
        EXPECT_EQ(one.Crc, static_cast<std::uint32_t>(crc32_z(0, input.data(), input.size())));
        for (const unsigned threads : {2u, 5u}) {
            const TDeflated more = Deflate(input, threads);
            EXPECT_TRUE(more.Bytes == one.Bytes) << threads << " threads";
            EXPECT_EQ(more.Crc, one.Crc);
        }
    }
}

TEST(ParallelDeflate, ChunksStartingAfreshCostLittle) {
    // A chunk cannot refer back past its own start. Records that repeat across the whole file,
    // as a table's do, then cost one record set a chunk more than one stream would, no more.
    std::vector<unsigned char> records(20000);
    std::mt19937 random(11);
    for (auto& b : records) b = static_cast<unsigned char>(random());
    std::vector<unsigned char> input;
    while (input.size() < (3u << 20)) input.insert(input.end(), records.begin(), records.end());
    const std::size_t chunks = (input.size() + azip::TDeflateStream::ChunkSize(input.size()) - 1) /
                               azip::TDeflateStream::ChunkSize(input.size());
    ASSERT_GT(chunks, 10u);

    uLongf whole = compressBound(static_cast<uLong>(input.size()));
    std::vector<unsigned char> reference(whole);
    ASSERT_EQ(compress2(reference.data(), &whole, input.data(), static_cast<uLong>(input.size()), 3), Z_OK);
    const TDeflated chunked = Deflate(input, 2);
    EXPECT_EQ(Inflate(chunked.Bytes, input.size()), input);
    EXPECT_LE(chunked.Bytes.size(), whole + chunks * (records.size() + 64))
        << chunked.Bytes.size() << " against " << whole << " in one stream";

    // Fixed-size records of names and numbers with zero padding: as small as one zlib stream
    // at the same level, give or take the margin an archive has against Info-ZIP.
    std::vector<unsigned char> table;
    std::mt19937 pick(5);
    const char* names[] = {"Bratislava", "Kosice", "Zilina", "Nitra", "mobil", "pevna", "Hovory", "linka"};
    while (table.size() < (5u << 20)) {
        char record[64] = {};
        std::snprintf(record, sizeof record, "%-12s%-8s0905%06u%04u%02u", names[pick() % 8], names[pick() % 8],
                      static_cast<unsigned>(pick() % 1000000), 2020 + static_cast<unsigned>(pick() % 6),
                      1 + static_cast<unsigned>(pick() % 12));
        table.insert(table.end(), record, record + sizeof record);
    }
    whole = compressBound(static_cast<uLong>(table.size()));
    reference.resize(whole);
    ASSERT_EQ(compress2(reference.data(), &whole, table.data(), static_cast<uLong>(table.size()), 3), Z_OK);
    const TDeflated packed = Deflate(table, 2);
    EXPECT_EQ(Inflate(packed.Bytes, table.size()), table);
    EXPECT_LE(static_cast<double>(packed.Bytes.size()), 1.005 * static_cast<double>(whole))
        << packed.Bytes.size() << " against " << whole << " in one zlib stream";
}

// Zeros with a few bytes strewn in, noise (which goes into stored blocks, ending on a byte's
// edge) and text: the chunks' own streams end on many different bits of their last byte, and
// the joint must hold on each of them.
TEST(ParallelDeflate, ChunksJoinWhicheverBitTheirStreamsEndOn) {
    const std::size_t small = azip::TDeflateStream::ChunkSize(1);
    for (int kind = 0; kind < 3; ++kind) {
        for (unsigned variant = 0; variant < 24; ++variant) {
            SCOPED_TRACE(testing::Message() << "kind " << kind << ", variant " << variant);
            std::mt19937 random(variant * 3 + static_cast<unsigned>(kind));
            std::vector<unsigned char> input(2 * small + variant * 997);
            for (std::size_t i = 0; i < input.size(); ++i) {
                if (kind == 0) input[i] = random() % 4096 == 0 ? static_cast<unsigned char>(random()) : 0;
                else if (kind == 1) input[i] = static_cast<unsigned char>(random());
                else input[i] = static_cast<unsigned char>("Hovory 0905 linka "[(i + random() % 3) % 18]);
            }
            const TDeflated joined = Deflate(input, 2);
            EXPECT_EQ(Inflate(joined.Bytes, input.size()), input);
            EXPECT_EQ(joined.Crc, static_cast<std::uint32_t>(crc32_z(0, input.data(), input.size())));
        }
    }
}

} // namespace
