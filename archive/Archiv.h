// The zip archiver: packs a list of files into one archive under their bare names and
// unpacks an archive flat into a directory, showing its own problems to the user.
//
// One archiver per packing or unpacking run. The zip libraries call back into it through
// ActiveArchiv, so only one archiver may exist at a time; a second one is refused.
#pragma once

#include "platform/rtl/StringList.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

class TArchiv {
public:
    explicit TArchiv(std::string caption);
    virtual ~TArchiv();
    TArchiv(const TArchiv&) = delete;
    TArchiv& operator=(const TArchiv&) = delete;

    std::string Caption;           // caption of every message box shown
    rtl::TStringList FileList;     // full path of every file to pack
    std::string ArchiveName;       // set by a successful PackFiles, or by SetUnpackSource
    std::string TargetDir;         // where UnpackFiles extracts
    bool PackFailed = false;       // a file could not be packed
    bool UnpackAborted = false;    // the user stopped the unpacking
    // Names of the files whose unpacking failed (the user let the run go on or stopped it
    // there), in the order met; an entry refused only for repeating another's name in other
    // letter case is not among them, since the first spelling was unpacked.
    std::vector<std::string> FilesNotUnpacked;
    // Why the unpacking stopped without a question (told in a message of its own), when no
    // answer could have changed the outcome (the disk is full or read-only: every later file
    // would fail the same way).
    std::string UnpackStoppedBy;
    // Told when a file is begun and as it goes on: its name, and the bytes of the whole run
    // done so far and in all.
    std::function<void(const std::string& fileName, std::uint64_t done, std::uint64_t total)> OnProgress;

    // Packs FileList into `targetDir` + the file-name part of `archiveFileName` (an empty
    // directory means the current one). An existing archive of that name is replaced without
    // a question, but only once the new one is complete: it survives a failed run.
    // True when the archive was written without a failed file.
    bool PackFiles(const std::string& targetDir, const std::string& archiveFileName);

    void SetUnpackSource(const std::string& archiveName, const std::string& targetDir);
    // Unpacks every file of ArchiveName into TargetDir; at a damaged file the user chooses to
    // go on or stop. True unless the archive is missing, is no zip archive or cannot be read
    // at all (each told in its own message), or the user stopped.
    bool UnpackFiles();

    // The callbacks installed in the zip libraries (message contract: platform/zip/ZipMessages.h).
    static int ZipCallback(std::intptr_t reserved, std::uint8_t type, const char* text);
    static int UnzipCallback(std::intptr_t reserved, std::uint8_t type, const char* text);

private:
    // Passes a FileProgress message on to OnProgress.
    void TellProgress(const char* text) const;
};

// The archiver that exists at the moment, or nullptr.
extern TArchiv* ActiveArchiv;

// The n-th field (counted from 1, empty fields counted) of `text` split at `separator`;
// empty when the text has fewer fields.
std::string ExtractField(std::string_view text, char separator, int n);

// Creates the directory `path` level by level; true when the whole path exists afterwards.
bool ForceDirectoryPath(const std::string& path);
