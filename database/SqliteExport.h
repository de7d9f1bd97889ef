// An export into one SQLite database: a table per Paradox table with typed columns, the
// table's key as its primary key, one transaction per table, and the table
// "tablora_problems" listing what could not be carried over. The database is written under a
// temporary name beside its path and renamed into place by Commit, so a failed export leaves
// nothing under that name (and an older file there stays as it was).
#pragma once

#include "database/TableExport.h"

#include <memory>
#include <string>

namespace sqlite {
class TDatabase;
class TInsertThread;
class TStatement;
} // namespace sqlite

namespace database {

class TSqliteExport : public IExportSink {
public:
    // Raises rtl::EError when the temporary file cannot be made or SQLite cannot open it.
    explicit TSqliteExport(const std::string& path);
    ~TSqliteExport() override;  // an export never committed leaves no file

    void BeginTable(const std::string& name, const std::vector<engine::paradox::TFieldInfo>& fields,
                    int keyFields) override;
    std::string Row(const std::vector<engine::paradox::TFieldValue>& values) override;
    void Problem(const TExportProblem& problem) override;
    std::string FinishRows() override;
    void EndTable() override;
    void AbandonTable() override;
    bool Reserves(const std::string& name) const override;

    // Closes the database, makes it durable and renames it to its path.
    void Commit();

private:
    void Discard() noexcept;

    std::string path_, temporary_;
    std::unique_ptr<sqlite::TDatabase> db_;
    std::unique_ptr<sqlite::TStatement> insert_, problem_;
    // Rows and problems are inserted on a thread of their own while the next rows are read.
    std::unique_ptr<sqlite::TInsertThread> inserts_;
    std::vector<std::uint8_t> types_;
    bool rowidKey_ = false;  // a lone INTEGER key: SQLite would number a blank one itself
};

} // namespace database
