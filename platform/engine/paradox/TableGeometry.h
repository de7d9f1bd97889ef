// The geometry of a data file (where block 1 begins, how long its blocks are, how far apart
// its records lie) checked against the file itself, and the field list checked against the
// records. A damaged size field in the header makes every block read at the wrong offset;
// the blocks themselves, linked to each other and counting their records, say which
// geometry they were written under.
#pragma once

#include "platform/engine/paradox/RandomAccessFile.h"
#include "platform/engine/paradox/TableHeader.h"

#include <cstdint>
#include <string>
#include <vector>

namespace engine::paradox {

struct TTableGeometry {
    std::uint16_t HeaderSize = 0;
    std::uint32_t BlockSize = 0;
    std::uint16_t RecordSize = 0;

    bool operator==(const TTableGeometry&) const = default;
    std::string Describe() const;  // "header of 2048 bytes, blocks of 2 KiB, records of 71 bytes"
};

// The geometry the header gives (its record size as stored, not as the reader adjusted it).
TTableGeometry StoredGeometry(const TTableHeader& h);

// Why the header's field list cannot describe any record ("" when it can): a record size of
// 0, a field type no version of the format defines or a size its type cannot have, fields
// that together take no room. No other program reads a table with such a header.
std::string UnusableFieldList(const TTableHeader& h);

// True when the header's geometry agrees with the file: the fields fill its records, the
// header holds its own content, the blocks fill the file as the allocated-block count says
// (a short final block allowed) and the chain's first block begins as a first block does.
bool GeometryFitsFile(const TRandomAccessFile& file, const TTableHeader& h);

// Records that appear under `g`: those of the blocks whose last-record offset is possible
// and whose links agree with their neighbours' links back.
std::uint64_t RecordsUnder(const TRandomAccessFile& file, const TTableHeader& h, const TTableGeometry& g);

struct TGeometryChoice {
    TTableGeometry Geometry;
    std::uint64_t Records = 0;   // under Geometry (0 when the header's own fits the file)
    bool Changed = false;        // Geometry differs from the header's
};

// The header's geometry when it fits the file. Otherwise the one under which the most
// records appear, among: header sizes of the header's value, its content's length (3.0
// headers end there) and the multiples of 2 KiB; block sizes of 1, 2, 3, 4, 8, 16 and 32
// KiB; the stored record size and the fields' total. The header's own wins a tie.
TGeometryChoice ChooseGeometry(const TRandomAccessFile& file, const TTableHeader& h);

// `h` as read under `g`.
void ApplyGeometry(TTableHeader& h, const TTableGeometry& g);

// Writes `g` into the header bytes of a data file (record size, header size, block size).
void WriteGeometry(std::vector<std::uint8_t>& headerBytes, const TTableGeometry& g);

} // namespace engine::paradox
