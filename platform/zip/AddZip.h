// The packing call set: a run is configured by calls and then started, and reports every
// file through the installed callback (ZipMessages.h).
//
// The archive is written to a temporary file beside it and renamed over the old archive only
// when it is complete, so an archive that was there survives a failed or aborted run.
// Files are streamed; none is loaded whole into memory.
//
// A TZipPacker holds one configuration, its abort request and what its last run left; packers
// share nothing, so runs on two of them (on two threads, or one started from inside the
// other's callback) keep their settings and errors apart. The addZIP_* calls act on a packer
// of the calling thread's own.
#pragma once

#include "platform/zip/ZipRunHandle.h"

#include <string>

namespace azip {

class TZipPacker : public TZipRunHandle {
public:
    // No callback, no archive, no list, paths not stored, compression level 6, no abort.
    TZipPacker() = default;

    // Back to the state of a new packer; the last run's report is forgotten.
    void Reset();
    // A text file naming one file to pack per line (CR LF or LF).
    void SetIncludeListFile(std::string listFilePath) { settings_.listFile = std::move(listFilePath); }
    // false: each file is stored under its bare name; true: under its path without the leading "/".
    void SetSaveStructure(bool save) { settings_.saveStructure = save; }
    // 0 stores; 1..9 deflate with that zlib level; other values are taken to the nearer end.
    void SetCompressionLevel(int level);

    // Packs with the settings as they are now (changing them from the callback affects only
    // the next run).
    TRunResult Run();

private:
    struct TSettings {
        std::string listFile;
        bool saveStructure = false;
        int level = 6;
    };
    TRunResult Pack(const std::string& archivePath, const TSettings& settings, TZipReporter& reporter);

    TSettings settings_;
};

// Starts a fresh configuration of the calling thread's packer (as a new TZipPacker).
int addZIP_Initialise();
int addZIP_InstallCallback(ZipCallback callback);
int addZIP_ArchiveName(const char* archivePath);
int addZIP_IncludeListFile(const char* listFilePath);
// 0: each file is stored under its bare name; otherwise under its path without the leading "/".
int addZIP_SaveStructure(int save);
int addZIP_SetCompressionLevel(int level);
// Only single-volume archives are written; any value is accepted and means 0.
int addZIP_Span(int span);
// Runs the packing; returns a TRunResult.
int addZIP();
// Asks the calling thread's running addZIP to stop (callable from inside the callback).
int addZIP_Abort(int abort);

} // namespace azip
