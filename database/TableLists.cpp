// The two table lists the main window offers: every table of the source database, and the
// tables fit for key-violation repair (first field an autoincrement "IDXFIELD").
#include "database/OrvDatabaseModule.h"

#include "platform/engine/EngineErrors.h"
#include "platform/rtl/Messages.h"
#include "platform/rtl/StringList.h"
#include "platform/ui/UiServices.h"

namespace database {

namespace {

// Names are joined by bare commas; a name holding a blank, comma or quote is quoted, so
// splitting the text again gives the name back whole.
void AppendName(std::string& list, const std::string& name) {
    if (!list.empty()) list += ',';
    list += rtl::QuoteCommaItem(name);
}

bool IsKeyedByAutoIncrement(const engine::TFieldDefs& fields) {
    return fields.Count() > 0 && fields[0].Name == "IDXFIELD" && fields[0].DataType == engine::TFieldType::AutoInc;
}

} // namespace

void TOrvDatabaseModule::LoadTableLists(std::string& allTables, std::string& keyViolationTables) {
    allTables.clear();
    keyViolationTables.clear();
    SetProgress(0, 100, 0, rtl::Text(rtl::TMsg::DbReadingTables));
    ui::Ui().Pause(1000);
    {
        rtl::TStringList names;
        ListTableNames(names, false);
        SetProgress(0, static_cast<int>(names.Count()), 0, rtl::Text(rtl::TMsg::DbReadingTables));
        for (std::size_t i = 0; i < names.Count(); ++i) {
            const std::string& name = names[i];
            ShowStatus(name);
            SetProgressPosition(static_cast<int>(i + 1));
            AppendName(allTables, name);
            try {
                TemporaryTable.TableName = name;
                TemporaryTable.Close();
                TemporaryTable.FieldDefsUpdate();
                if (IsKeyedByAutoIncrement(TemporaryTable.FieldDefs)) {
                    ui::Ui().Pause(300);
                    AppendName(keyViolationTables, name);
                }
            } catch (const engine::EDBEngineError& e) {
                ui::ShowError(rtl::Text(rtl::TMsg::DbTableListCaption), rtl::Format(rtl::TMsg::DbTableReadError, {name, e.Message()}));
            }
        }
        TemporaryTable.TableName.clear();
    }
    SetProgress(0, 100, 0, "");
}

} // namespace database
