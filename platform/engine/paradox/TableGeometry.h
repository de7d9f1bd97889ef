// The geometry of a data file (where block 1 begins, how long its blocks are, how far apart
// its records lie) checked against the file itself, and the field list checked against the
// records. A damaged size field in the header makes every block read at the wrong offset;
// the blocks themselves, linked to each other and counting their records, say which
// geometry they were written under.
#pragma once

#include "platform/engine/paradox/EngineInside.h"

#include "platform/engine/paradox/RandomAccessFile.h"
#include "platform/engine/paradox/TableHeader.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace engine::paradox {

class TParadoxTable;

struct TTableGeometry {
    std::uint16_t HeaderSize = 0;
    std::uint32_t BlockSize = 0;
    std::uint16_t RecordSize = 0;

    bool operator==(const TTableGeometry&) const = default;
    std::string Describe() const;  // "header of 2048 bytes, blocks of 2 KiB, records of 71 bytes"
};

// The geometry the header gives (its record size as stored, not as the reader adjusted it).
TTableGeometry StoredGeometry(const TTableHeader& h);
// The geometry the reader reads `h` under (a record size too small for the fields raised).
TTableGeometry ReadGeometry(const TTableHeader& h);

// Why the header's field list cannot describe any record ("" when it can): a record size of
// 0, a field type no version of the format defines or a size its type cannot have, fields
// that together take no room. No other program reads a table with such a header.
std::string UnusableFieldList(const TTableHeader& h);

// Why the fields cannot be the records the blocks hold under `g` ("" when they can): they
// take another number of bytes. Their sizes, not the record size, are then what is damaged,
// and no reading of the rows can be trusted.
std::string FieldsMissRecords(const TTableHeader& h, const TTableGeometry& g);

// True when the header's geometry agrees with the file: the fields fill its records, the
// header holds its own content and is as long as writers make one (the content's length, or
// whole 2 KiB), the blocks fill the file as the allocated-block count says (a short final
// block allowed), and the whole chain reads under it as the header counts it: from the first
// block to the last, each block inside the file, visited once, linking back to the block
// before it, with a possible last-record offset and a header that is not all zeros (zeros
// anywhere in a file read as a block of one record; only a table of one block holding one row
// that is not zeros has such a block), as many blocks and records as the header says.
bool GeometryFitsFile(const TRandomAccessFile& file, const TTableHeader& h);

// Records that appear under `g`: those of the blocks whose last-record offset is possible
// and whose header is not all zeros (but as above), and whose links agree with their
// neighbours' links back or which the chain reaches from the header's first block by forward
// links through such blocks, each linking to a block inside the file.
std::uint64_t RecordsUnder(const TRandomAccessFile& file, const TTableHeader& h, const TTableGeometry& g);

struct TGeometryChoice {
    TTableGeometry Geometry;
    std::uint64_t Records = 0;   // under Geometry
    bool Changed = false;        // Geometry differs from the header's (as stored)
    // Another geometry than the one chosen under which the chain reads as the header counts
    // it: a rebuild that keeps far fewer rows than the header counts misread the blocks.
    std::optional<TTableGeometry> CleanElsewhere;
};

// The header's geometry when it fits the file. Otherwise one found from the blocks, among:
// header sizes of the header's value, its content's length (3.0 headers end there) and the
// multiples of 2 KiB; block sizes of 1, 2, 3, 4, 8, 16 and 32 KiB; the stored record size
// and the fields' total. For each record size, the geometry under which the chain reads as
// the header counts it (GeometryFitsFile's chain, header and allocated blocks), then the one
// whose chain, read whole, more of the header's counts agree with (last block, blocks in use,
// records), then the one under which the most records appear, then the one that invents fewer
// rows (a row is invented when its bytes lie where the other geometry finds a block's unused
// bytes beyond its last record), then the one that keeps more of the header's values. Of the
// record sizes, the same first two, then the one under which more blocks count, the stored one
// on a tie.
TGeometryChoice ChooseGeometry(const TRandomAccessFile& file, const TTableHeader& h);

// "the header gives a ..., but the blocks lie as under a ...; the rows are read so".
std::string GeometryNote(const TTableHeader& h, const TTableGeometry& g);

// Why the header of `table` cannot be trusted to read or write it ("" when it can): a field
// list that describes no record, blocks that lie under another geometry than the header
// gives, or fields that do not fill the records the blocks hold. A broken chain or a count
// that disagrees with the blocks is damage a rebuild repairs; the header still reads them.
std::string HeaderDamage(const TRandomAccessFile& file, const TTableHeader& h);

struct TBlockReading {
    TGeometryChoice Choice;
    std::string Refused;   // why the rows cannot be read as rows ("" when they can)
    bool ReadsAnew = false;  // Choice.Geometry is not the one the table is read under now
};

// Where the blocks of `table` lie (ChooseGeometry), and whether its fields fit the records
// there (UnusableFieldList, FieldsMissRecords).
TBlockReading FindWhereTheBlocksLie(const TParadoxTable& table);

// As FindWhereTheBlocksLie, and `table` is read under the geometry found from now on (the
// file is not changed; with Refused set, nothing changes).
TBlockReading ReadWhereTheBlocksLie(TParadoxTable& table);

// Why the blocks of `file` cannot be read under `h`, the header of another copy of the same
// table ("" when they can): the file must be block 1 and whole blocks of that size after the
// header (a short final block allowed when its block header lies in the file), every block
// must end its records where records of that size can end, every block's forward link stay
// inside the file, and the chain from `firstBlock` (block 1 when that is outside the file)
// read to its end, each block visited once, linking back to the one before and with a head
// that is not all zeros (but in a file of one block).
std::string BlocksMisfit(const TRandomAccessFile& file, const TTableHeader& h, std::uint16_t firstBlock);

// `h` as read under `g`.
void ApplyGeometry(TTableHeader& h, const TTableGeometry& g);

// Writes `g` into the header bytes of a data file (record size, header size, block size).
void WriteGeometry(std::vector<std::uint8_t>& headerBytes, const TTableGeometry& g);

} // namespace engine::paradox
