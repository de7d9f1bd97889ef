#include "platform/engine/paradox/RecordSorter.h"

#include "platform/engine/EngineErrors.h"
#include "platform/engine/paradox/WritableFile.h"
#include "platform/rtl/FileIo.h"
#include "platform/rtl/Paths.h"
#include "platform/rtl/Messages.h"
#include "platform/rtl/Process.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace engine::paradox {

namespace {

constexpr std::size_t SpillChunk = 1u << 20;  // bytes per write of a run and most per read

// The first `take` key bytes of `r` as a big-endian number of `width` bytes, zero-padded.
std::uint64_t KeyPrefix(const std::uint8_t* r, std::size_t take, std::size_t width) {
    std::uint64_t v = 0;
    for (std::size_t b = 0; b < width; ++b) v = (v << 8) | (b < take ? r[b] : 0u);
    return v;
}

// Stable least-significant-digit radix sort over the bytes of each entry's number that lie at
// bit positions [lowShift, highShift). Passes in which every entry has the same byte are
// skipped. `scratch` must be as long as `entries`.
template <class TEntry, class TNumber>
void RadixSort(std::vector<TEntry>& entries, std::vector<TEntry>& scratch, unsigned lowShift, unsigned highShift,
               TNumber number) {
    for (unsigned shift = lowShift; shift < highShift; shift += 8) {
        std::size_t counts[257] = {};
        for (const TEntry& e : entries) ++counts[((number(e) >> shift) & 0xFF) + 1];
        if (std::any_of(counts + 1, counts + 257, [&](std::size_t c) { return c == entries.size(); })) continue;
        for (int b = 0; b < 256; ++b) counts[b + 1] += counts[b];
        for (const TEntry& e : entries) scratch[counts[(number(e) >> shift) & 0xFF]++] = e;
        entries.swap(scratch);
    }
}

} // namespace

// One spilled run read back through a buffer of whole records.
class TRecordSorter::TRun {
public:
    TRun(const std::string& path, std::size_t recordSize, std::size_t bufferRecords)
        : file_(TWritableFile::OpenExisting(path)), recordSize_(recordSize), buffer_(bufferRecords * recordSize) {
        Refill();
    }
    bool Valid() const { return at_ < filled_; }
    const std::uint8_t* Head() const { return buffer_.data() + at_; }
    void Advance() {
        at_ += recordSize_;
        if (at_ >= filled_) Refill();
    }

private:
    void Refill() {
        const std::uint64_t left = file_->Size() - offset_;
        filled_ = static_cast<std::size_t>(std::min<std::uint64_t>(left, buffer_.size()));
        filled_ -= filled_ % recordSize_;
        if (filled_ > 0 && file_->ReadAt(offset_, buffer_.data(), filled_) != filled_)
            throw EDBEngineError(rtl::Format(rtl::TMsg::SortFileCannotRead, {file_->Path()}), TEngineErrorKind::Io);
        offset_ += filled_;
        at_ = 0;
    }

    std::unique_ptr<TWritableFile> file_;
    std::size_t recordSize_;
    std::vector<std::uint8_t> buffer_;
    std::uint64_t offset_ = 0;
    std::size_t filled_ = 0;
    std::size_t at_ = 0;
};

TRecordSorter::TRecordSorter(int recordSize, int keySize, std::string tempDir, std::size_t memoryBudget)
    : recordSize_(static_cast<std::size_t>(std::max(recordSize, 1))),
      keySize_(static_cast<std::size_t>(std::clamp(keySize, 0, recordSize))), narrow_(keySize_ <= 4),
      tempDir_(std::move(tempDir)), budgetBytes_(memoryBudget) {
    // Each record costs its bytes, its entry and the entry's place in the sort's scratch copy.
    const std::size_t entrySize = narrow_ ? sizeof(std::uint64_t) : sizeof(TWide);
    budgetRecords_ = std::clamp<std::size_t>(memoryBudget / (recordSize_ + 2 * entrySize), 16,
                                             std::numeric_limits<std::uint32_t>::max());
}

TRecordSorter::~TRecordSorter() {
    runs_.clear();
    for (const auto& p : runPaths_) RemoveQuietly(p);
}

void TRecordSorter::Add(const std::uint8_t* records, std::size_t count) {
    while (count > 0) {
        if (count_ == budgetRecords_) SpillRun();
        // The whole budget at once: growing by doubling would overshoot it by up to twice.
        // Pages are only taken as records fill them.
        if (buffer_.capacity() == 0) {
            buffer_.reserve(budgetRecords_ * recordSize_);
            rtl::PreferLargePages(buffer_.data(), buffer_.capacity());
            if (narrow_) {
                narrowEntries_.reserve(budgetRecords_);
                rtl::PreferLargePages(narrowEntries_.data(), narrowEntries_.capacity() * sizeof(std::uint64_t));
            } else {
                wideEntries_.reserve(budgetRecords_);
                rtl::PreferLargePages(wideEntries_.data(), wideEntries_.capacity() * sizeof(TWide));
            }
        }
        const std::size_t take = std::min(count, budgetRecords_ - count_);
        buffer_.insert(buffer_.end(), records, records + take * recordSize_);
        // Entries are made while the records are still in the cache.
        const std::uint8_t* r = records;
        if (narrow_) {
            for (std::size_t i = 0; i < take; ++i, r += recordSize_)
                narrowEntries_.push_back(KeyPrefix(r, keySize_, 4) << 32 | (count_ + i));
        } else {
            const std::size_t prefix = std::min<std::size_t>(keySize_, 8);
            for (std::size_t i = 0; i < take; ++i, r += recordSize_)
                wideEntries_.push_back(TWide{KeyPrefix(r, prefix, 8), static_cast<std::uint32_t>(count_ + i)});
        }
        count_ += take;
        records += take * recordSize_;
        count -= take;
    }
}

