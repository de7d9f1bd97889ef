// The packing call set: a run is configured by calls and then started by addZIP, which
// reports every file through the installed callback (ZipMessages.h).
//
// The archive is written to a temporary file beside it and renamed over the old archive only
// when it is complete, so an archive that was there survives a failed or aborted run.
// Files are streamed; none is loaded whole into memory.
#pragma once

#include "platform/zip/ZipMessages.h"

namespace azip {

// Starts a fresh configuration: no callback, no archive, no list, paths not stored,
// compression level 6, no spanning.
int addZIP_Initialise();
int addZIP_InstallCallback(ZipCallback callback);
int addZIP_ArchiveName(const char* archivePath);
// A text file naming one file to pack per line (CR LF or LF).
int addZIP_IncludeListFile(const char* listFilePath);
// 0: each file is stored under its bare name; otherwise under its path without the leading "/".
int addZIP_SaveStructure(int save);
// 0 stores; 1..9 deflate with that zlib level.
int addZIP_SetCompressionLevel(int level);
// Only single-volume archives are written; any value is accepted and means 0.
int addZIP_Span(int span);
// Runs the packing; returns a RunResult.
int addZIP();
// Asks the running addZIP to stop (callable from inside the callback).
int addZIP_Abort(int abort);

} // namespace azip
