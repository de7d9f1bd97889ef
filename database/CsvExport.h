// An export into a directory of CSV files: "<table>.csv" per table and
// "tablora_problems.csv", UTF-8, a header row of field names, RFC 4180 quoting. The plain
// dialect separates fields with "," and ends lines in LF, values written as `pdx dump` writes
// them (so the two compare byte for byte). The Excel dialect is what a spreadsheet set to a
// Slovak (or other decimal-comma) locale opens as it is: a byte-order mark that says UTF-8,
// ";" between fields, "," as the decimal mark of numbers, money and BCD, CRLF line ends.
// Each file is written under a temporary name beside its own and renamed into place when
// whole, so a failed export leaves no half file under a table's name.
#pragma once

#include "database/TableExport.h"

#include <string>

namespace database {

enum class TCsvDialect { Plain, Excel };

// One CSV file being written: buffered, synced and renamed into place by Finish.
class TCsvFile {
public:
    // Raises rtl::EFileError when the temporary file cannot be made.
    TCsvFile(const std::string& path, TCsvDialect dialect);
    ~TCsvFile();  // unfinished: the temporary file goes
    TCsvFile(const TCsvFile&) = delete;
    TCsvFile& operator=(const TCsvFile&) = delete;

    // Fields of one line (a lone empty field is written as "" so the line is not empty).
    void Line(const std::vector<std::string>& fields);
    void Finish();

private:
    void Flush();
    TCsvDialect dialect_;
    std::string path_, temporary_, buffer_;
    int fd_ = -1;
};

class TCsvExport : public IExportSink {
public:
    // Creates `directory` when it is missing; raises rtl::EFileError when it cannot.
    explicit TCsvExport(const std::string& directory, TCsvDialect dialect = TCsvDialect::Plain);
    ~TCsvExport() override;

    void BeginTable(const std::string& name, const std::vector<engine::paradox::TFieldInfo>& fields,
                    int keyFields) override;
    std::string Row(const std::vector<engine::paradox::TFieldValue>& values) override;  // never refuses
    void Problem(const TExportProblem& problem) override;
    void EndTable() override;
    void AbandonTable() override;
    // Puts the problem file in place.
    void Commit();

private:
    std::string directory_;
    TCsvDialect dialect_;
    std::unique_ptr<TCsvFile> table_, problems_;
    std::vector<std::uint8_t> types_;
    std::vector<std::string> line_;
};

} // namespace database
