// pdx alias / copy: the commands that change the engine's configuration or write tables.
#include "platform/engine/AliasConfig.h"
#include "platform/engine/EngineErrors.h"
#include "platform/engine/TableCopy.h"
#include "platform/rtl/Paths.h"
#include "platform/rtl/Process.h"
#include "tools/pdx/CommandRegistry.h"

#include <CLI/CLI.hpp>

#include <memory>
#include <ostream>

namespace pdx {

namespace {

int Alias(TCommandContext& ctx, const std::vector<std::string>& a) {
    const std::string usage = "Usage: pdx alias list | set NAME DIR | remove NAME\n";
    if (a.empty()) {
        ctx.Err << usage;
        return ExitUnreadable;
    }
    try {
        engine::TAliasConfig config = engine::TAliasConfig::Load();
        if (a[0] == "list" && a.size() == 1) {
            for (const std::string& name : config.AliasNames())
                ctx.Out << name << "\t" << config.Params(name).Value("PATH") << "\n";
            return ExitOk;
        }
        if (a[0] == "set" && a.size() == 3) {
            const std::string dir = rtl::AbsolutePath(a[2]);
            if (const std::string why = rtl::WhyNotADirectory(dir); !why.empty()) {
                ctx.Err << "pdx: the directory \"" << a[2] << "\" " << why << "\n";
                return ExitUnreadable;
            }
            rtl::TStringList params;
            if (config.HasAlias(a[1])) params = config.Params(a[1]);
            params.SetValue("PATH", dir);
            config.SetAlias(a[1], params);
            config.Save();
            return ExitOk;
        }
        if (a[0] == "remove" && a.size() == 2) {
            if (!config.RemoveAlias(a[1])) {
                ctx.Err << "pdx: there is no alias \"" << a[1] << "\"\n";
                return ExitUnreadable;
            }
            config.Save();
            return ExitOk;
        }
    } catch (const rtl::EError& e) {
        ctx.Err << "pdx: " << e.Message() << "\n";
        return ExitUnreadable;
    }
    ctx.Err << usage;
    return ExitUnreadable;
}

int Copy(TCommandContext& ctx, const std::string& source, const std::string& dest) {
    try {
        engine::CopyTable(source, dest);
    } catch (const rtl::EError& e) {
        ctx.Err << "pdx: " << e.Message() << "\n";
        return ExitUnreadable;
    }
    return ExitOk;
}

} // namespace

void RegisterWriteCommands(TCommandRegistry& registry) {
    registry.Add({"alias", "list, set or remove the engine's database aliases",
                  "Usage: pdx alias list | set NAME DIR | remove NAME\n\n"
                  "list    prints every alias and its directory, one per line (NAME<TAB>PATH)\n"
                  "set     points NAME at DIR (made absolute; it must exist), creating the alias\n"
                  "remove  deletes the alias NAME\n"
                  "The aliases live in the engine's configuration file ($" +
                      std::string(engine::EngineConfigEnvVar) +
                      ", else ~/.config/tablora/engine.cfg).\n"
                      "Exit status: 0 done, 2 bad arguments or the file cannot be read or written.\n",
                  [](CLI::App& app) -> TCommandRun {
                      auto args = std::make_shared<std::vector<std::string>>();
                      app.add_option("ACTION", *args, "list | set NAME DIR | remove NAME");
                      return [args](TCommandContext& ctx) { return Alias(ctx, *args); };
                  }});
    registry.Add({"copy", "copy a table into a new table, every row and value unchanged",
                  "Usage: pdx copy SOURCE DEST\n\n"
                  "Creates DEST with SOURCE's fields, primary key, block size and code page and copies\n"
                  "every row in SOURCE's order, autoincrement values, memo and blob data included;\n"
                  "DEST's autoincrement counter continues from SOURCE's. DEST must not exist.\n"
                  "Exit status: 0 copied, 2 failed (nothing of DEST is left behind).\n",
                  [](CLI::App& app) -> TCommandRun {
                      auto source = std::make_shared<std::string>(), dest = std::make_shared<std::string>();
                      app.add_option("SOURCE", *source, "the table to copy")->required();
                      app.add_option("DEST", *dest, "the table to create")->required();
                      return [source, dest](TCommandContext& ctx) { return Copy(ctx, *source, *dest); };
                  }});
}

} // namespace pdx
