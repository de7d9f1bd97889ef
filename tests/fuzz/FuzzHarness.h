// What the fuzz drivers and the fuzz replay test do with one input. Each target reads or
// repairs what the input holds every way a user can and checks what must hold afterwards;
// only the engine's and the unpacker's documented failures are caught, anything else
// escapes, and a broken promise (a row lost, a file outside the target) aborts: each is a
// finding.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace fuzz {

// ---- tables -------------------------------------------------------------------------------

// A fuzz input holding several files of one table: the .db bytes first, then for each
// companion file the marker "##FUZZ:" + extension + "\n" followed by its bytes.
inline constexpr const char* CompanionMarker = "##FUZZ:";

// Writes the files of such an input as `dir`/T.* (replacing what was there) and returns the
// path of T.db.
std::string WriteTableFiles(const std::uint8_t* data, std::size_t size, const std::string& dir);

// Opens the table and reads every value of every row (blobs included), its definitions and
// counts, through the reader, the engine objects and `pdx info` / `pdx dump`.
void ScanTable(const std::string& dataPath);
// The full check of the table and `pdx verify`.
void VerifyTable(const std::string& dataPath);
// Both of the above.
void ExerciseTable(const std::string& dataPath);

// Rebuilds the table at `dataPath` (its directory is scratch: companions are made there).
// Aborts when a row the table held readably and validly is neither in the rebuilt table nor
// in the key-violation table, when the backup differs from the original files, or when a
// rebuild that failed changed the table's files.
void RebuildAndAccount(const std::string& dataPath);

// ---- blobs --------------------------------------------------------------------------------

// A memo input: one flag byte (bit 0: the table is encrypted), then blob fields, each a size
// byte (leader + 10-byte descriptor, 10..255) and that many bytes, then the marker line
// "##FUZZ:mb\n" and the bytes of the .mb file.
struct TMemoInput {
    bool Encrypted = false;
    std::vector<std::string> Fields;
    std::string MemoBytes;
};
TMemoInput ParseMemoInput(const std::uint8_t* data, std::size_t size);
std::string FormatMemoInput(const TMemoInput& input);

// Reads every field's blob from the .mb written into `dir`; aborts when a blob read as good
// does not have the length its descriptor names, when reading in another order gives other
// results, or when the good blobs written into a fresh .mb do not read back the same.
void ExerciseMemo(const TMemoInput& input, const std::string& dir);

// ---- archives -----------------------------------------------------------------------------

// Unpacks `archivePath` into `targetDir` (emptied first) and checks that nothing appeared
// outside it: `targetDir` must be the only entry of its parent directory.
void ExerciseArchive(const std::string& archivePath, const std::string& targetDir);

// ---- targets ------------------------------------------------------------------------------

// The fuzz targets by name: "table" (open and scan), "verify", "rebuild", "memo", "unzip".
// Runs one input through target `name` inside the scratch directory `dir` (whose content it
// owns). Unknown names abort.
void RunTarget(const std::string& name, const std::uint8_t* data, std::size_t size, const std::string& dir);

// Aborts the process with `what` on stderr: libFuzzer keeps the input as a crash.
[[noreturn]] void Fail(const std::string& what);

} // namespace fuzz
