// The files that make up Paradox tables, found by extension pattern: data (".db"), memo
// (".mb"), primary index (".px") and secondary indexes (any extension starting with "x" or
// "y"). Patterns match without regard to letter case (HOVORY.DB, Hovory.X02), and only a
// name's last extension decides its kind: "Kurz.x.DB" is a data file, never an index.
#pragma once

#include "database/FileCopy.h"
#include "platform/rtl/Messages.h"
#include "platform/rtl/StringList.h"
#include "platform/ui/ReportTargets.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace database {

// Comma lists of extensions.
inline constexpr const char* AllTableFileExtensions = ".db,.mb,.px,.x*,.y*";
inline constexpr const char* DataFileExtensions = ".db,.mb";
inline constexpr const char* IndexFileExtensions = ".px,.x*,.y*";

// The single patterns of a directory copy, in the order they are copied.
inline constexpr const char* DataFilePatterns[] = {"*.db", "*.mb"};
inline constexpr const char* IndexFilePatterns[] = {"*.px", "*.x*", "*.y*"};

// The only copy mode: every matching file is copied, an existing target is replaced.
inline constexpr std::uint8_t CopyModeReplace = 3;

// Whether the file `name` is one of the files of `mask` ("*.db", "*.x*"): the whole name
// matches the mask, and its last extension matches the mask's last extension.
bool MatchesTableFileMask(std::string_view name, std::string_view mask);

// Raises for a copy mode other than CopyModeReplace, before any file is touched.
void RefuseUnknownCopyMode(std::uint8_t copyMode);

// Whether the file `name` is a file of some table (data, memo or index).
bool MatchesAnyTableFileMask(std::string_view name);

// Full paths of the regular files of `directory` (and of the symlinks leading to one) that
// match the extensions, extension by extension in list order and by name within one extension.
rtl::TStringList FindTableFiles(const std::string& directory, const std::string& extensions);

// The files FindTableFiles gives, limited to the tables `only` names (names without extension,
// letter case ignored; all tables when empty). Raises rtl::EError with the text of `refusal`
// (%1: the tables) when `only` names a table `directory` holds no data file of.
rtl::TStringList FindFilesOfTables(const std::string& directory, const std::string& extensions,
                                   const std::vector<std::string>& only, rtl::TMsg refusal);

// Copies every file matching `sourcePattern` ("/data/*.db") into `targetDirectory` under its
// own name; returns the number of files copied. A target that exists under the same name
// in other letter case is the one replaced, so a directory never ends up holding one
// table twice; names the source holds in several letter cases are copied each under its
// own. Refuses, before touching any file, a copy of a directory onto itself and a copy mode
// other than CopyModeReplace. The first failing file ends the copy with its error.
// `identity` says whose owner and permissions each copy takes (FileCopy.h).
int CopyFileSet(const std::string& sourcePattern, const std::string& targetDirectory, std::uint8_t copyMode,
                ui::IProgressTarget* progressBar, TCopyIdentity identity = TCopyIdentity::OfTargetPlace);

} // namespace database
