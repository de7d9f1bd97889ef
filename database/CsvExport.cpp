#include "database/CsvExport.h"

#include "platform/engine/ParadoxTables.h"
#include "platform/rtl/Error.h"
#include "platform/rtl/FileIo.h"
#include "platform/rtl/FileSystem.h"
#include "platform/rtl/Messages.h"
#include "platform/rtl/Paths.h"
#include "platform/rtl/StringList.h"

#include <algorithm>
#include <cerrno>

namespace database {

using namespace engine::paradox;

namespace {

const char* const TemporaryMarker = ".export-";
constexpr std::size_t FlushBytes = 1 << 20;

[[noreturn]] void FileFailure(rtl::TMsg what, const std::string& path) {
    throw rtl::EFileError(rtl::Format(what, {path, rtl::SystemReason(errno)}));
}

template <typename T>
std::string OptionalText(const std::optional<T>& v) {
    return v ? std::to_string(*v) : std::string();
}

// The UTF-8 byte-order mark: without it a spreadsheet reads the file in the system's ANSI
// code page and garbles every accented letter.
constexpr std::string_view ByteOrderMark = "\xEF\xBB\xBF";

char Separator(TCsvDialect dialect) { return dialect == TCsvDialect::Excel ? ';' : ','; }
const char* LineEnd(TCsvDialect dialect) { return dialect == TCsvDialect::Excel ? "\r\n" : "\n"; }

// Types written with a decimal point (numbers, money, BCD), which the Excel dialect writes
// as a decimal comma.
bool HasDecimalMark(std::uint8_t type) { return type == ftNumber || type == ftCurrency || type == ftBcd; }

} // namespace

TCsvFile::TCsvFile(const std::string& path, TCsvDialect dialect) : dialect_(dialect), path_(path) {
    fd_ = rtl::CreateUniqueFile(path + TemporaryMarker + rtl::ProcessTag(), "", 0644, temporary_);
    if (fd_ < 0) FileFailure(rtl::TMsg::DbExportCannotCreateTemporary, path);
    if (dialect_ == TCsvDialect::Excel) buffer_ = ByteOrderMark;
}

TCsvFile::~TCsvFile() {
    if (fd_ >= 0) rtl::FileSystem().Close(fd_);
    if (!temporary_.empty()) rtl::FileSystem().Unlink(temporary_);
}

void TCsvFile::Line(const std::vector<std::string>& fields) {
    const std::size_t start = buffer_.size();
    const char separator = Separator(dialect_);
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i) buffer_ += separator;
        buffer_ += rtl::CsvField(fields[i], separator);
    }
    if (buffer_.size() == start) buffer_ += "\"\"";
    buffer_ += LineEnd(dialect_);
    if (buffer_.size() >= FlushBytes) Flush();
}

void TCsvFile::Flush() {
    if (!rtl::WriteAll(fd_, buffer_.data(), buffer_.size())) FileFailure(rtl::TMsg::FileCannotWrite, temporary_);
    buffer_.clear();
}

void TCsvFile::Finish() {
    Flush();
    if (rtl::FileSystem().Sync(fd_) != 0) FileFailure(rtl::TMsg::FileCannotWrite, temporary_);
    const int fd = fd_;
    fd_ = -1;
    if (rtl::FileSystem().Close(fd) != 0) FileFailure(rtl::TMsg::FileCannotWrite, temporary_);
    if (rtl::FileSystem().Rename(temporary_, path_) != 0) FileFailure(rtl::TMsg::DbExportCannotPutInPlace, path_);
    temporary_.clear();
    if (rtl::FileSystem().SyncDirectory(rtl::ExtractFileDir(path_)) != 0) FileFailure(rtl::TMsg::DbExportCannotFlushDirectory, path_);
}

TCsvExport::TCsvExport(const std::string& directory, TCsvDialect dialect)
    : directory_(rtl::WithTrailingSeparator(directory)), dialect_(dialect) {
    if (!rtl::ForceDirectories(directory)) FileFailure(rtl::TMsg::DbExportCannotCreateDirectory, directory);
    rtl::RemoveFilesOfEndedProcesses(directory, std::string("*") + TemporaryMarker + "*", TemporaryMarker);
    problems_ = std::make_unique<TCsvFile>(directory_ + ExportProblemTable + ".csv", dialect_);
    problems_->Line({"table_name", "kind", "block", "record", "file_offset", "reason", "record_bytes"});
}

TCsvExport::~TCsvExport() = default;

void TCsvExport::BeginTable(const std::string& name, const std::vector<TFieldInfo>& fields, int) {
    table_ = std::make_unique<TCsvFile>(directory_ + name + ".csv", dialect_);
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
    for (std::size_t i = 0; i < values.size(); ++i) {
        line_[i] = FormatFieldValue(values[i], types_[i]);
        if (dialect_ == TCsvDialect::Excel && !values[i].Raw && HasDecimalMark(types_[i]))
            std::replace(line_[i].begin(), line_[i].end(), '.', ',');
    }
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
