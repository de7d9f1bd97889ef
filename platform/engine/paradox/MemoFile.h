// The blob store (.mb) of a table: memo, binary, formatted-memo, OLE and graphic values that
// do not fit in their record's leader. Every read is checked; a damaged or missing store
// leaves the record readable with the blob marked bad.
#pragma once

#include "platform/engine/paradox/EngineInside.h"

#include "platform/engine/paradox/RandomAccessFile.h"
#include "platform/engine/paradox/TableProblem.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace engine::paradox {

inline constexpr std::uint32_t MemoBlockSize = 4096;

struct TBlobDescriptor {
    std::uint32_t OffsetAndIndex = 0;
    std::uint32_t Length = 0;
    std::uint16_t ModNumber = 0;
    std::uint32_t Offset() const { return OffsetAndIndex & 0xFFFFFF00u; }
    std::uint32_t Index() const { return OffsetAndIndex & 0xFFu; }
    bool IsEmpty() const { return OffsetAndIndex == 0 && Length == 0 && ModNumber == 0; }
};

// The last 10 bytes of a blob field.
TBlobDescriptor ReadBlobDescriptor(const std::uint8_t* field, int fieldSize);

struct TBlobResult {
    bool Ok = false;
    std::string Bytes;
    std::string Error;  // why it could not be read
};

class TMemoFile {
public:
    // A missing path or unreadable file gives a store whose every read fails with the reason;
    // `problems` receives the header's faults.
    static std::unique_ptr<TMemoFile> Open(const std::string& path, bool encrypted, TProblemList& problems);

    bool Usable() const { return file_ != nullptr && error_.empty(); }
    const std::string& Path() const { return path_; }

    // The blob a descriptor names (not the leader case: the caller handles lengths that fit
    // the leader).
    TBlobResult Read(const TBlobDescriptor& d) const;

private:
    // Reads through the last 4 KiB block read: small blobs share blocks, and rows read in
    // order meet the same block many times over.
    void ReadAt(std::uint64_t offset, void* buffer, std::size_t length) const;

    std::string path_;
    std::unique_ptr<TRandomAccessFile> file_;
    std::string error_;
    mutable std::uint64_t cachedBlock_ = ~std::uint64_t{0};
    mutable std::vector<std::uint8_t> cache_;
};

// The value of blob field `field` (leader + descriptor): from the leader when it fits, else
// from `memo` (which may be null when there is no .mb).
TBlobResult ReadBlobField(const std::uint8_t* field, int fieldSize, const TMemoFile* memo);

} // namespace engine::paradox
