#include "platform/engine/paradox/RecordSorter.h"

#include "platform/engine/EngineErrors.h"
#include "platform/engine/paradox/WritableFile.h"
#include "platform/rtl/Paths.h"

#include <algorithm>
#include <cstring>
#include <numeric>

namespace engine::paradox {

struct TRecordSorter::TRun {
    std::ifstream in;
    std::vector<std::uint8_t> record;
    bool valid = false;
    std::size_t index = 0;  // run number: earlier runs win ties, keeping the sort stable
    bool Advance(int size) {
        valid = static_cast<bool>(in.read(reinterpret_cast<char*>(record.data()), size));
        return valid;
    }
};

TRecordSorter::TRecordSorter(int recordSize, int keySize, std::string tempDir, std::size_t memoryBudget)
    : recordSize_(recordSize), keySize_(keySize), tempDir_(std::move(tempDir)),
      budgetRecords_(std::max<std::size_t>(memoryBudget / static_cast<std::size_t>(recordSize), 16)) {}

TRecordSorter::~TRecordSorter() {
    runs_.clear();
    for (const auto& p : runPaths_) RemoveQuietly(p);
}

void TRecordSorter::Add(const std::uint8_t* record) {
    if (order_.size() >= budgetRecords_) SpillRun();
    // The whole budget at once: growing by doubling would overshoot it by up to twice.
    if (buffer_.capacity() == 0) buffer_.reserve(budgetRecords_ * static_cast<std::size_t>(recordSize_));
    buffer_.insert(buffer_.end(), record, record + recordSize_);
    order_.push_back(static_cast<std::uint32_t>(order_.size()));
}

void TRecordSorter::SortBuffer() {
    const std::uint8_t* base = buffer_.data();
    const auto size = static_cast<std::size_t>(recordSize_);
    const auto key = static_cast<std::size_t>(keySize_);
    // The key's first 8 bytes as one big-endian number decide most comparisons without
    // touching the records; the arrival index keeps equal keys in order.
    struct TEntry {
        std::uint64_t prefix;
        std::uint32_t index;
    };
    std::vector<TEntry> entries(order_.size());
    const std::size_t prefixBytes = std::min<std::size_t>(key, 8);
    for (std::size_t i = 0; i < order_.size(); ++i) {
        std::uint64_t prefix = 0;
        const std::uint8_t* r = base + i * size;
        for (std::size_t b = 0; b < 8; ++b) prefix = (prefix << 8) | (b < prefixBytes ? r[b] : 0);
        entries[i] = TEntry{prefix, static_cast<std::uint32_t>(i)};
    }
    if (key <= 8) {
        // The prefix is the whole key: a byte-wise radix sort, stable like the arrival order
        // it starts from, over the key's bytes only.
        std::vector<TEntry> scratch(entries.size());
        for (std::size_t byte = 8 - key; byte < 8; ++byte) {
            const auto shift = static_cast<unsigned>(8 * byte);  // key bytes sit at the top
            std::size_t counts[257] = {};
            for (const TEntry& e : entries) ++counts[((e.prefix >> shift) & 0xFF) + 1];
            for (int b = 0; b < 256; ++b) counts[b + 1] += counts[b];
            for (const TEntry& e : entries) scratch[counts[(e.prefix >> shift) & 0xFF]++] = e;
            entries.swap(scratch);
        }
    } else {
        std::sort(entries.begin(), entries.end(), [&](const TEntry& a, const TEntry& b) {
            if (a.prefix != b.prefix) return a.prefix < b.prefix;
            const int c = std::memcmp(base + a.index * size + 8, base + b.index * size + 8, key - 8);
            if (c != 0) return c < 0;
            return a.index < b.index;
        });
    }
    for (std::size_t i = 0; i < entries.size(); ++i) order_[i] = entries[i].index;
}

void TRecordSorter::SpillRun() {
    SortBuffer();
    const std::string path =
        TemporarySibling(rtl::WithTrailingSeparator(tempDir_.empty() ? "/tmp" : tempDir_) + "sortrun");
    runPaths_.push_back(path);
    {
        auto file = TWritableFile::Create(path);
        std::vector<std::uint8_t> out;
        out.reserve(order_.size() * static_cast<std::size_t>(recordSize_));
        for (const std::uint32_t i : order_) {
            const std::uint8_t* r = buffer_.data() + static_cast<std::size_t>(i) * recordSize_;
            out.insert(out.end(), r, r + recordSize_);
        }
        file->WriteAt(0, out.data(), out.size());
    }
    buffer_.clear();
    order_.clear();
}

void TRecordSorter::Finish() {
    if (runPaths_.empty()) {
        SortBuffer();
        return;
    }
    if (!order_.empty()) SpillRun();
    buffer_.clear();
    buffer_.shrink_to_fit();
    merging_ = true;
    for (std::size_t i = 0; i < runPaths_.size(); ++i) {
        auto run = std::make_unique<TRun>();
        run->in.open(runPaths_[i], std::ios::binary);
        if (!run->in)
            throw EDBEngineError("Cannot read the sort file \"" + runPaths_[i] + "\"", EngineErrorKind::Io);
        run->record.resize(static_cast<std::size_t>(recordSize_));
        run->index = i;
        run->Advance(recordSize_);
        runs_.push_back(std::move(run));
    }
}

const std::uint8_t* TRecordSorter::Next() {
    if (!merging_) {
        if (nextInMemory_ >= order_.size()) return nullptr;
        // Records come out in key order, scattered over the buffer: fetch ahead.
        if (nextInMemory_ + 16 < order_.size())
            __builtin_prefetch(buffer_.data() + static_cast<std::size_t>(order_[nextInMemory_ + 16]) * recordSize_);
        return buffer_.data() + static_cast<std::size_t>(order_[nextInMemory_++]) * recordSize_;
    }
    // Few runs (a run holds the memory budget's worth of records), so a linear pick is cheap.
    TRun* best = nullptr;
    for (auto& r : runs_) {
        if (!r->valid) continue;
        if (!best || std::memcmp(r->record.data(), best->record.data(), static_cast<std::size_t>(keySize_)) < 0)
            best = r.get();
    }
    if (!best) return nullptr;
    current_ = best->record;
    best->Advance(recordSize_);
    return current_.data();
}

} // namespace engine::paradox
