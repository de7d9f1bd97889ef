#include "database/BackupManifest.h"

#include "database/TableFileSet.h"
#include "platform/rtl/Error.h"
#include "platform/rtl/FileIo.h"
#include "platform/rtl/FileSystem.h"
#include "platform/rtl/Messages.h"
#include "platform/rtl/Paths.h"
#include "platform/rtl/PercentEscape.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <fcntl.h>
#include <map>

namespace database {

namespace {

constexpr const char* FirstLine = "tablora backup files 1";
// The record while a backup replaces its files one by one (MarkBackupUnfinished).
constexpr const char* UnfinishedLine = "unfinished";
constexpr const char* TemporaryMarker = ".tablora-record-";
// Far more than any database's table files take; a larger file is no record of ours.
constexpr std::uint64_t LargestRecord = 4u << 20;

[[noreturn]] void WriteFailure(rtl::TMsg what, const std::string& path) {
    throw rtl::EFileError(rtl::Format(what, {path, rtl::SystemReason(errno)}));
}

bool ParseNumber(std::string_view text, std::uint64_t& n) {
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), n);
    return ec == std::errc() && end == text.data() + text.size() && !text.empty();
}

// The files the lines of `text` record; false with `line` the first line that is not as
// this program writes it (a name twice, a path instead of a name, an end that does not
// count the lines, anything after the end).
bool ParseRecord(const std::string& text, std::vector<TRecordedFile>& files, std::size_t& line) {
    std::size_t at = 0;
    line = 0;
    bool ended = false;
    std::map<std::string, bool> seen;
    while (at < text.size()) {
        const std::size_t end = text.find('\n', at);
        if (end == std::string::npos || ended) return ++line, false;
        const std::string_view l(text.data() + at, end - at);
        at = end + 1;
        ++line;
        if (line == 1) {
            if (l != FirstLine) return false;
            continue;
        }
        std::uint64_t n = 0;
        if (l.starts_with("end ")) {
            if (!ParseNumber(l.substr(4), n) || n != files.size()) return false;
            ended = true;
            continue;
        }
        const std::size_t tab = l.find('\t');
        TRecordedFile file;
        if (tab == std::string_view::npos || !ParseNumber(l.substr(0, tab), file.Size) ||
            !rtl::PercentUnescape(std::string(l.substr(tab + 1)), file.Name))
            return false;
        if (file.Name.empty() || file.Name != rtl::ExtractFileName(file.Name) || file.Name == "." ||
            file.Name == ".." || seen[file.Name])
            return false;
        seen[file.Name] = true;
        files.push_back(std::move(file));
    }
    ++line;
    return ended;
}

} // namespace

bool IsBackupRecordFile(const std::string& name) {
    return name == BackupManifestName || name.starts_with(std::string(BackupManifestName) + TemporaryMarker);
}

std::vector<TRecordedFile> TableFilesHeld(const std::string& directory) {
    std::vector<TRecordedFile> held;
    for (const std::string& path : FindTableFiles(directory, AllTableFileExtensions)) {
        rtl::TFileStatus st;
        if (rtl::FileSystem().Stat(path, st) != 0) {
            if (errno == ENOENT) continue;
            throw rtl::EFileError(rtl::Format(rtl::TMsg::FileCannotOpen, {path, rtl::SystemReason(errno)}));
        }
        held.push_back({rtl::ExtractFileName(path), st.Size});
    }
    std::sort(held.begin(), held.end(), [](const TRecordedFile& a, const TRecordedFile& b) { return a.Name < b.Name; });
    return held;
}

