// Deflate on every core. A file is cut into chunks that worker threads compress at the same
// time with libdeflate (at the same level about half zlib's time, and as small). Each chunk is
// one whole deflate stream of its own; every chunk but the file's last has its final-block bit
// cleared and ends with an empty stored block, as a sync flush ends, so the chunks joined in
// their order are one raw deflate stream. Every chunk is inflated back and compared with its
// input before it is taken (that pass also finds where its final block starts).
// The chunk size follows from the file's size alone and a chunk's bytes from its input alone:
// the archive is the same whatever the timing and however many cores the machine has.
//
// Memory is bounded: a stream keeps at most a few chunks, input and output, in flight.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace azip {

struct TDeflateChunk;

// The threads of one packing run; they compress the chunks of any stream in the order queued.
class TDeflateWorkers {
public:
    // `level` 1..9: libdeflate's levels, which pack about as small as zlib's; `threads` 0
    // means as many as the machine has cores (at most 8).
    explicit TDeflateWorkers(int level, unsigned threads = 0);
    ~TDeflateWorkers();  // waits for the chunk each thread is compressing; drops the queued ones
    TDeflateWorkers(const TDeflateWorkers&) = delete;
    TDeflateWorkers& operator=(const TDeflateWorkers&) = delete;

    unsigned Threads() const { return static_cast<unsigned>(threads_.size()); }
    int Level() const { return level_; }

    void Submit(std::shared_ptr<TDeflateChunk> chunk);
    // Returns once `chunk` is compressed.
    void Await(const TDeflateChunk& chunk);

private:
    void Work();

    int level_;
    std::mutex mutex_;
    std::condition_variable queued_;
    std::condition_variable done_;
    std::deque<std::shared_ptr<TDeflateChunk>> queue_;
    bool stopping_ = false;
    std::vector<std::thread> threads_;
};

// The compressed stream of one file of known size: the caller feeds the file's bytes chunk by
// chunk into InputBuffer() and takes the compressed bytes out in order with Take().
class TDeflateStream {
public:
    TDeflateStream(TDeflateWorkers& workers, std::uint64_t size);
    ~TDeflateStream();
    TDeflateStream(const TDeflateStream&) = delete;
    TDeflateStream& operator=(const TDeflateStream&) = delete;

    // Whether another chunk may be fed now: not while enough are in flight or once the whole
    // file was fed (an empty file takes one empty chunk).
    bool NeedsInput() const;
    // How many bytes the next chunk takes.
    std::size_t NextInputSize() const;
    // Where to put those bytes (NextInputSize() of them).
    unsigned char* InputBuffer();
    // Queues the chunk just filled.
    void SubmitInput();

    // Copies up to `length` compressed bytes into `data`, waiting for the workers as needed;
    // 0 at the end of the stream. -1 when a chunk failed: no memory, or its deflated bytes did
    // not inflate back to its input.
    std::int64_t Take(void* data, std::size_t length);
    // CRC-32 of the bytes fed, once Take() returned 0.
    std::uint32_t Crc() const { return crc_; }

    // The chunk size for a file of `size` bytes.
    static std::size_t ChunkSize(std::uint64_t size);

private:
    TDeflateWorkers& workers_;
    std::uint64_t size_;
    std::size_t chunkSize_;
    std::size_t depth_;
    std::uint64_t fed_ = 0;
    bool fedAll_ = false;
    std::shared_ptr<TDeflateChunk> filling_;
    std::deque<std::shared_ptr<TDeflateChunk>> inFlight_;
    std::size_t taken_ = 0;  // bytes of the front chunk's output already taken
    std::uint32_t crc_ = 0;
};

} // namespace azip