void TRecordSorter::Sort() {
    // Entries start in arrival order and every pass is stable, so equal keys keep it.
    if (narrow_) {
        std::vector<std::uint64_t> scratch(narrowEntries_.size());
        RadixSort(narrowEntries_, scratch, static_cast<unsigned>(64 - 8 * keySize_), 64u,
                  [](std::uint64_t e) { return e; });
        return;
    }
    if (keySize_ <= 8) {
        std::vector<TWide> scratch(wideEntries_.size());
        RadixSort(wideEntries_, scratch, static_cast<unsigned>(64 - 8 * keySize_), 64u,
                  [](const TWide& e) { return e.prefix; });
        return;
    }
    const std::uint8_t* base = buffer_.data();
    const std::size_t size = recordSize_, rest = keySize_ - 8;
    std::sort(wideEntries_.begin(), wideEntries_.end(), [&](const TWide& a, const TWide& b) {
        if (a.prefix != b.prefix) return a.prefix < b.prefix;
        const int c = std::memcmp(base + a.index * size + 8, base + b.index * size + 8, rest);
        if (c != 0) return c < 0;
        return a.index < b.index;
    });
}

std::size_t TRecordSorter::SortedIndex(std::size_t position) const {
    return narrow_ ? static_cast<std::uint32_t>(narrowEntries_[position]) : wideEntries_[position].index;
}

void TRecordSorter::SpillRun() {
    Sort();
    // The temporary directory may be one every user writes to: the run's file is new and
    // private, whatever names stand there.
    {
        auto file = TWritableFile::CreateUnique(rtl::WithTrailingSeparator(tempDir_.empty() ? "/tmp" : tempDir_) +
                                                ".~sortrun." + rtl::ProcessTag());
        runPaths_.push_back(file->Path());
        std::vector<std::uint8_t> out;
        out.reserve(std::max(SpillChunk - SpillChunk % recordSize_, recordSize_));
        std::uint64_t offset = 0;
        for (std::size_t i = 0; i < count_; ++i) {
            const std::uint8_t* r = buffer_.data() + SortedIndex(i) * recordSize_;
            out.insert(out.end(), r, r + recordSize_);
            if (out.size() + recordSize_ > out.capacity() || i + 1 == count_) {
                file->WriteAt(offset, out.data(), out.size());
                offset += out.size();
                out.clear();
            }
        }
    }
    buffer_.clear();
    narrowEntries_.clear();
    wideEntries_.clear();
    count_ = 0;
}

void TRecordSorter::Finish() {
    if (runPaths_.empty()) {
        Sort();
        return;
    }
    if (count_ > 0) SpillRun();
    std::vector<std::uint8_t>().swap(buffer_);
    std::vector<std::uint64_t>().swap(narrowEntries_);
    std::vector<TWide>().swap(wideEntries_);
    merging_ = true;
    // The budget is shared out among the runs' read buffers.
    const std::size_t perRun = std::clamp<std::size_t>(budgetBytes_ / runPaths_.size(), recordSize_, SpillChunk);
    for (std::size_t i = 0; i < runPaths_.size(); ++i) {
        runs_.push_back(std::make_unique<TRun>(runPaths_[i], recordSize_, std::max<std::size_t>(perRun / recordSize_, 1)));
        if (runs_.back()->Valid()) heap_.push_back(i);
    }
    for (std::size_t i = heap_.size(); i-- > 0;) SiftDown(i);
}

// Earlier runs hold earlier arrivals, so they win ties: the merge stays stable.
bool TRecordSorter::RunLess(std::size_t a, std::size_t b) const {
    const int c = std::memcmp(runs_[a]->Head(), runs_[b]->Head(), keySize_);
    return c < 0 || (c == 0 && a < b);
}

void TRecordSorter::SiftDown(std::size_t at) {
    const std::size_t n = heap_.size();
    for (;;) {
        std::size_t least = at;
        const std::size_t left = 2 * at + 1, right = left + 1;
        if (left < n && RunLess(heap_[left], heap_[least])) least = left;
        if (right < n && RunLess(heap_[right], heap_[least])) least = right;
        if (least == at) return;
        std::swap(heap_[at], heap_[least]);
        at = least;
    }
}

const std::uint8_t* TRecordSorter::Next() {
    if (!merging_) {
        if (nextInMemory_ >= count_) return nullptr;
        // Records come out in key order, scattered over the buffer: fetch ahead.
        if (nextInMemory_ + 16 < count_) {
            const std::uint8_t* ahead = buffer_.data() + SortedIndex(nextInMemory_ + 16) * recordSize_;
            __builtin_prefetch(ahead);
            __builtin_prefetch(ahead + recordSize_ - 1);  // a record may straddle two cache lines
        }
        return buffer_.data() + SortedIndex(nextInMemory_++) * recordSize_;
    }
    // The record handed out last stays valid until now; only then does its run move on.
    if (pendingRun_ != SIZE_MAX) {
        TRun& run = *runs_[pendingRun_];
        run.Advance();
        if (!run.Valid()) {
            heap_.front() = heap_.back();
            heap_.pop_back();
        }
        if (!heap_.empty()) SiftDown(0);
        pendingRun_ = SIZE_MAX;
    }
    if (heap_.empty()) return nullptr;
    pendingRun_ = heap_.front();
    return runs_[pendingRun_]->Head();
}

} // namespace engine::paradox
