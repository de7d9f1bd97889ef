// Times the key-violation repair against `cp` in the same run and prints ratios and peak
// memory (each measured in a child process of its own):
//   recreating the call table of a demo database (1 M rows, memo data) whose counter lags,
//   the whole repair over a demo database with every fit table ticked, at a tenth of the
//   calls and at all of them: healthy tables cost a probe, not a rewrite, so the two times
//   must stay close.
// Usage: bench_repair [rows (default 1000000)] [work directory]
#include "database/OrvDatabaseModule.h"
#include "platform/engine/ParadoxTables.h"
#include "platform/engine/ParadoxWriters.h"
#include "platform/rtl/StringList.h"
#include "tools/tablora-sample/SampleDatabase.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>

namespace fs = std::filesystem;

namespace {

struct TMeasure {
    double Seconds = 0;
    long PeakMiB = 0;
};

// Runs `work` in a child process: its wall time and its own peak resident memory.
TMeasure InChild(const std::function<void()>& work) {
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        try {
            work();
        } catch (const std::exception& e) {
            std::fprintf(stderr, "failed: %s\n", e.what());
            ::_exit(2);
        }
        ::_exit(0);
    }
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) std::exit(2);
    return {std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), usage.ru_maxrss / 1024};
}

void Shell(const std::string& command) {
    if (std::system(command.c_str()) != 0) {
        std::fprintf(stderr, "failed: %s\n", command.c_str());
        std::exit(2);
    }
}

std::string MakeDemo(const std::string& dir, std::uint64_t rows, bool damage) {
    fs::remove_all(dir);
    sample::TSampleOptions o;
    o.Directory = dir;
    o.CallRows = rows;
    o.Damage = damage;
    o.Alias.clear();
    o.ConfigPath = dir + ".cfg";
    sample::MakeSampleDatabase(o);
    return dir;
}

void RepairAllFit(const std::string& dir) {
    database::TOrvDatabaseModule module;
    module.OpenSourceByDirectory(dir);
    std::string all, fit;
    module.LoadTableLists(all, fit);
    module.RepairKeyViolations(fit);
}

} // namespace

int main(int argc, char** argv) {
    const std::uint64_t rows = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1000000;
    const std::string work = argc > 2 ? argv[2] : (fs::temp_directory_path() / "tablora-bench-repair").string();
    fs::remove_all(work);
    fs::create_directories(work);
    std::printf("rows: %llu, directory: %s\n", static_cast<unsigned long long>(rows), work.c_str());

    // Recreate the call table of a demo database whose counter lags behind its keys.
    const std::string db = MakeDemo(work + "/db", rows, false);
    const std::string calls = db + "/Hovory.DB";
    engine::paradox::StoreAutoIncrement(calls, static_cast<std::uint32_t>(rows), 1);
    auto cp = [&] {
        fs::remove_all(work + "/cp");
        fs::create_directories(work + "/cp");
        const auto t = InChild([&] { Shell("cp " + db + "/Hovory.* " + work + "/cp/ && sync -f " + work + "/cp"); });
        return t.Seconds;
    };
    const double cpSeconds = std::min(cp(), cp());
    const TMeasure recreate = InChild([&] {
        database::TOrvDatabaseModule module;
        module.OpenSourceByDirectory(db);
        module.TemporaryTable.TableName = "Hovory";
        module.RecreateTable(module.TemporaryTable);
        if (engine::paradox::TParadoxTable::Open(calls)->CountReadableRecords() != rows) throw std::runtime_error("rows lost");
    });
    std::printf("recreate: %.2f s, cp: %.2f s, ratio %.2f (goal <= 3), peak RSS %ld MiB\n", recreate.Seconds,
                cpSeconds, recreate.Seconds / cpSeconds, recreate.PeakMiB);

    // The whole repair over a damaged demo database, with a tenth of the calls and all of them.
    for (const std::uint64_t n : {rows / 10, rows}) {
        const std::string demo = MakeDemo(work + "/demo", n, true);
        const TMeasure all = InChild([&] { RepairAllFit(demo); });
        std::printf("repair of every fit table (%llu calls): %.2f s, peak RSS %ld MiB\n",
                    static_cast<unsigned long long>(n), all.Seconds, all.PeakMiB);
    }
    fs::remove_all(work);
    return 0;
}
