#include "platform/engine/paradox/TableGeometry.h"

#include "platform/engine/paradox/ByteOrder.h"
#include "platform/engine/paradox/DataBlock.h"
#include "platform/engine/paradox/FieldTypes.h"
#include "platform/engine/paradox/ParadoxTable.h"
#include "platform/rtl/Messages.h"

#include <algorithm>
#include <functional>
#include <set>

namespace engine::paradox {

namespace {

constexpr std::uint32_t HeaderUnit = 0x800;
constexpr std::uint32_t BlockKiBs[] = {1, 2, 3, 4, 8, 16, 32};

struct TBlockHead {
    std::uint16_t Next = 0;
    std::uint16_t Prev = 0;
    std::int16_t LastRecordOffset = 0;
    bool Zero() const { return Next == 0 && Prev == 0 && LastRecordOffset == 0; }
};

TBlockHead DecodeBlockHead(const std::uint8_t* b) {
    TBlockHead head;
    head.Next = Le16(b);
    head.Prev = Le16(b + 2);
    head.LastRecordOffset = LeI16(b + 4);
    return head;
}

bool ReadBlockHead(const TRandomAccessFile& file, std::uint64_t offset, TBlockHead& head) {
    std::uint8_t b[BlockHeaderSize];
    if (offset + BlockHeaderSize > file.Size() || file.ReadAt(offset, b, sizeof b) != sizeof b) return false;
    head = DecodeBlockHead(b);
    return true;
}

// The block heads that lie on whole KiBs of a file, read a MiB at a time and kept. Every
// geometry tried lays its blocks on whole KiBs from its header size, so the hundreds of them
// tried on a damaged table share their heads: read one by one, each head cost a system call
// per geometry. Kept, they cost six bytes a KiB of the file until the choice is made.
class THeadsOnKiBs {
public:
    explicit THeadsOnKiBs(const TRandomAccessFile& file)
        : file_(file), heads_(file.Size() / KiB + 1), filled_((file.Size() + Chunk - 1) / Chunk + 1, Unread) {}

    bool Read(std::uint64_t offset, TBlockHead& head) {
        if (offset % KiB != 0) return ReadBlockHead(file_, offset, head);  // a header size off whole KiBs
        if (offset + BlockHeaderSize > file_.Size()) return false;
        const std::uint64_t chunk = offset / Chunk;
        if (filled_[chunk] == Unread) Load(chunk);
        if (offset + BlockHeaderSize > chunk * Chunk + filled_[chunk]) return false;
        head = heads_[offset / KiB];
        return true;
    }

private:
    static constexpr std::uint64_t KiB = 1024;
    static constexpr std::uint64_t Chunk = 1024 * KiB;
    static constexpr std::uint64_t Unread = ~std::uint64_t{0};

    void Load(std::uint64_t chunk) {
        const std::uint64_t start = chunk * Chunk;
        bytes_.resize(Chunk);
        const std::uint64_t got = file_.ReadAt(start, bytes_.data(), bytes_.size());
        for (std::uint64_t at = 0; at + BlockHeaderSize <= got; at += KiB)
            heads_[(start + at) / KiB] = DecodeBlockHead(bytes_.data() + at);
        filled_[chunk] = got;
    }

