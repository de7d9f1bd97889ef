#include "platform/engine/paradox/KeyLookup.h"

#include "platform/engine/EngineErrors.h"
#include "platform/engine/paradox/IndexFiles.h"
#include "platform/engine/paradox/TableFiles.h"

#include <cstring>

namespace engine::paradox {

namespace {

std::uint16_t FlippedU16(const std::uint8_t* p) { return static_cast<std::uint16_t>(((p[0] << 8) | p[1]) ^ 0x8000); }

int Compare(const std::uint8_t* a, const std::string& key) { return std::memcmp(a, key.data(), key.size()); }

void CollectEqual(const TDataBlock& block, int recordSize, const std::string& key, std::vector<TStoredPlace>& places) {
    for (int i = 0; i < block.RecordCount; ++i)
        if (Compare(block.Record(i, recordSize), key) == 0) places.push_back(TStoredPlace{block.Number, i});
}

} // namespace

bool FindStoredKeyThroughIndex(const TParadoxTable& table, const std::string& key, std::vector<TStoredPlace>& places) {
    places.clear();
    const TTableHeader& h = table.Header();
    const int keySize = PrimaryKeySize(h);
    if (!h.IsKeyed() || h.IsEncrypted() || keySize <= 0 || key.size() != static_cast<std::size_t>(keySize)) return false;
    const std::string pxPath = FindCompanionFile(table.Path(), ".px");
    if (pxPath.empty()) return false;
    std::unique_ptr<TRandomAccessFile> file;
    TTableHeader px;
    try {
        TProblemList problems;
        file = OpenIndexFile(pxPath, px, problems);
        if (!problems.empty()) return false;
    } catch (const EDBEngineError&) {
        return false;
    }
    if (!px.IsIndexTree() || px.IsEncrypted() || px.Fields.size() != h.KeyFieldCount ||
        px.RecordSize != keySize + 6)
        return false;
    if (px.RecordCount == 0) return h.RecordCount == 0 && h.BlocksInUse == 0;  // an empty table
    if (px.IndexLevels < 1 || px.IndexLevels > 16) return false;

    std::uint16_t block = px.IndexRoot;
    std::string entryKey;
    std::uint16_t child = 0;
    std::uint32_t count = 0;
    for (int level = px.IndexLevels; level >= 1; --level) {
        TDataBlock b;
        std::string why;
        if (block == 0 || !ReadDataBlock(*file, px, block, b, &why) || !why.empty() || b.RecordCount == 0) return false;
        // The last entry whose key is not above the one sought (the first when all are).
        int chosen = 0;
        for (int i = 1; i < b.RecordCount; ++i)
            if (Compare(b.Record(i, px.RecordSize), key) <= 0) chosen = i;
        const std::uint8_t* e = b.Record(chosen, px.RecordSize);
        entryKey.assign(reinterpret_cast<const char*>(e), key.size());
        child = FlippedU16(e + keySize);
        count = FlippedU16(e + keySize + 2);
        block = child;
    }

    TDataBlock data;
    std::string why;
    if (!ReadDataBlock(table.File(), h, child, data, &why) || !why.empty() || data.RecordCount == 0) return false;
    if ((static_cast<std::uint32_t>(data.RecordCount) & 0xFFFF) != count) return false;
    if (Compare(data.Record(0, h.RecordSize), entryKey) != 0) return false;
    if (Compare(data.Record(0, h.RecordSize), key) > 0) {
        // Below the block's first key: absent only when this is the chain's first block.
        return data.Prev == 0 && child == h.FirstBlock;
    }
    // The key must lie before the next block's first key, or this must be the last block.
    if (data.Next == 0) {
        if (child != h.LastBlock) return false;
    } else {
        TDataBlock next;
        if (!ReadDataBlock(table.File(), h, data.Next, next, &why) || !why.empty() || next.RecordCount == 0 ||
            next.Prev != child || Compare(next.Record(0, h.RecordSize), key) <= 0)
            return false;
    }
    CollectEqual(data, h.RecordSize, key, places);
    return true;
}

std::vector<TStoredPlace> FindStoredKey(const TParadoxTable& table, const std::string& key) {
    std::vector<TStoredPlace> places;
    if (FindStoredKeyThroughIndex(table, key, places)) return places;
    places.clear();
    TProblemList problems;
    TBlockChainCursor cursor(table.File(), table.Header(), problems);
    while (cursor.Next()) CollectEqual(cursor.Block(), table.Header().RecordSize, key, places);
    return places;
}

} // namespace engine::paradox
