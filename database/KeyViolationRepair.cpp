// Key-violation repair of tables keyed by an autoincrement "IDXFIELD".
#include "database/OrvDatabaseModule.h"

#include "platform/rtl/Error.h"

namespace database {

void TOrvDatabaseModule::RepairKeyViolations(const std::string& tableList) {
    (void)tableList;
    throw rtl::EError("Key-violation repair is not available in this build.");
}

} // namespace database
