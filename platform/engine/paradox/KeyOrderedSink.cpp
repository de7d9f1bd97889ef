#include "platform/engine/paradox/KeyOrderedSink.h"

#include <algorithm>
#include <cstring>

namespace engine::paradox {

TKeyOrderedSink::TKeyOrderedSink(std::size_t keySize, TRepeatHandler onRepeat)
    : keySize_(keySize), onRepeat_(std::move(onRepeat)), lastKey_(keySize) {}

void TKeyOrderedSink::WriteTo(TDataFileWriter& writer) {
    WriteTo([&writer](const std::uint8_t* row) { writer.Add(row); });
}

void TKeyOrderedSink::WriteTo(TRowVisitor write) {
    write_ = std::move(write);
    haveLast_ = false;
}

bool TKeyOrderedSink::Behind(const std::uint8_t* row) const {
    return haveLast_ && std::memcmp(row, lastKey_.data(), keySize_) <= 0;
}

bool TKeyOrderedSink::Put(const std::uint8_t* row, TRowOrigin origin) {
    if (haveLast_ && std::memcmp(row, lastKey_.data(), keySize_) == 0) {
        onRepeat_(row, origin);
        return false;
    }
    write_(row);
    std::memcpy(lastKey_.data(), row, keySize_);
    haveLast_ = true;
    ++written_[origin == TRowOrigin::Added];
    return true;
}

void TKeyOrderedSink::Merge(const TOrderedRows& stored, TRecordSorter& added) {
    const std::uint8_t* incoming = added.Next();
    stored([&](const std::uint8_t* row) {
        for (; incoming && std::memcmp(incoming, row, keySize_) < 0; incoming = added.Next())
            Put(incoming, TRowOrigin::Added);
        Put(row, TRowOrigin::Stored);
    });
    for (; incoming; incoming = added.Next()) Put(incoming, TRowOrigin::Added);
}

namespace {

void PutBigEndian64(std::uint8_t* p, std::uint64_t v) {
    for (int i = 7; i >= 0; --i, v >>= 8) p[i] = static_cast<std::uint8_t>(v & 0xFF);
}

std::uint64_t BigEndian64(const std::uint8_t* p) {
    std::uint64_t v = 0;
    for (int i = 0; i < 8; ++i) v = (v << 8) | p[i];
    return v;
}

} // namespace

TAllKeysCheck::TAllKeysCheck(std::size_t keySize, const std::string& tempDir, std::size_t sortMemory)
    : keySize_(keySize), sorter_(static_cast<int>(keySize + 8), static_cast<int>(keySize + 8), tempDir, sortMemory),
      entry_(keySize + 8) {}

void TAllKeysCheck::Add(const std::uint8_t* row) {
    std::memcpy(entry_.data(), row, keySize_);
    PutBigEndian64(entry_.data() + keySize_, rows_++);
    sorter_.Add(entry_.data());
}

std::vector<std::uint64_t> TAllKeysCheck::Repeats() {
    sorter_.Finish();
    std::vector<std::uint64_t> repeats;
    bool first = true;
    while (const std::uint8_t* k = sorter_.Next()) {
        if (!first && std::memcmp(entry_.data(), k, keySize_) == 0)
            repeats.push_back(BigEndian64(k + keySize_));
        else
            std::memcpy(entry_.data(), k, keySize_);
        first = false;
    }
    std::sort(repeats.begin(), repeats.end());
    return repeats;
}

} // namespace engine::paradox
