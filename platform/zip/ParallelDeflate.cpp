#include "platform/zip/ParallelDeflate.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

namespace azip {

namespace {
constexpr std::size_t DictionarySize = 32 * 1024;  // deflate's window
constexpr unsigned MaxThreads = 8;                  // bounds the memory a run holds
} // namespace

struct TDeflateChunk {
    std::vector<unsigned char> Input;  // the dictionary, then the data
    std::size_t Dictionary = 0;
    std::size_t Length = 0;
    bool Last = false;
    std::vector<unsigned char> Output;
    std::uint32_t Crc = 0;
    bool Failed = false;
    bool Done = false;  // under the workers' mutex
};

namespace {

// One worker's zlib state, kept from chunk to chunk.
class TDeflater {
public:
    explicit TDeflater(int level) {
        // Raw deflate with zlib's own memory level: on table files it packs as small as
        // Info-ZIP at the same level (libzip's larger level came out 0.5 % bigger).
        ok_ = deflateInit2(&z_, level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) == Z_OK;
    }
    ~TDeflater() {
        if (ok_) deflateEnd(&z_);
    }
    TDeflater(const TDeflater&) = delete;
    TDeflater& operator=(const TDeflater&) = delete;

    void Compress(TDeflateChunk& chunk) {
        chunk.Failed = !ok_ || !Deflate(chunk);
        if (chunk.Failed) chunk.Output.clear();
        const unsigned char* data = chunk.Input.data() + chunk.Dictionary;
        chunk.Crc = static_cast<std::uint32_t>(crc32_z(0, data, chunk.Length));
        chunk.Input = {};  // its memory goes back before the chunk is taken
    }

private:
    bool Deflate(TDeflateChunk& chunk) {
        if (deflateReset(&z_) != Z_OK) return false;
        if (chunk.Dictionary > 0 &&
            deflateSetDictionary(&z_, chunk.Input.data(), static_cast<uInt>(chunk.Dictionary)) != Z_OK)
            return false;
        const int flush = chunk.Last ? Z_FINISH : Z_SYNC_FLUSH;
        z_.next_in = chunk.Input.data() + chunk.Dictionary;
        z_.avail_in = static_cast<uInt>(chunk.Length);
        chunk.Output.resize(deflateBound(&z_, static_cast<uLong>(chunk.Length)) + 64);
        std::size_t used = 0;
        for (;;) {
            z_.next_out = chunk.Output.data() + used;
            z_.avail_out = static_cast<uInt>(chunk.Output.size() - used);
            const int result = deflate(&z_, flush);
            used = chunk.Output.size() - z_.avail_out;
            if (result == Z_STREAM_END || (flush == Z_SYNC_FLUSH && result == Z_OK && z_.avail_out > 0)) break;
            if (result != Z_OK && result != Z_BUF_ERROR) return false;
            chunk.Output.resize(chunk.Output.size() * 2);
        }
        chunk.Output.resize(used);
        return true;
    }

    z_stream z_{};
    bool ok_ = false;
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
    // Small files still go to both cores; large ones in chunks whose priming costs little.
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
    filling_->Dictionary = dictionary_.size();
    filling_->Length = NextInputSize();
    filling_->Input.resize(filling_->Dictionary + filling_->Length);
    // The first chunk has no dictionary; memcpy must not see its null pointer.
    std::copy(dictionary_.begin(), dictionary_.end(), filling_->Input.begin());
    return filling_->Input.data() + filling_->Dictionary;
}

void TDeflateStream::SubmitInput() {
    fed_ += filling_->Length;
    fedAll_ = fed_ == size_;
    filling_->Last = fedAll_;
    const std::size_t keep = std::min(DictionarySize, filling_->Input.size());
    dictionary_.assign(filling_->Input.end() - static_cast<std::ptrdiff_t>(keep), filling_->Input.end());
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
