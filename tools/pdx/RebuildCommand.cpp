// pdx rebuild: the table rebuild of the damage check, for one table from the command line.
#include "platform/rtl/Error.h"
#include "platform/ui/UiServices.h"
#include "rebuild/ParadoxTableRebuild.h"
#include "tools/common/RebuildReportText.h"
#include "tools/pdx/CommandRegistry.h"

#include <CLI/CLI.hpp>

#include <memory>
#include <ostream>

namespace pdx {

namespace {

// Message boxes become lines on standard error; nothing waits.
class TConsoleMessages : public ui::IUiServices {
public:
    explicit TConsoleMessages(std::ostream& err) : err_(err) {}
    ui::TMsgAnswer ShowMessage(const ui::TMessageRequest& request) override {
        std::string text;
        for (std::size_t i = 0; i < request.text.size(); ++i) {
            if (request.text[i] == '\r') {
                if (i + 1 < request.text.size() && request.text[i + 1] == '\n') ++i;
                text += ' ';
            } else {
                text += request.text[i];
            }
        }
        err_ << "pdx: " << request.caption << ": " << text << "\n";
        return request.defaultButton;
    }
    void ProcessMessages() override {}
    void SetBusyCursor(bool) override {}
    void Pause(int) override {}

private:
    std::ostream& err_;
};

int Rebuild(TCommandContext& ctx, const std::string& table, const std::string& structureFrom, bool json) {
    TConsoleMessages console(ctx.Err);
    ui::TScopedUiServices scope(console);
    tutil::TRebuildReport report;
    bool notRebuilt = true;
    try {
        if (structureFrom.empty()) {
            notRebuilt = rebuild::RebuildParadoxTable(table, &report);
        } else {
            const rebuild::TStructureSource structure = rebuild::StructureFromFile(structureFrom, structureFrom);
            notRebuilt = rebuild::RebuildParadoxTable(table, &report, &structure);
        }
    } catch (const rtl::EError& e) {
        ctx.Err << "pdx: " << e.Message() << "\n";
        report.TablePath = table;
        report.Failure = e.Message();
    }
    if (json) {
        tools::PrintJson(ctx.Out, tools::RebuildReportJson(report));
    } else {
        tools::PrintRebuildReport(ctx.Out, report);
    }
    // Rows the header counted and the rebuild found nowhere make it no plain success.
    return notRebuilt || report.RowsNotFound > 0 ? ExitProblems : ExitOk;
}

} // namespace

void RegisterRebuildCommand(TCommandRegistry& registry) {
    registry.Add({"rebuild", "rebuild a damaged table in place, keeping a backup",
                  "Usage: pdx rebuild [--json] [--structure-from COPY.DB] TABLE\n\n"
                  "Rebuilds the table as the damage check does: every readable row is kept (rows of\n"
                  "blocks the block chain lost included), in key order for keyed tables; rows whose key\n"
                  "repeats go to KEYVIOL.DB, unreadable rows (with their raw bytes) to PROBLEM.DB. The\n"
                  "table's files are kept first, whole, as BACKUP.* (the replaced ones by a second name\n"
                  "where the file system allows, the others copied). All of them go into\n"
                  "a new directory \"Rekonstrukcia/<TABLE> <date time>\" below the table's directory;\n"
                  "the output says where, and what each holds. A password-protected table is refused.\n"
                  "When rows the header counts were found nowhere, the table is rebuilt with the rows\n"
                  "found and the output says \"rebuilt, but N rows counted by the header were not found\".\n"
                  "Exit status: 0 rebuilt, 1 not rebuilt (the reason is printed) or rebuilt with rows\n"
                  "not found, 2 usage.\n\n"
                  "--structure-from COPY.DB reads the table's rows under the header of COPY.DB, a copy of\n"
                  "the same table (from a backup), instead of its own: for a table whose header describes\n"
                  "no record. The fields, key, sort order, code page, block size and version are taken\n"
                  "from the copy, every row from the table. Before anything is written the table's blocks\n"
                  "must fit that structure (block size, every block's last-record offset, the chain), and\n"
                  "whatever the table's own header still holds undamaged (record size, keyed or not, key\n"
                  "fields, block size, code page, field count, field names, the stored table name) must be\n"
                  "what the copy holds; when not, nothing is changed and the output says why. A table\n"
                  "whose own header the rebuild accepts keeps it: the copy's is refused.\n",
                  [](CLI::App& app) -> TCommandRun {
                      auto table = std::make_shared<std::string>();
                      auto json = std::make_shared<bool>(false);
                      auto structureFrom = std::make_shared<std::string>();
                      app.add_flag("--json", *json, "print the report as JSON");
                      app.add_option("--structure-from", *structureFrom,
                                     "read the rows under the header of this copy of the table");
                      app.add_option("TABLE", *table, "the table's data file")->required();
                      return [table, structureFrom, json](TCommandContext& ctx) {
                          return Rebuild(ctx, *table, *structureFrom, *json);
                      };
                  }});
}

} // namespace pdx
