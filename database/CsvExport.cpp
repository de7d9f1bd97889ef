#include "database/CsvExport.h"

#include "platform/engine/paradox/RecordDecoder.h"
#include "platform/rtl/Error.h"
#include "platform/rtl/FileIo.h"
#include "platform/rtl/FileSystem.h"
#include "platform/rtl/Paths.h"
#include "platform/rtl/StringList.h"

#include <cerrno>
#include <cstring>

namespace database {

using namespace engine::paradox;

namespace {

const char* const TemporaryMarker = ".export-";
constexpr std::size_t FlushBytes = 1 << 20;

[[noreturn]] void FileFailure(const std::string& what, const std::string& path) {
    throw rtl::EFileError("Cannot " + what + " \"" + path + "\": " + std::strerror(errno));
}

template <typename T>
std::string OptionalText(const std::optional<T>& v) {
    return v ? std::to_string(*v) : std::string();
}

} // namespace

TCsvFile::TCsvFile(const std::string& path) : path_(path) {
    fd_ = rtl::CreateUniqueFile(path + TemporaryMarker + rtl::ProcessTag(), "", 0644, temporary_);
    if (fd_ < 0) FileFailure("create a temporary file beside", path);
}

TCsvFile::~TCsvFile() {
    if (fd_ >= 0) rtl::FileSystem().Close(fd_);
    if (!temporary_.empty()) rtl::FileSystem().Unlink(temporary_);
}

void TCsvFile::Line(const std::vector<std::string>& fields) {
    const std::size_t start = buffer_.size();
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i) buffer_ += ',';
        buffer_ += rtl::CsvField(fields[i]);
    }
    if (buffer_.size() == start) buffer_ += "\"\"";
    buffer_ += '\n';
    if (buffer_.size() >= FlushBytes) Flush();
}

void TCsvFile::Flush() {
    if (!rtl::WriteAll(fd_, buffer_.data(), buffer_.size())) FileFailure("write", temporary_);
    buffer_.clear();
}

void TCsvFile::Finish() {
    Flush();
    if (rtl::FileSystem().Sync(fd_) != 0) FileFailure("write", temporary_);
    const int fd = fd_;
    fd_ = -1;
    if (rtl::FileSystem().Close(fd) != 0) FileFailure("write", temporary_);
    if (rtl::FileSystem().Rename(temporary_, path_) != 0) FileFailure("put the export in place as", path_);
    temporary_.clear();
    if (rtl::FileSystem().SyncDirectory(rtl::ExtractFileDir(path_)) != 0) FileFailure("write the directory of", path_);
}

TCsvExport::TCsvExport(const std::string& directory) : directory_(rtl::WithTrailingSeparator(directory)) {
    if (!rtl::ForceDirectories(directory)) FileFailure("create the directory", directory);
    rtl::RemoveFilesOfEndedProcesses(directory, std::string("*") + TemporaryMarker + "*", TemporaryMarker);
    problems_ = std::make_unique<TCsvFile>(directory_ + ExportProblemTable + ".csv");
    problems_->Line({"table_name", "kind", "block", "record", "file_offset", "reason", "record_bytes"});
}

TCsvExport::~TCsvExport() = default;

void TCsvExport::BeginTable(const std::string& name, const std::vector<TFieldInfo>& fields, int) {
    table_ = std::make_unique<TCsvFile>(directory_ + name + ".csv");
    types_.clear();
    line_.clear();
    for (const auto& f : fields) {
        types_.push_back(f.TypeCode);
        line_.push_back(f.Name);
    }
    table_->Line(line_);
}

std::string TCsvExport::Row(const std::vector<TFieldValue>& values) {
    line_.resize(values.size());
    for (std::size_t i = 0; i < values.size(); ++i) line_[i] = FormatFieldValue(values[i], types_[i]);
    table_->Line(line_);
    return {};
}

void TCsvExport::Problem(const TExportProblem& p) {
    problems_->Line({p.Table, ExportProblemKindName(p.Kind), OptionalText(p.Block), OptionalText(p.Record), OptionalText(p.Offset), p.Reason,
                     HexBytes(p.Bytes)});
}

void TCsvExport::EndTable() {
    table_->Finish();
    table_.reset();
}

void TCsvExport::AbandonTable() { table_.reset(); }

void TCsvExport::Commit() { problems_->Finish(); }

} // namespace database
