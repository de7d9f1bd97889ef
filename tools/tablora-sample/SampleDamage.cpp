#include "tools/tablora-sample/SampleDamage.h"

#include "platform/engine/EngineErrors.h"
#include "platform/engine/ParadoxTables.h"
#include "platform/engine/ParadoxWriters.h"
#include "platform/rtl/FileIo.h"
#include "platform/rtl/FileSystem.h"
#include "platform/rtl/Paths.h"

#include <cstdint>

namespace sample {

namespace {

using namespace engine::paradox;

// Overwrites bytes of an existing file; damage must not grow or truncate it.
void PatchBytes(const std::string& path, std::uint64_t offset, const std::vector<std::uint8_t>& bytes) {
    rtl::TFileDescriptor fd(rtl::FileSystem().Open(path, O_WRONLY));
    const bool written = fd.Valid() && rtl::FileSystem().WriteAt(fd.Get(), bytes.data(), bytes.size(), offset) ==
                                           static_cast<ssize_t>(bytes.size());
    if (!written || fd.Reset() != 0)
        throw engine::EDBEngineError("Cannot change \"" + path + "\"", engine::TEngineErrorKind::Io);
}

std::vector<std::uint8_t> U16(std::uint32_t v) { return {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8)}; }
std::vector<std::uint8_t> U32(std::uint32_t v) {
    return {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v >> 16),
            static_cast<std::uint8_t>(v >> 24)};
}

TTableHeader HeaderOf(const std::string& dataPath) { return TParadoxTable::Open(dataPath)->Header(); }

} // namespace

std::vector<TDamage> SampleDamages() {
    return {
        {LaggingCounterTable, "autoincrement counter behind the stored IDXFIELD values (key violation on append)"},
        {BrokenChainTable, "block chain broken: block 2 links to a block outside the file"},
        {WrongCountTable, "record count in the header too high by 7"},
        {DamagedMemoTable, "memo file: the first blob block overwritten"},
        {StaleIndexTable, "primary index from before the last rows were added"},
        {EncryptedTable, "marked as password-protected"},
    };
}

void BreakBlockChain(const std::string& dataPath) {
    const TTableHeader h = HeaderOf(dataPath);
    if (h.BlocksInUse < 3) throw engine::EDBEngineError("Too few blocks to break a chain in \"" + dataPath + "\"");
    // Blocks were written in chain order, so block 2 is the second in the chain; its
    // "next" link now points past the end, hiding the rest of the table.
    PatchBytes(dataPath, h.BlockOffset(2), U16(h.BlocksAllocated + 40u));
}

void MiscountRecords(const std::string& dataPath) {
    const TTableHeader h = HeaderOf(dataPath);
    PatchBytes(dataPath, 0x06, U32(h.RecordCount + 7));
}

void DamageMemoFile(const std::string& dataPath) {
    const std::string mb = CompanionPath(dataPath, ".mb");
    // Block 1 follows the 4 KiB header block: its type, size and modification number go.
    rtl::TFileStatus st;
    if (rtl::FileSystem().Stat(mb, st) != 0 || st.Size < 2 * 4096)
        throw engine::EDBEngineError("No blob block to damage in \"" + mb + "\"");
    PatchBytes(mb, 4096, std::vector<std::uint8_t>(16, 0x5A));
}

void MarkEncrypted(const std::string& dataPath) {
    const TTableHeader h = HeaderOf(dataPath);
    // 4.x and later files keep the key at 0x5C (0x25 holds a constant there); older ones at 0x25.
    PatchBytes(dataPath, h.Version >= 5 ? 0x5C : 0x25, U32(0x0A25E09Au));
}

void ReplaceWithStaleIndex(const std::string& dataPath, const std::string& oldIndexPath) {
    const std::string index = CompanionPath(dataPath, ".px");
    std::string bytes;
    if (!rtl::ReadWholeFile(oldIndexPath, bytes))
        throw engine::EDBEngineError("Cannot read \"" + oldIndexPath + "\"", engine::TEngineErrorKind::Io);
    rtl::TFileDescriptor fd(rtl::FileSystem().Open(index, O_WRONLY | O_CREAT | O_TRUNC));
    if (!fd.Valid() || !rtl::WriteAll(fd.Get(), bytes.data(), bytes.size()) || fd.Reset() != 0)
        throw engine::EDBEngineError("Cannot replace \"" + index + "\"", engine::TEngineErrorKind::Io);
}

} // namespace sample