    const TRandomAccessFile& file_;
    std::vector<TBlockHead> heads_;     // by KiB
    std::vector<std::uint64_t> filled_;  // bytes read by MiB, Unread before
    std::vector<std::uint8_t> bytes_;
};

std::uint64_t BlockStart(const TTableGeometry& g, std::uint32_t n) {
    return g.HeaderSize + static_cast<std::uint64_t>(n - 1) * g.BlockSize;
}

// Blocks whose header lies in the file under `g`, at most as many as a table numbers.
std::uint32_t BlocksIn(std::uint64_t fileSize, const TTableGeometry& g) {
    if (fileSize < g.HeaderSize + static_cast<std::uint64_t>(BlockHeaderSize)) return 0;
    return static_cast<std::uint32_t>(
        std::min<std::uint64_t>((fileSize - g.HeaderSize - BlockHeaderSize) / g.BlockSize + 1, 0xFFFF));
}

// Records a block holds by its last-record offset under `g`; -1 when the offset is impossible.
int RecordsOf(const TBlockHead& head, const TTableGeometry& g) {
    const int size = g.RecordSize;
    if (head.LastRecordOffset == -size) return 0;
    if (head.LastRecordOffset < 0 || head.LastRecordOffset % size != 0) return -1;
    const int records = head.LastRecordOffset / size + 1;
    return records <= static_cast<int>((g.BlockSize - BlockHeaderSize) / g.RecordSize) ? records : -1;
}

bool Plausible(const TTableGeometry& g, std::uint64_t fileSize) {
    return g.RecordSize > 0 && g.BlockSize >= static_cast<std::uint32_t>(BlockHeaderSize + g.RecordSize) &&
           g.HeaderSize + static_cast<std::uint64_t>(BlockHeaderSize) <= fileSize;
}

std::uint16_t FirstBlockOf(const TTableHeader& h) { return h.FirstBlock ? h.FirstBlock : 1; }

// A block header of zeros is what zeros anywhere in a file read as: a block of one record
// linked to nothing. It stands for a row only as the header's only block holding its only
// row, and only when that row is not zeros too.
bool ZeroHeadHoldsRow(const TRandomAccessFile& file, const TTableHeader& h, const TTableGeometry& g,
                      std::uint32_t n) {
    if (n != FirstBlockOf(h) || h.BlocksInUse != 1 || h.RecordCount != 1) return false;
    std::vector<std::uint8_t> row(g.RecordSize);
    file.ReadAt(BlockStart(g, n) + BlockHeaderSize, row.data(), row.size());
    return std::any_of(row.begin(), row.end(), [](std::uint8_t b) { return b != 0; });
}

// Whether the blocks fill the file as the header's allocated-block count says under `g`.
bool SizeFits(const TTableHeader& h, const TTableGeometry& g, std::uint64_t size) {
    if (h.BlocksAllocated == 0) return size <= g.HeaderSize;
    const std::uint64_t lastBlock = BlockStart(g, h.BlocksAllocated);
    return size >= lastBlock + BlockHeaderSize && size <= lastBlock + g.BlockSize;
}

// The chain from the header's first block read under `g` by its blocks' own headers (`headAt`
// gives block n's): Whole when it reaches its end with every block inside the file, visited
// once, linking back to the block before, with a possible last-record offset and a header that
// is not zeros (but as ZeroHeadHoldsRow allows).
struct TChainWalk {
    bool Whole = false;
    std::uint32_t Length = 0, Last = 0;
    std::uint64_t Records = 0;
};

TChainWalk WalkChain(const TRandomAccessFile& file, const TTableHeader& h, const TTableGeometry& g,
                     const std::function<bool(std::uint32_t, TBlockHead&)>& headAt) {
    TChainWalk walk;
    const std::uint32_t blocks = BlocksIn(file.Size(), g);
    std::vector<bool> visited(blocks + 1, false);
    for (std::uint32_t n = h.FirstBlock; n != 0;) {
        TBlockHead head;
        if (n > blocks || visited[n] || !headAt(n, head) || head.Prev != walk.Last) return walk;
        visited[n] = true;
        const int r = RecordsOf(head, g);
        if (r < 0 || (head.Zero() && !ZeroHeadHoldsRow(file, h, g, n))) return walk;
        walk.Records += static_cast<std::uint64_t>(r);
        ++walk.Length;
        walk.Last = n;
        n = head.Next;
    }
    walk.Whole = true;
    return walk;
}

// How many of the header's counts the chain, read whole, agrees with: it ends at the header's
// last block, is as long and holds as many records as the header says (0 when it does not
// read whole).
int CountsThatAgree(const TTableHeader& h, const TChainWalk& walk) {
    if (!walk.Whole) return 0;
    return (walk.Last == h.LastBlock ? 1 : 0) + (walk.Length == h.BlocksInUse ? 1 : 0) +
           (walk.Records == h.RecordCount ? 1 : 0);
}

// The chain reads under `g` as the header counts it, and the header's content and allocated
// blocks fill the file as they say.
bool ReadsAsCounted(const TRandomAccessFile& file, const TTableHeader& h, const TTableGeometry& g,
                    const TChainWalk& walk) {
    return CountsThatAgree(h, walk) == 3 && h.ContentSize <= g.HeaderSize && SizeFits(h, g, file.Size());
}

// The file's blocks under one geometry: their headers, and the records of each block that
// counts (-1 for one that does not).
struct TBlocksUnder {
    TTableGeometry Geometry;
    std::vector<TBlockHead> Heads;  // [1..blocks]
    std::vector<int> Counted;
    std::uint64_t Records = 0;
    std::uint32_t Blocks = 0;  // that count
    bool Clean = false;        // ReadsAsCounted
    int CountsAgreeing = 0;    // CountsThatAgree
};

TBlocksUnder ReadBlocksUnder(const TRandomAccessFile& file, THeadsOnKiBs& heads, const TTableHeader& h,
                             const TTableGeometry& g) {
    TBlocksUnder b;
    b.Geometry = g;
    const std::uint32_t blocks = Plausible(g, file.Size()) ? BlocksIn(file.Size(), g) : 0;
    b.Heads.resize(blocks + 1);
    b.Counted.assign(blocks + 1, -1);
    std::vector<int> records(blocks + 1, -1);
    for (std::uint32_t n = 1; n <= blocks; ++n)
        if (heads.Read(BlockStart(g, n), b.Heads[n])) records[n] = RecordsOf(b.Heads[n], g);
    auto count = [&](std::uint32_t n) {
        b.Counted[n] = records[n];
        b.Records += static_cast<std::uint64_t>(records[n]);
        ++b.Blocks;
    };
    const std::uint16_t first = FirstBlockOf(h);
    for (std::uint32_t n = 1; n <= blocks; ++n) {
        if (records[n] <= 0) continue;
        const TBlockHead& head = b.Heads[n];
        const bool nextAgrees =
            head.Next == 0 || (head.Next <= blocks && head.Next != n && b.Heads[head.Next].Prev == n);
        const bool prevAgrees =
            head.Prev == 0 || (head.Prev <= blocks && head.Prev != n && b.Heads[head.Prev].Next == n);
        // A block linked to nothing is a table of one block, or bytes that only look like a
        // block header (zeros inside a record read as one).
        const bool alone = head.Next == 0 && head.Prev == 0;
        if (!nextAgrees || !prevAgrees || (alone && n != first)) continue;
        if (head.Zero() && !ZeroHeadHoldsRow(file, h, g, n)) continue;
        count(n);
    }
    // The chain by its forward links alone counts too, as far as its blocks' offsets are
    // possible: back links lost to damage leave the rows where a reader finds them.
    std::vector<bool> visited(blocks + 1, false);
    for (std::uint32_t n = h.FirstBlock; n != 0 && n <= blocks && !visited[n] && records[n] >= 0;
         n = b.Heads[n].Next) {
        visited[n] = true;
        if ((b.Heads[n].Zero() && !ZeroHeadHoldsRow(file, h, g, n)) || b.Heads[n].Next > blocks) break;
        if (b.Counted[n] < 0 && records[n] > 0) count(n);
    }
    const TChainWalk walk = WalkChain(file, h, g, [&](std::uint32_t n, TBlockHead& head) {
        if (n >= b.Heads.size()) return false;
        head = b.Heads[n];
        return true;
    });
    b.Clean = ReadsAsCounted(file, h, g, walk);
    b.CountsAgreeing = CountsThatAgree(h, walk);
    return b;
}

// Rows `a` reads from bytes that `b` finds unused: beyond the last record of a block `b`
// counts (stale bytes, zeros). Such a row is invented.
std::uint64_t InventedRows(const TBlocksUnder& a, const TBlocksUnder& b) {
    const TTableGeometry& ga = a.Geometry;
    const TTableGeometry& gb = b.Geometry;
    auto unusedUnderB = [&](std::uint64_t from, std::uint64_t to) {
        if (to <= gb.HeaderSize) return false;
        const std::uint64_t first = from < gb.HeaderSize ? 1 : (from - gb.HeaderSize) / gb.BlockSize + 1;
        const std::uint64_t last = (to - 1 - gb.HeaderSize) / gb.BlockSize + 1;
        for (std::uint64_t k = first; k <= last && k < b.Counted.size(); ++k) {
            if (b.Counted[k] < 0) continue;
            const std::uint64_t start = BlockStart(gb, static_cast<std::uint32_t>(k));
            const std::uint64_t unused = start + BlockHeaderSize + static_cast<std::uint64_t>(b.Counted[k]) * gb.RecordSize;
            if (from < start + gb.BlockSize && to > unused) return true;
        }
        return false;
    };
    std::uint64_t invented = 0;
    for (std::uint32_t n = 1; n < a.Counted.size(); ++n)
        for (int i = 0; i < a.Counted[n]; ++i) {
            const std::uint64_t from = BlockStart(ga, n) + BlockHeaderSize + static_cast<std::uint64_t>(i) * ga.RecordSize;
            if (unusedUnderB(from, from + ga.RecordSize)) ++invented;
        }
    return invented;
}

// How many of the header's own values (header size, block size, record size as stored or as
// the fields add up) `g` keeps.
int HeaderValuesKept(const TTableHeader& h, const TTableGeometry& g) {
    return (g.HeaderSize == h.HeaderSize ? 1 : 0) + (g.BlockSize == h.BlockSize ? 1 : 0) +
           (g.RecordSize == h.StoredRecordSize || static_cast<int>(g.RecordSize) == h.FieldsSize() ? 1 : 0);
}

// Of two geometries with one record size: the one under which the chain reads as the header
// counts it, then the one whose chain more of the header's counts agree with, then the one
// under which more records appear, then the one that invents fewer rows, then the one that
// keeps more of the header's values.
bool Better(const TTableHeader& h, const TBlocksUnder& candidate, const TBlocksUnder& best) {
    if (candidate.Clean != best.Clean) return candidate.Clean;
    if (candidate.CountsAgreeing != best.CountsAgreeing) return candidate.CountsAgreeing > best.CountsAgreeing;
    if (candidate.Records != best.Records) return candidate.Records > best.Records;
    const std::uint64_t mine = InventedRows(candidate, best), theirs = InventedRows(best, candidate);
    if (mine != theirs) return mine < theirs;
    return HeaderValuesKept(h, candidate.Geometry) > HeaderValuesKept(h, best.Geometry);
}

// Of two record sizes, each under its best geometry: as above, the one under which the chain
// reads as counted, then the one whose chain more counts agree with; then the one under which
// more blocks count. Records are no measure here: a size that
// divides the true one finds as many blocks with offsets it divides, and more records in each.
// Where as many blocks count, the size the header stores wins, the evidence being no better
// for the fields' total.
bool BetterRecordSize(const TTableHeader& h, const TBlocksUnder& candidate, const TBlocksUnder& best) {
    if (candidate.Clean != best.Clean) return candidate.Clean;
    if (candidate.CountsAgreeing != best.CountsAgreeing) return candidate.CountsAgreeing > best.CountsAgreeing;
    if (candidate.Blocks != best.Blocks) return candidate.Blocks > best.Blocks;
    return candidate.Geometry.RecordSize == h.StoredRecordSize && best.Geometry.RecordSize != h.StoredRecordSize;
}

// Block 1 under `g` begins as a first block does: it links back to nothing, its offset is
// possible, and the block it links to links back to it. Geometries whose block 1 does not
// are not read whole (the header's own always is).
bool FirstBlockBegins(THeadsOnKiBs& heads, const TTableGeometry& g) {
    TBlockHead head;
    if (!heads.Read(g.HeaderSize, head) || head.Prev != 0 || RecordsOf(head, g) < 0) return false;
    TBlockHead next;
    return head.Next == 0 || (head.Next != 1 && heads.Read(BlockStart(g, head.Next), next) && next.Prev == 1);
}

std::string BlocksLieElsewhere(const TTableHeader& h, const TTableGeometry& g) {
    return rtl::Format(rtl::TMsg::GeometryBlocksLieElsewhere, {StoredGeometry(h).Describe(), g.Describe()});
}

} // namespace

std::string TTableGeometry::Describe() const {
    return rtl::Format(rtl::TMsg::GeometryDescription,
                       {std::to_string(HeaderSize), std::to_string(BlockSize / 1024), std::to_string(RecordSize)});
}

TTableGeometry StoredGeometry(const TTableHeader& h) {
    return TTableGeometry{h.HeaderSize, h.BlockSize, h.StoredRecordSize};
}

TTableGeometry ReadGeometry(const TTableHeader& h) { return TTableGeometry{h.HeaderSize, h.BlockSize, h.RecordSize}; }

std::string UnusableFieldList(const TTableHeader& h) {
    if (h.StoredRecordSize == 0) return rtl::Text(rtl::TMsg::FieldListZeroRecordSize);
    for (std::size_t i = 0; i < h.Fields.size(); ++i) {
        const TFieldInfo& f = h.Fields[i];
        if (FieldTypeFromCode(f.TypeCode) == TFieldType::Unknown)
            return rtl::Format(rtl::TMsg::FieldListUnknownType, {std::to_string(i + 1), std::to_string(f.TypeCode)});
        if (!f.SizeFitsType())
            return rtl::Format(rtl::TMsg::FieldListImpossibleSize, {std::to_string(i + 1), f.Name,
                   std::string(1, FieldTypeChar(f.TypeCode)), std::to_string(f.SizeByte)});
    }
    if (h.FieldsSize() == 0) return rtl::Text(rtl::TMsg::FieldListNoRoom);
    return {};
}

std::string FieldsMissRecords(const TTableHeader& h, const TTableGeometry& g) {
    if (h.FieldsSize() == g.RecordSize) return {};
    return rtl::Format(rtl::TMsg::FieldListMissesRecords,
                       {std::to_string(h.FieldsSize()), std::to_string(g.RecordSize)});
}

bool GeometryFitsFile(const TRandomAccessFile& file, const TTableHeader& h) {
    if (h.StoredRecordSize != h.FieldsSize() || h.RecordSize != h.StoredRecordSize) return false;
    // Writers end a header at its content (3.0) or pad it to whole 2 KiB; any other size is
    // more likely a damaged one, whose block 1 may fall on a stale block in unused bytes.
    if (h.HeaderSize % HeaderUnit != 0 && h.HeaderSize != h.ContentSize) return false;
    const TTableGeometry g = StoredGeometry(h);
    if (!Plausible(g, file.Size()) && h.BlocksAllocated != 0) return false;
    const TChainWalk walk = WalkChain(file, h, g, [&](std::uint32_t n, TBlockHead& head) {
        return ReadBlockHead(file, BlockStart(g, n), head);
    });
    return ReadsAsCounted(file, h, g, walk);
}

std::uint64_t RecordsUnder(const TRandomAccessFile& file, const TTableHeader& h, const TTableGeometry& g) {
    THeadsOnKiBs heads(file);
    return ReadBlocksUnder(file, heads, h, g).Records;
}

TGeometryChoice ChooseGeometry(const TRandomAccessFile& file, const TTableHeader& h) {
    TGeometryChoice choice;
    choice.Geometry = StoredGeometry(h);
    if (GeometryFitsFile(file, h)) {
        choice.Records = h.RecordCount;
        return choice;
    }
    const std::uint64_t size = file.Size();
    THeadsOnKiBs heads(file);
    std::set<std::uint32_t> headerSizes{h.HeaderSize, h.ContentSize};
    for (std::uint32_t s = HeaderUnit; s <= 0xFFFF; s += HeaderUnit) headerSizes.insert(s);
    std::set<std::uint32_t> blockSizes{h.BlockSize};
    for (const std::uint32_t kib : BlockKiBs) blockSizes.insert(kib * 1024);
    std::set<std::uint16_t> recordSizes{h.StoredRecordSize, h.RecordSize};
    if (h.FieldsSize() > 0 && h.FieldsSize() <= 0xFFFF) recordSizes.insert(static_cast<std::uint16_t>(h.FieldsSize()));

    // The header's own geometries are always read; the others where block 1 begins as one.
    std::vector<TTableGeometry> candidates{ReadGeometry(h)};
    if (!(StoredGeometry(h) == ReadGeometry(h))) candidates.push_back(StoredGeometry(h));
    for (const std::uint32_t headerSize : headerSizes) {
        if (headerSize < h.ContentSize || headerSize > 0xFFFF) continue;
        for (const std::uint32_t blockSize : blockSizes)
            for (const std::uint16_t recordSize : recordSizes) {
                const TTableGeometry g{static_cast<std::uint16_t>(headerSize), blockSize, recordSize};
                if (std::find(candidates.begin(), candidates.end(), g) == candidates.end() && Plausible(g, size) &&
                    FirstBlockBegins(heads, g))
                    candidates.push_back(g);
            }
    }

    // The best geometry for each record size, then the best record size.
    std::vector<TBlocksUnder> bestOfSize;
    std::vector<TTableGeometry> clean;
    for (const TTableGeometry& g : candidates) {
        TBlocksUnder under = ReadBlocksUnder(file, heads, h, g);
        if (under.Clean && under.Records > 0) clean.push_back(under.Geometry);
        const auto same = std::find_if(bestOfSize.begin(), bestOfSize.end(), [&](const TBlocksUnder& b) {
            return b.Geometry.RecordSize == g.RecordSize;
        });
        if (same == bestOfSize.end()) bestOfSize.push_back(std::move(under));
        else if (Better(h, under, *same)) *same = std::move(under);
    }
    std::size_t best = 0;
    for (std::size_t i = 1; i < bestOfSize.size(); ++i)
        if (BetterRecordSize(h, bestOfSize[i], bestOfSize[best])) best = i;
    choice.Geometry = bestOfSize[best].Geometry;
    choice.Records = bestOfSize[best].Records;
    choice.Changed = !(choice.Geometry == StoredGeometry(h));
    for (const TTableGeometry& g : clean)
        if (!(g == choice.Geometry)) choice.CleanElsewhere = g;
    return choice;
}

std::string GeometryNote(const TTableHeader& h, const TTableGeometry& g) {
    return BlocksLieElsewhere(h, g) + rtl::Text(rtl::TMsg::GeometryRowsReadSo);
}

std::string HeaderDamage(const TRandomAccessFile& file, const TTableHeader& h) {
    if (std::string why = UnusableFieldList(h); !why.empty()) return why;
    if (GeometryFitsFile(file, h)) return {};
    const TGeometryChoice choice = ChooseGeometry(file, h);
    if (choice.Changed) return BlocksLieElsewhere(h, choice.Geometry);
    return FieldsMissRecords(h, choice.Geometry);
}

TBlockReading FindWhereTheBlocksLie(const TParadoxTable& table) {
    TBlockReading reading;
    const TTableHeader& h = table.Header();
    if (reading.Refused = UnusableFieldList(h); !reading.Refused.empty()) return reading;
    reading.Choice = ChooseGeometry(table.File(), h);
    reading.Refused = FieldsMissRecords(h, reading.Choice.Geometry);
    reading.ReadsAnew = reading.Refused.empty() && !(reading.Choice.Geometry == ReadGeometry(h));
    return reading;
}

TBlockReading ReadWhereTheBlocksLie(TParadoxTable& table) {
    const TBlockReading reading = FindWhereTheBlocksLie(table);
    if (reading.ReadsAnew) table.ReadUnder(reading.Choice.Geometry);
    return reading;
}

std::string BlocksMisfit(const TRandomAccessFile& file, const TTableHeader& h, std::uint16_t firstBlock) {
    using rtl::TMsg;
    const TTableGeometry g = ReadGeometry(h);
    const std::uint64_t size = file.Size();
    if (g.RecordSize == 0 || g.BlockSize < static_cast<std::uint32_t>(BlockHeaderSize) + g.RecordSize)
        return rtl::Format(TMsg::FitRecordsTooLarge, {g.Describe()});
    if (size < g.HeaderSize) return rtl::Format(TMsg::FitFileShorterThanHeader, {std::to_string(size), g.Describe()});
    const std::uint64_t past = (size - g.HeaderSize) % g.BlockSize;
    if (past != 0 && past < static_cast<std::uint64_t>(BlockHeaderSize))
        return rtl::Format(TMsg::FitFileEndsInsideBlock, {std::to_string(size), g.Describe()});
    const std::uint32_t blocks = BlocksIn(size, g);
    for (std::uint32_t n = 1; n <= blocks; ++n) {
        TBlockHead head;
        if (!ReadBlockHead(file, BlockStart(g, n), head)) return rtl::Format(TMsg::FitBlockUnreadable, {std::to_string(n)});
        if (head.Zero()) continue;  // never written, or wiped: no row to misread
        if (RecordsOf(head, g) < 0)
            return rtl::Format(TMsg::FitBlockLastRecord,
                               {std::to_string(n), std::to_string(head.LastRecordOffset), g.Describe()});
        if (head.Next > blocks)
            return rtl::Format(TMsg::FitBlockLinksOutside,
                               {std::to_string(n), std::to_string(head.Next), std::to_string(blocks), g.Describe()});
    }
    if (blocks == 0) return {};
    std::vector<bool> visited(blocks + 1, false);
    std::uint32_t previous = 0;
    for (std::uint32_t n = firstBlock >= 1 && firstBlock <= blocks ? firstBlock : 1; n != 0;) {
        TBlockHead head;
        // A head of zeros is what zeros anywhere read as: part of a chain only as a file's only block.
        if (visited[n] || !ReadBlockHead(file, BlockStart(g, n), head) || head.Prev != previous ||
            RecordsOf(head, g) < 0 || (head.Zero() && blocks > 1))
            return rtl::Format(TMsg::FitChainBreaks, {std::to_string(n), g.Describe()});
        visited[n] = true;
        previous = n;
        n = head.Next;
    }
    return {};
}

void ApplyGeometry(TTableHeader& h, const TTableGeometry& g) {
    h.HeaderSize = g.HeaderSize;
    h.BlockSize = g.BlockSize;
    h.RecordSize = g.RecordSize;
}

void WriteGeometry(std::vector<std::uint8_t>& headerBytes, const TTableGeometry& g) {
    if (headerBytes.size() < 6) return;
    headerBytes[0] = static_cast<std::uint8_t>(g.RecordSize & 0xFF);
    headerBytes[1] = static_cast<std::uint8_t>(g.RecordSize >> 8);
    headerBytes[2] = static_cast<std::uint8_t>(g.HeaderSize & 0xFF);
    headerBytes[3] = static_cast<std::uint8_t>(g.HeaderSize >> 8);
    headerBytes[5] = static_cast<std::uint8_t>(g.BlockSize / 1024);
}

} // namespace engine::paradox
