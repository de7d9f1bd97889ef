// Whether there is anything to work on: a run over a directory without tables says so.
#include "database/OrvDatabaseModule.h"

#include "database/TableFileSet.h"
#include "platform/rtl/Messages.h"
#include "platform/rtl/Paths.h"
#include "platform/ui/UiServices.h"

namespace database {

bool TOrvDatabaseModule::TablesFound(const std::string& caption) {
    const std::string directory = DatabaseDirectory();
    if (!FindTableFiles(directory, ".db").Empty()) return true;
    ui::ShowError(caption, rtl::Format(rtl::TMsg::DbNoTableFound, {directory}));
    return false;
}

} // namespace database
