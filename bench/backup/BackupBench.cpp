// Directory backup against `cp -p` of the same files, in the same run, on the same disk.
//
//   bench_backup [megabytes=512] [work directory=$TMPDIR or /tmp]
//
// Generates a database directory of table-like files (data, memo, primary and secondary
// index files), then alternates `cp -p` and BackupToDirectory into fresh directories and
// prints the median times and their ratio. The backup syncs every file it writes (so a
// failure is known before the old copy is replaced); `cp -p` does not, so the ratio
// against `cp -p` followed by `sync` of the copied files is printed as well.
#include "database/BackupManifest.h"
#include "database/OrvDatabaseModule.h"
#include "database/TableFileSet.h"
#include "platform/rtl/AppLocations.h"
#include "platform/rtl/FileListing.h"
#include "platform/rtl/FileSystem.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// Writes `bytes` of cheap, non-repeating content (nothing a file system could compress).
void WriteFile(const fs::path& path, std::uint64_t bytes, std::uint64_t seed) {
    std::vector<std::uint64_t> block(1 << 16);
    std::ofstream out(path, std::ios::binary);
    std::uint64_t x = seed * 0x9E3779B97F4A7C15ull + 1;
    while (bytes > 0) {
        for (auto& v : block) {
            x ^= x << 13;
            x ^= x >> 7;
            x ^= x << 17;
            v = x;
        }
        const std::uint64_t n = std::min<std::uint64_t>(bytes, block.size() * sizeof(block[0]));
        out.write(reinterpret_cast<const char*>(block.data()), static_cast<std::streamsize>(n));
        bytes -= n;
    }
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

std::uint64_t Generate(const fs::path& dir, std::uint64_t totalBytes) {
    fs::create_directories(dir);
    const int tables = 16;
    const std::uint64_t perTable = totalBytes / tables;
    std::uint64_t written = 0;
    for (int t = 0; t < tables; ++t) {
        const std::string base = (dir / ("TABULKA" + std::to_string(t))).string();
        const std::uint64_t data = perTable * 6 / 10, memo = perTable * 2 / 10, px = perTable / 10;
        const std::uint64_t secondary = perTable - data - memo - px;
        WriteFile(base + ".DB", data, 4 * t + 1);
        WriteFile(base + ".MB", memo, 4 * t + 2);
        WriteFile(base + ".PX", px, 4 * t + 3);
        WriteFile(base + ".X02", secondary / 2, 4 * t + 4);
        WriteFile(base + ".Y02", secondary - secondary / 2, 4 * t + 5);
        written += perTable;
    }
    // A few small tables as well, as a real database has.
    for (int t = 0; t < 40; ++t) {
        WriteFile(dir / ("MALA" + std::to_string(t) + ".DB"), 6144 + 2048 * t, 1000 + t);
        WriteFile(dir / ("MALA" + std::to_string(t) + ".PX"), 2048, 2000 + t);
        written += 6144 + 2048 * t + 2048;
    }
    return written;
}

// The same copy with syncing left out: shows what the copy loop itself costs.
class TWithoutSync : public rtl::TFileSystem {
public:
    void StartWriteback(int, std::uint64_t, std::uint64_t) override {}
    int Sync(int) override { return 0; }
    int SyncDirectory(const std::string&) override { return 0; }
};

double Seconds(const std::chrono::steady_clock::duration d) { return std::chrono::duration<double>(d).count(); }

void Run(const std::string& command);

// Every measurement starts with no dirty pages waiting, so none pays for another's writeback.
template <class F>
double Time(F&& f) {
    Run("sync");
    const auto start = std::chrono::steady_clock::now();
    f();
    return Seconds(std::chrono::steady_clock::now() - start);
}

void Run(const std::string& command) {
    if (std::system(command.c_str()) != 0) throw std::runtime_error("failed: " + command);
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// On a machine shared with other work the fastest run is the least disturbed one.
double Best(const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); }

} // namespace

