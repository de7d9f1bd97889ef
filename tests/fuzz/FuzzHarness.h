// What the fuzz drivers and the fuzz replay test do with one input: read a table every way
// a user can (open, decode every value incl. blobs, full check, index definitions, pdx info,
// dump and verify), or unpack an archive into a scratch directory. Only the engine's and the
// unpacker's documented failures are caught; anything else escapes and is a finding.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace fuzz {

void ExerciseTable(const std::string& dataPath);

// A fuzz input holding several files of one table: the .db bytes first, then for each
// companion file the marker "##FUZZ:" + extension + "\n" followed by its bytes. Writes them
// as `dir`/T.* (replacing what was there) and exercises the table.
void ExerciseTableBytes(const std::uint8_t* data, std::size_t size, const std::string& dir);
inline constexpr const char* CompanionMarker = "##FUZZ:";

// Unpacks `archivePath` into `targetDir` (emptied first) and checks that nothing appeared
// outside it: `targetDir` must be the only entry of its parent directory.
void ExerciseArchive(const std::string& archivePath, const std::string& targetDir);

} // namespace fuzz
