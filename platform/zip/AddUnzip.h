// The unpacking call set: a run is configured by calls and then started; it extracts every
// entry of the archive flat into the destination directory and reports each through the
// installed callback (ZipMessages.h).
//
// Safety: only the part of a stored name after its last "/" is used, and names that
// could reach elsewhere are refused (EntryNames.h). Each file is written to a new temporary
// name in the destination (created exclusively, never through a symlink) and renamed over the
// final name only after its size and CRC checked out, so a damaged entry never leaves a
// half-written file and a symlink planted in the destination is replaced, not followed.
// Letter case: an entry replaces the file in the destination whose name differs from its own
// only in ASCII letter case, since the tables' engine would take both for one table; of
// entries differing only in case among themselves, the first is unpacked and each other one
// is reported (SameNameInOtherCase).
// Data is streamed; no file or archive is loaded whole into memory.
//
// A TZipUnpacker holds one configuration, its abort request and what its last run left;
// unpackers share nothing with each other or with packers, so two runs (on two threads, or one
// started from inside another's callback) keep their settings and errors apart. The
// addUNZIP_* calls act on an unpacker of the calling thread's own.
#pragma once

#include "platform/zip/ZipRunHandle.h"

#include <string>

namespace azip {

class TZipUnpacker : public TZipRunHandle {
public:
    // No callback, no archive, extraction into the current directory, attributes restored,
    // no abort.
    TZipUnpacker() = default;

    // Back to the state of a new unpacker; the last run's report is forgotten.
    void Reset();
    // Created with its missing parents when it does not exist; empty means the current one.
    void SetExtractTo(std::string directory);
    // Owners and permissions: a file that replaces one in the destination keeps that file's
    // owner, group and permissions, and a new file takes the destination's group and the owner
    // and permissions of its siblings (FileIdentity.h). Only into a destination without files:
    // true: the stored permission bits (or the DOS read-only flag) are given back; false:
    // default permissions. The modification time is restored either way.
    void SetRestoreAttributes(bool restore) { settings_.restoreAttributes = restore; }

    // Unpacks all entries with the settings as they are now (changing them from the callback
    // affects only the next run).
    TRunResult Run();

private:
    struct TSettings {
        std::string directory = ".";
        bool restoreAttributes = true;
    };
    TRunResult Unpack(const std::string& archivePath, const TSettings& settings, TZipReporter& reporter);

    TSettings settings_;
};

// Starts a fresh configuration of the calling thread's unpacker (as a new TZipUnpacker).
int addUNZIP_Initialise();
int addUNZIP_InstallCallback(ZipCallback callback);
int addUNZIP_ArchiveName(const char* archivePath);
int addUNZIP_ExtractTo(const char* directory);
// 1: stored attributes given back where TZipUnpacker::SetRestoreAttributes says; 0: not.
int addUNZIP_RestoreAttributes(int restore);
// Extraction is always flat; any value is accepted and means 0.
int addUNZIP_RestoreStructure(int restore);
// Runs the unpacking of all entries; returns a TRunResult.
int addUNZIP();
// Asks the calling thread's running addUNZIP to stop (callable from inside the callback).
int addUNZIP_Abort(int abort);

} // namespace azip