namespace {

// Puts `text` in place as `directory`'s record: written under a temporary name, synced and
// renamed over any older record.
void WriteRecord(const std::string& directory, const std::string& text) {
    const std::string dir = rtl::WithTrailingSeparator(directory);
    rtl::RemoveFilesOfEndedProcesses(directory, std::string(BackupManifestName) + TemporaryMarker + "*", TemporaryMarker);
    std::string temporary;
    rtl::TFileDescriptor fd(
        rtl::CreateUniqueFile(dir + BackupManifestName + TemporaryMarker + rtl::ProcessTag(), "", 0644, temporary));
    if (!fd.Valid()) WriteFailure(rtl::TMsg::FileCannotCreate, dir + BackupManifestName);
    const bool written = rtl::WriteAll(fd.Get(), text.data(), text.size()) && rtl::FileSystem().Sync(fd.Get()) == 0 &&
                         fd.Reset() == 0;
    if (!written || rtl::FileSystem().Rename(temporary, dir + BackupManifestName) != 0) {
        const int error = errno;
        rtl::FileSystem().Unlink(temporary);
        errno = error;
        WriteFailure(rtl::TMsg::FileCannotWrite, dir + BackupManifestName);
    }
}

} // namespace

void WriteBackupManifest(const std::string& directory, const std::vector<TRecordedFile>& files) {
    std::string text = std::string(FirstLine) + "\n";
    for (const TRecordedFile& file : files) text += std::to_string(file.Size) + "\t" + rtl::PercentEscape(file.Name) + "\n";
    text += "end " + std::to_string(files.size()) + "\n";
    WriteRecord(directory, text);
}

void MarkBackupUnfinished(const std::string& directory) {
    WriteRecord(directory, std::string(FirstLine) + "\n" + UnfinishedLine + "\n");
    if (rtl::FileSystem().SyncDirectory(directory) != 0) WriteFailure(rtl::TMsg::FileCannotWrite, directory);
}

TBackupManifest ReadBackupManifest(const std::string& directory) {
    TBackupManifest manifest;
    const std::string path = rtl::WithTrailingSeparator(directory) + BackupManifestName;
    rtl::TFileStatus st;
    if (rtl::FileSystem().Lstat(path, st) != 0) {
        if (errno != ENOENT) {
            manifest.Present = true;
            manifest.Problem = rtl::Format(rtl::TMsg::BackupRecordUnreadable, {BackupManifestName, rtl::SystemReason(errno)});
        }
        return manifest;
    }
    manifest.Present = true;
    std::string text;
    if (!st.IsRegular() || st.Size > LargestRecord) {
        manifest.Problem = rtl::Format(rtl::TMsg::BackupRecordUnreadable,
                                       {BackupManifestName, rtl::Text(rtl::TMsg::ReasonNotRegularFile)});
    } else if (!rtl::ReadWholeFile(path, text)) {
        manifest.Problem = rtl::Format(rtl::TMsg::BackupRecordUnreadable, {BackupManifestName, rtl::SystemReason(errno)});
    } else if (text == std::string(FirstLine) + "\n" + UnfinishedLine + "\n") {
        manifest.Problem = rtl::Format(rtl::TMsg::BackupRecordUnfinished, {BackupManifestName});
        manifest.Unfinished = true;
    } else if (std::size_t line = 0; text.size() > LargestRecord || !ParseRecord(text, manifest.Files, line)) {
        manifest.Files.clear();
        manifest.Problem = rtl::Format(rtl::TMsg::BackupRecordDamaged, {BackupManifestName, std::to_string(line)});
    }
    return manifest;
}

std::vector<std::string> ManifestDisagreements(const TBackupManifest& manifest, const std::vector<TRecordedFile>& held) {
    std::vector<std::string> lines;
    if (!manifest.Present) return lines;
    if (!manifest.Problem.empty()) return {manifest.Problem};
    std::map<std::string, std::uint64_t> there;
    for (const TRecordedFile& file : held) there[file.Name] = file.Size;
    for (const TRecordedFile& file : manifest.Files) {
        const auto found = there.find(file.Name);
        if (found == there.end())
            lines.push_back(rtl::Format(rtl::TMsg::BackupRecordFileMissing, {file.Name}));
        else if (found->second != file.Size)
            lines.push_back(rtl::Format(rtl::TMsg::BackupRecordFileSize,
                                        {file.Name, std::to_string(found->second), std::to_string(file.Size)}));
        if (found != there.end()) there.erase(found);
    }
    for (const auto& [name, size] : there) lines.push_back(rtl::Format(rtl::TMsg::BackupRecordFileAdded, {name}));
    return lines;
}

} // namespace database
