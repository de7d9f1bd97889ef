// The unpacking call set: a run is configured by calls and then started by addUNZIP, which
// extracts every entry of the archive flat into the destination directory and reports each
// through the installed callback (ZipMessages.h).
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
#pragma once

#include "platform/zip/ZipMessages.h"

namespace azip {

// Starts a fresh configuration: no callback, no archive, extraction into the current
// directory, attributes restored, flat extraction.
int addUNZIP_Initialise();
int addUNZIP_InstallCallback(ZipCallback callback);
int addUNZIP_ArchiveName(const char* archivePath);
// Created with its missing parents when it does not exist.
int addUNZIP_ExtractTo(const char* directory);
// Owners and permissions: a file that replaces one in the destination keeps that file's
// owner, group and permissions, and a new file takes the destination's group and the owner
// and permissions of its siblings (FileIdentity.h). Only into a destination without files:
// 1: the stored permission bits (or the DOS read-only flag) are given back; 0: default
// permissions. The modification time is restored either way.
int addUNZIP_RestoreAttributes(int restore);
// Extraction is always flat; any value is accepted and means 0.
int addUNZIP_RestoreStructure(int restore);
// Runs the unpacking of all entries; returns a RunResult.
int addUNZIP();
// Asks the running addUNZIP to stop (callable from inside the callback).
int addUNZIP_Abort(int abort);

} // namespace azip
