#include "platform/zip/ParallelDeflate.h"

#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>

namespace azip {

namespace {
constexpr unsigned MaxThreads = 8;               // bounds the memory a run holds
constexpr std::size_t CheckBufferSize = 64 * 1024;  // a worker's buffer for inflating a chunk back
} // namespace

struct TDeflateChunk {
    std::vector<unsigned char> Input;
    std::size_t Length = 0;
    bool Last = false;
    std::vector<unsigned char> Output;
    std::uint32_t Crc = 0;
    bool Failed = false;
    bool Done = false;  // under the workers' mutex
};

namespace {

// Where the last block of a whole raw deflate stream starts and where the stream ends, in bits
// from its first byte, as found by inflating it; and whether it inflated to `expected`.
struct TStreamShape {
    bool Matches = false;
    std::size_t FinalBlockBit = 0;
    std::size_t EndBit = 0;
};

// One worker's libdeflate compressor and zlib inflater, kept from chunk to chunk.
class TDeflater {
public:
    explicit TDeflater(int level)
        : compressor_(libdeflate_alloc_compressor(level)), check_(CheckBufferSize) {
        inflating_ = inflateInit2(&z_, -MAX_WBITS) == Z_OK;
    }
    ~TDeflater() {
        if (compressor_) libdeflate_free_compressor(compressor_);
        if (inflating_) inflateEnd(&z_);
    }
    TDeflater(const TDeflater&) = delete;
    TDeflater& operator=(const TDeflater&) = delete;

    void Compress(TDeflateChunk& chunk) {
        chunk.Failed = !compressor_ || !inflating_ || !Deflate(chunk);
        if (chunk.Failed) chunk.Output.clear();
        chunk.Crc = libdeflate_crc32(0, chunk.Input.data(), chunk.Input.size());
        chunk.Input = {};  // its memory goes back before the chunk is taken
    }

private:
    bool Deflate(TDeflateChunk& chunk) {
        const std::vector<unsigned char>& in = chunk.Input;
        chunk.Output.resize(libdeflate_deflate_compress_bound(compressor_, in.size()) + 5);
        const std::size_t n =
            libdeflate_deflate_compress(compressor_, in.data(), in.size(), chunk.Output.data(), chunk.Output.size());
        if (n == 0) return false;
        chunk.Output.resize(n);
        const TStreamShape shape = Shape(chunk.Output, in);
        if (!shape.Matches || (shape.EndBit + 7) / 8 != n) return false;
        if (!chunk.Last) Continue(chunk.Output, shape);
        return true;
    }

    // Inflates `deflated` back, comparing it with `expected` as it goes, and notes at each
    // block's end where the next block starts.
    TStreamShape Shape(const std::vector<unsigned char>& deflated, const std::vector<unsigned char>& expected) {
        TStreamShape shape;
        if (inflateReset(&z_) != Z_OK) return shape;
        z_.next_in = const_cast<unsigned char*>(deflated.data());
        z_.avail_in = static_cast<uInt>(deflated.size());
        std::size_t compared = 0;
        std::size_t blockBit = 0;  // where the block being inflated started
        for (;;) {
            z_.next_out = check_.data();
            z_.avail_out = static_cast<uInt>(check_.size());
            const int result = inflate(&z_, Z_BLOCK);
            const std::size_t produced = check_.size() - z_.avail_out;
            if (produced > expected.size() - compared ||
                (produced > 0 && std::memcmp(check_.data(), expected.data() + compared, produced) != 0))
                return shape;
            compared += produced;
            if (result == Z_STREAM_END) break;
            if (result != Z_OK) return shape;
            if (z_.data_type & 128) {  // just after a block's end code
                const std::size_t used = static_cast<std::size_t>(z_.next_in - deflated.data());
                const std::size_t bit = used * 8 - static_cast<std::size_t>(z_.data_type & 7);
                if (z_.data_type & 64) {  // that block was the last
                    shape.FinalBlockBit = blockBit;
                    shape.EndBit = bit;
                } else {
                    blockBit = bit;
                }
            }
        }
        shape.Matches = compared == expected.size() && z_.avail_in == 0 && shape.EndBit > 0;
        return shape;
    }

