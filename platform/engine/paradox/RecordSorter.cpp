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
    buffer_.insert(buffer_.end(), record, record + recordSize_);
    order_.push_back(static_cast<std::uint32_t>(order_.size()));
}

void TRecordSorter::SortBuffer() {
    const std::uint8_t* base = buffer_.data();
    const auto size = static_cast<std::size_t>(recordSize_);
    const auto key = static_cast<std::size_t>(keySize_);
    std::stable_sort(order_.begin(), order_.end(), [&](std::uint32_t a, std::uint32_t b) {
        return std::memcmp(base + a * size, base + b * size, key) < 0;
    });
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