int main(int argc, char** argv) try {
    const std::uint64_t megabytes = argc > 1 ? std::stoull(argv[1]) : 512;
    const char* tmp = std::getenv("TMPDIR");
    const fs::path work = fs::path(argc > 2 ? argv[2] : (tmp && *tmp ? tmp : "/tmp")) / "tablora-bench-backup";
    fs::remove_all(work);
    const fs::path source = work / "database";
    std::printf("generating %llu MB in %s ...\n", static_cast<unsigned long long>(megabytes), source.c_str());
    const std::uint64_t bytes = Generate(source, megabytes * 1024 * 1024);
    Run("sync");
    rtl::OverrideProgramDirectory(work.string());

    const int runs = 7;
    std::vector<double> cp, cpSync, backup, backupNoSync;
    for (int r = 0; r < runs; ++r) {
        const fs::path cpTarget = work / "cp", cpSyncTarget = work / "cpsync", backupTarget = work / "backup";
        auto copyWithCp = [&](const fs::path& target, bool sync) {
            fs::create_directories(target);
            std::string command = "cp -p '" + source.string() + "'/* '" + target.string() + "'/";
            if (sync) command += " && sync '" + target.string() + "'/* '" + target.string() + "'";
            Run(command);
        };
        auto backupWith = [&](rtl::TFileSystem& fileSystem, const fs::path& target) {
            const rtl::TScopedFileSystem installed(fileSystem);
            database::TOrvDatabaseModule module;
            module.OpenSourceByDirectory(source.string());
            module.BackupToDirectory(target.string(), true, database::CopyModeReplace);
        };
        auto copyWithBackup = [&] { backupWith(rtl::FileSystem(), backupTarget); };
        // Alternate the order so neither side always runs on a cache the other warmed.
        if (r % 2 == 0) {
            cp.push_back(Time([&] { copyWithCp(cpTarget, false); }));
            backup.push_back(Time(copyWithBackup));
        } else {
            backup.push_back(Time(copyWithBackup));
            cp.push_back(Time([&] { copyWithCp(cpTarget, false); }));
        }
        cpSync.push_back(Time([&] { copyWithCp(cpSyncTarget, true); }));
        TWithoutSync withoutSync;
        backupNoSync.push_back(Time([&] { backupWith(withoutSync, work / "nosync"); }));
        fs::remove_all(work / "nosync");
        // The backup holds every source file and, written last, its record of them.
        if (rtl::ListFiles(backupTarget.string(), "*").size() != rtl::ListFiles(source.string(), "*").size() + 1 ||
            !fs::exists(backupTarget / database::BackupManifestName))
            throw std::runtime_error("the backup is incomplete");
        fs::remove_all(cpTarget);
        fs::remove_all(cpSyncTarget);
        fs::remove_all(backupTarget);
        Run("sync");
    }
    fs::remove_all(work);

    const double mb = static_cast<double>(bytes) / (1024.0 * 1024.0);
    std::printf("files: %.0f MB, %d runs            median              best\n", mb, runs);
    auto line = [&](const char* name, const std::vector<double>& t) {
        std::printf("  %-20s %7.3f s %7.1f MB/s  %7.3f s %7.1f MB/s\n", name, Median(t), mb / Median(t), Best(t),
                    mb / Best(t));
    };
    line("cp -p", cp);
    line("cp -p + sync", cpSync);
    line("BackupToDirectory", backup);
    line("(the same, no sync)", backupNoSync);
    std::printf("ratio BackupToDirectory / cp -p        = %.2fx median, %.2fx best (goal <= 1.15x)\n",
                Median(backup) / Median(cp), Best(backup) / Best(cp));
    std::printf("ratio BackupToDirectory / cp -p + sync = %.2fx median, %.2fx best\n", Median(backup) / Median(cpSync),
                Best(backup) / Best(cpSync));
    std::printf("ratio (no sync) / cp -p                = %.2fx median, %.2fx best\n", Median(backupNoSync) / Median(cp),
                Best(backupNoSync) / Best(cp));
    return 0;
} catch (const std::exception& e) {
    std::fprintf(stderr, "bench_backup: %s\n", e.what());
    return 1;
}
