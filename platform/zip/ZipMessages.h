// The callback contract shared by the packing (addZIP_*) and unpacking (addUNZIP_*) call sets.
//
// A run calls the installed callback on the caller's thread as
//     callback(0, type, text)
// where `text` is zero-terminated UTF-8 made of fields separated by "|". A "|" inside a name
// is shown as "?" so that the fields stay countable. The callback returns 1 ("go on") or 0.
//
// Message types (ours, except that 14, 22 and 24 keep the meaning callers rely on):
//   10  run started        "archive|entries"        entries: files listed (pack) or stored (unpack)
//   14  still working      "archive|done|total"     sent between files and every few megabytes
//                                                   while unpacking, so an abort request made in
//                                                   the callback is seen promptly; while packing it
//                                                   carries the percentage ("archive|percent|100")
//   16  file progress      "name|path|done|total"   a file is begun (its name, and the path as in
//                                                   22), and every MiB of it is read (pack) or
//                                                   written (unpack); done and total count the
//                                                   bytes of the whole run's files, in decimal
//   22  one file done      "name|path|status|reason"
//                          name: the name stored in the archive as given; path: the file's name
//                          with its path (pack: the listed file; unpack: the file written in the
//                          target); status: decimal, "255" alone means success (FileStatus);
//                          reason: a short English explanation, empty on success.
//                          A failure of the archive itself (cannot be created, opened or
//                          completed) is reported the same way, with the archive as name and path.
//   24  question           "name|path|password"     a password for an encrypted entry is asked
//                                                   for; we hold none, so callers answer 0 and the
//                                                   entry is then reported failed (22, Encrypted)
//   30  run finished       "archive|succeeded|failed|aborted"  counts of 22 messages; aborted 0/1
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace azip {

using ZipCallback = int (*)(std::intptr_t reserved, std::uint8_t type, const char* text);
// The same contract for a receiver that carries its own state: type and text; 1 or 0.
using TZipMessageSink = std::function<int(std::uint8_t type, const char* text)>;

// A callback as a receiver (called with 0 as its first argument); none stays none.
inline TZipMessageSink SinkOf(ZipCallback callback) {
    if (!callback) return nullptr;
    return [callback](std::uint8_t type, const char* text) { return callback(0, type, text); };
}

namespace MessageType {
inline constexpr std::uint8_t RunStarted = 10;
inline constexpr std::uint8_t Working = 14;
inline constexpr std::uint8_t FileProgress = 16;
inline constexpr std::uint8_t FileStatus = 22;
inline constexpr std::uint8_t Question = 24;
inline constexpr std::uint8_t RunFinished = 30;
} // namespace MessageType

// The third field of a FileStatus message.
enum class FileStatus : int {
    NotFound = 1,         // the listed file does not exist or is not a regular file
    CannotOpen = 2,       // the file (or archive) cannot be opened
    ReadError = 3,        // reading failed
    ChangedWhileRead = 4, // the file's size changed while it was packed
    DuplicateName = 5,    // two listed files would be stored under the same name
    UnsafeName = 6,       // the stored name is empty, ".", ".." or holds ":"
    NotRegularFile = 7,   // the entry is a link, device or other non-file
    Encrypted = 8,        // the entry is encrypted
    BadData = 9,          // the stored data is damaged (inflate or CRC failure, wrong size)
    WriteError = 10,      // the target file (or archive) cannot be written
    ListUnreadable = 11,  // the include-list file cannot be read
    SameNameInOtherCase = 12,  // has the name of an entry already unpacked (a folder flattened, or letter case aside)
    NotAnArchive = 13,    // the archive to unpack is no zip archive
    Ok = 255,
};

// Results of addZIP / addUNZIP: 0 when every file was handled, 1 when some failed,
// 2 when the run was aborted, 3 when the archive itself failed.
enum class TRunResult : int { Ok = 0, FilesFailed = 1, Aborted = 2, ArchiveFailed = 3 };

// A file (or the archive, or the include list) that a run could not handle, as its
// FileStatus message told it.
struct TFileFailure {
    std::string name;
    std::string path;
    FileStatus status = FileStatus::Ok;
    std::string reason;
};

// What a run left: its result, the FileStatus messages it sent, and the last failure among them.
struct TRunReport {
    TRunResult result = TRunResult::Ok;
    int succeeded = 0;
    int failed = 0;
    std::optional<TFileFailure> lastFailure;
};

} // namespace azip
