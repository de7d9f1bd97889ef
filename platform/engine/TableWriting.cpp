// Placeholder until the table writer lands: every row operation fails clearly instead of
// pretending to succeed.
#include "platform/engine/TableImpl.h"

namespace engine {

namespace {
[[noreturn]] void NotBuilt(const std::string& what) {
    throw EDBEngineError(what + " is not available in this build.", EngineErrorKind::InvalidRequest);
}
} // namespace

void TTable::CreateTable() { NotBuilt("Creating tables"); }
void TTable::AddIndex(const std::string&, const std::string&, unsigned) { NotBuilt("Adding indexes"); }
void TTable::Open() { NotBuilt("Opening tables for row access"); }
void TTable::Close() { impl_->active = false; }
void TTable::Append() { NotBuilt("Appending rows"); }
void TTable::Post() { NotBuilt("Posting rows"); }
void TTable::Delete() { NotBuilt("Deleting rows"); }
void TTable::Cancel() {}
void TBatchMove::Execute() { NotBuilt("Batch moves"); }

} // namespace engine
