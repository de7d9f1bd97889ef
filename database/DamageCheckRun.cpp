// The damage check: every listed table rebuilt in turn, stopping at the first failure.
#include "database/OrvDatabaseModule.h"

#include "platform/rtl/Error.h"

namespace database {

void TOrvDatabaseModule::CheckAndRebuildTables(const std::string& tableList) {
    (void)tableList;
    throw rtl::EError("The damage check and table rebuild are not available in this build.");
}

} // namespace database