    // Makes the stream go on after its end: its last block is no longer the final one, and an
    // empty stored block (three zero bits, zeros to the byte's end, then LEN 0 and NLEN) brings
    // the next chunk's stream to a byte boundary.
    static void Continue(std::vector<unsigned char>& stream, const TStreamShape& shape) {
        stream[shape.FinalBlockBit / 8] &= static_cast<unsigned char>(~(1u << (shape.FinalBlockBit % 8)));
        const std::size_t usedInLast = shape.EndBit % 8;
        if (usedInLast != 0) stream.back() &= static_cast<unsigned char>((1u << usedInLast) - 1);
        if (usedInLast == 0 || usedInLast > 5) stream.push_back(0);  // the header's bits do not fit
        for (const unsigned char b : {0x00, 0x00, 0xff, 0xff}) stream.push_back(b);
    }

    libdeflate_compressor* compressor_;
    z_stream z_{};
    bool inflating_ = false;
    std::vector<unsigned char> check_;
};

} // namespace

TDeflateWorkers::TDeflateWorkers(int level, unsigned threads) : level_(level) {
    if (threads == 0) threads = std::thread::hardware_concurrency();
    threads = std::clamp(threads, 1u, MaxThreads);
    for (unsigned i = 0; i < threads; ++i) threads_.emplace_back([this] { Work(); });
}

TDeflateWorkers::~TDeflateWorkers() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        queue_.clear();
    }
    queued_.notify_all();
    for (std::thread& t : threads_) t.join();
}

void TDeflateWorkers::Submit(std::shared_ptr<TDeflateChunk> chunk) {
    {
        std::lock_guard lock(mutex_);
        queue_.push_back(std::move(chunk));
    }
    queued_.notify_one();
}

void TDeflateWorkers::Await(const TDeflateChunk& chunk) {
    std::unique_lock lock(mutex_);
    done_.wait(lock, [&] { return chunk.Done; });
}

void TDeflateWorkers::Work() {
    TDeflater deflater(level_);
    for (;;) {
        std::shared_ptr<TDeflateChunk> chunk;
        {
            std::unique_lock lock(mutex_);
            queued_.wait(lock, [&] { return stopping_ || !queue_.empty(); });
            if (stopping_) return;
            chunk = std::move(queue_.front());
            queue_.pop_front();
        }
        deflater.Compress(*chunk);
        {
            std::lock_guard lock(mutex_);
            chunk->Done = true;
        }
        done_.notify_all();
    }
}

std::size_t TDeflateStream::ChunkSize(std::uint64_t size) {
    // Small files still go to both cores; large ones in chunks whose start, which cannot refer
    // back to the chunk before it, costs little.
    return size < 4 * 1024 * 1024 ? 256 * 1024 : 1024 * 1024;
}

TDeflateStream::TDeflateStream(TDeflateWorkers& workers, std::uint64_t size)
    : workers_(workers), size_(size), chunkSize_(ChunkSize(size)), depth_(workers.Threads() + 2) {}

TDeflateStream::~TDeflateStream() = default;

bool TDeflateStream::NeedsInput() const { return !fedAll_ && inFlight_.size() < depth_; }

std::size_t TDeflateStream::NextInputSize() const {
    return static_cast<std::size_t>(std::min<std::uint64_t>(chunkSize_, size_ - fed_));
}

unsigned char* TDeflateStream::InputBuffer() {
    filling_ = std::make_shared<TDeflateChunk>();
    filling_->Length = NextInputSize();
    filling_->Input.resize(filling_->Length);
    return filling_->Input.data();
}

void TDeflateStream::SubmitInput() {
    fed_ += filling_->Length;
    fedAll_ = fed_ == size_;
    filling_->Last = fedAll_;
    inFlight_.push_back(filling_);
    workers_.Submit(std::move(filling_));
}

std::int64_t TDeflateStream::Take(void* data, std::size_t length) {
    while (!inFlight_.empty()) {
        TDeflateChunk& front = *inFlight_.front();
        workers_.Await(front);
        if (front.Failed) return -1;
        const std::size_t n = std::min(length, front.Output.size() - taken_);
        if (n > 0) {
            std::memcpy(data, front.Output.data() + taken_, n);
            taken_ += n;
            return static_cast<std::int64_t>(n);
        }
        crc_ = static_cast<std::uint32_t>(crc32_combine(crc_, front.Crc, static_cast<z_off_t>(front.Length)));
        inFlight_.pop_front();
        taken_ = 0;
    }
    return 0;
}

} // namespace azip
