// The damage check: every listed table rebuilt in turn, stopping at the first failure.
#include "database/OrvDatabaseModule.h"

#include "platform/rtl/Error.h"
#include "platform/rtl/Paths.h"
#include "platform/ui/UiServices.h"
#include "rebuild/ParadoxTableRebuild.h"

#include <exception>

namespace database {

namespace {

constexpr const char* RunCaption = "Oprava tabuliek";

} // namespace

void TOrvDatabaseModule::CheckAndRebuildTables(const std::string& tableList) {
    RebuildReports.clear();
    std::string error;
    {
        rtl::TStringList work;
        try {
            // One operation per database directory: no backup, restore or other repair of
            // ours runs on it while its tables are rebuilt.
            const rtl::TAdvisoryLock lock = LockDatabaseDirectory();
            const std::string dir = rtl::WithTrailingSeparator(DatabaseDirectory());
            work.SetCommaText(tableList);
            SetProgress(0, static_cast<int>(work.Count()), 0, "");
            for (std::size_t i = 0; i < work.Count(); ++i) {
                SetProgressPosition(static_cast<int>(i + 1));
                if (RebuildOneTable(dir + work[i] + ".db")) {
                    ui::ShowError(RunCaption, "Oprava (rekonštrukcia) tabuliek bude prerušená !");
                    break;
                }
            }
        } catch (const std::exception& e) {
            error = e.what();
        }
    }
    SetProgress(0, 100, 0, "");
    if (!error.empty()) ui::ShowError(RunCaption, error);
}

bool TOrvDatabaseModule::RebuildOneTable(const std::string& tablePath) {
    const std::string fileName = rtl::ExtractFileName(tablePath);
    ShowStatus("Prebieha oprava (rekonštrukcia) tabuľky: \"" + fileName + "\"");
    ui::Ui().Pause(500);
    RebuildReports.emplace_back();
    try {
        return rebuild::RebuildParadoxTable(tablePath, &RebuildReports.back());
    } catch (const std::exception& e) {
        RebuildReports.back().TablePath = tablePath;
        RebuildReports.back().Failure = e.what();
        throw rtl::EError("Tabuľku \"" + fileName + "\" nie je možné opraviť (rekonštruovať) !\r\nChyba: \"" +
                          e.what() + "\"\r\n\r\nOprava (rekonštrukcia) tabuliek bude prerušená !");
    }
}

} // namespace database
