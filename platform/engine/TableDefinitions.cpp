// Placeholder until the table reader lands: every read of a table's definitions fails
// clearly instead of pretending the table is empty.
#include "platform/engine/TableImpl.h"

namespace engine {

namespace {
[[noreturn]] void NotBuilt(const std::string& what) {
    throw EDBEngineError(what + " is not available in this build.", EngineErrorKind::InvalidRequest);
}
} // namespace

void TTable::FieldDefsUpdate() { NotBuilt("Reading field definitions"); }
void TTable::IndexDefsUpdate() { NotBuilt("Reading index definitions"); }
int TTable::RecordCount() const { NotBuilt("Counting records"); }

} // namespace engine
