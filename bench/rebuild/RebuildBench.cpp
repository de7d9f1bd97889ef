// Times the rebuild of a keyed call table with memo data against `cp` of its family in the
// same run, and prints the ratio and the rebuild's peak memory, at a tenth of the rows and at
// all of them (peak memory must stay flat): once for an intact table, once for one whose
// chain is broken half way and has two blocks linked out of key order.
// Each rebuild runs in a process of its own (this program started again with "--rebuild"),
// so its peak RSS is the rebuild's alone.
// Usage: bench_rebuild [rows (default 1000000)] [work directory]
#include "platform/engine/FieldValueCodec.h"
#include "platform/engine/ParadoxTables.h"
#include "platform/engine/ParadoxWriters.h"
#include "rebuild/ParadoxTableRebuild.h"

#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

extern char** environ;

namespace fs = std::filesystem;
using namespace engine::paradox;

namespace {

// Call rows: autoincrement key, number, town, date, duration, and a note on every fourth
// row (a few in the leader, most in the memo file).
class TCalls : public TRecordProducer {
public:
    TCalls(const std::string& path, std::uint64_t count)
        : path_(path), header_(TParadoxTable::Open(path)->Header()), count_(count), record_(header_.RecordSize) {}
    const std::uint8_t* Next() override {
        if (i_ == count_) {
            if (memo_) memo_->Finish();
            memo_.reset();
            return nullptr;
        }
        std::fill(record_.begin(), record_.end(), 0);
        const engine::TValue values[] = {static_cast<std::int64_t>(i_ + 1),
                                         "0905" + std::to_string(100000 + i_ % 900000),
                                         "Bratislava " + std::to_string(i_ % 97),
                                         static_cast<std::int64_t>(738000 + i_ % 1000),
                                         static_cast<double>(i_ % 3600) * 1.5,
                                         i_ % 4 ? std::string() : "Hovor " + std::to_string(i_) + std::string(i_ % 160, '.')};
        for (std::size_t f = 0; f < header_.Fields.size(); ++f) {
            std::string blob;
            engine::EncodeValue(header_.Fields[f], values[f], 1250, record_.data(), blob);
            if (!blob.empty()) {
                if (!memo_) memo_ = TMemoWriter::OpenForAppend(CompanionPath(path_, ".mb"));
                memo_->Store(blob, record_.data() + header_.Fields[f].Offset, header_.Fields[f].Size);
            }
        }
        ++i_;
        return record_.data();
    }
    std::uint32_t AutoIncrement() const override { return static_cast<std::uint32_t>(i_); }

private:
    std::string path_;
    TTableHeader header_;
    std::uint64_t count_;
    std::vector<std::uint8_t> record_;
    std::uint64_t i_ = 0;
    std::unique_ptr<TMemoWriter> memo_;
};

void MakeTable(const std::string& path, std::uint64_t rows) {
    TTableLayout layout;
    layout.Fields = {{"IDXFIELD", ftAutoInc, 4}, {"Cislo", ftAlpha, 20}, {"Mesto", ftAlpha, 24},
                     {"Datum", ftDate, 4},       {"Trvanie", ftNumber, 8}, {"Poznamka", ftMemo, 20}};
    layout.KeyFieldCount = 1;
    layout.CodePage = 1250;
    // 80-byte rows fit about 3.2 million into 4 KiB blocks; growth runs need more.
    layout.BlockSize = rows > 2000000 ? 16384 : 4096;
    CreateTableFiles(path, layout);
    TCalls producer(path, rows);
    AppendRecords(path, producer, true, fs::path(path).parent_path().string());
}

void Patch16(const std::string& path, std::uint64_t at, unsigned value) {
    std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(static_cast<std::streamoff>(at));
    const char bytes[2] = {static_cast<char>(value & 0xFF), static_cast<char>(value >> 8)};
    f.write(bytes, 2);
}

// The chain ends half way (the rest is found outside it), and blocks 10 and 11 swap places.
void Damage(const std::string& path) {
    const TTableHeader h = TParadoxTable::Open(path)->Header();
    Patch16(path, h.BlockOffset(9), 11);
    Patch16(path, h.BlockOffset(11), 10);
    Patch16(path, h.BlockOffset(11) + 2, 9);
    Patch16(path, h.BlockOffset(10), 12);
    Patch16(path, h.BlockOffset(10) + 2, 11);
    Patch16(path, h.BlockOffset(12) + 2, 10);
    Patch16(path, h.BlockOffset(h.BlocksInUse / 2), 0);
}

double Seconds(const std::function<void()>& work) {
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// `cp` of the table's family into `to`, synced as our writes are; the better of two.
double CopyFamily(const std::string& dir, const std::string& base, const std::string& to) {
    double best = 1e9;
    for (int i = 0; i < 2; ++i) {
        fs::remove_all(to);
        fs::create_directories(to);
        const std::string command = "cp " + dir + "/" + base + ".* " + to + "/ && sync -f " + to;
        best = std::min(best, Seconds([&] {
                            if (std::system(command.c_str()) != 0) std::exit(2);
                        }));
    }
    fs::remove_all(to);
    return best;
}

// The rebuild as the damage check runs it; 0 when the table was rebuilt.
int RebuildOnly(const std::string& path) {
    tutil::TRebuildReport report;
    if (rebuild::RebuildParadoxTable(path, &report)) {
        std::fprintf(stderr, "not rebuilt: %s\n", report.Failure.c_str());
        return 1;
    }
    std::printf("%llu rows kept, %llu outside the chain\n", static_cast<unsigned long long>(report.RowsKept),
                static_cast<unsigned long long>(report.RowsOutsideChain));
    return 0;
}

// Runs this program again with `args`; returns seconds and sets the process's peak RSS (KiB).
// A process started from a large one inherits its peak, so every large piece of work (making
// a table, rebuilding it) runs in a process of its own.
double RunChild(const std::string& self, std::vector<std::string> args, long& peakKiB) {
    args.insert(args.begin(), self);
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    int status = 0;
    rusage usage{};
    const double seconds = Seconds([&] {
        if (posix_spawn(&pid, self.c_str(), nullptr, nullptr, argv.data(), environ) != 0) std::exit(2);
        wait4(pid, &status, 0, &usage);
    });
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "%s %s failed\n", args[1].c_str(), args[2].c_str());
        std::exit(2);
    }
    peakKiB = usage.ru_maxrss;
    return seconds;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--rebuild") return RebuildOnly(argv[2]);
    if (argc == 4 && std::string(argv[1]) == "--make") {
        MakeTable(argv[2], std::strtoull(argv[3], nullptr, 10));
        return 0;
    }
    const std::uint64_t rows = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1000000;
    const std::string dir = argc > 2 ? argv[2] : (fs::temp_directory_path() / "tablora-bench-rebuild").string();
    const std::string self = fs::canonical("/proc/self/exe").string();
    fs::remove_all(dir);
    fs::create_directories(dir);
    std::printf("rows: %llu, directory: %s\n", static_cast<unsigned long long>(rows), dir.c_str());
    for (const std::uint64_t n : {rows / 10, rows}) {
        for (const bool damaged : {false, true}) {
            const std::string tableDir = dir + "/t" + std::to_string(n) + (damaged ? "d" : "i");
            fs::create_directories(tableDir);
            const std::string path = tableDir + "/Hovory.db";
            long peak = 0;
            RunChild(self, {"--make", path, std::to_string(n)}, peak);
            if (damaged) Damage(path);
            const double cp = CopyFamily(tableDir, "Hovory", dir + "/cp");
            const double rebuild = RunChild(self, {"--rebuild", path}, peak);
            std::printf("rebuild (%llu rows, %s): %.2f s, cp: %.2f s, ratio %.2f (goal <= 3), peak RSS %ld MiB\n",
                        static_cast<unsigned long long>(n), damaged ? "damaged" : "intact", rebuild, cp, rebuild / cp,
                        peak / 1024);
            std::fflush(stdout);
            fs::remove_all(tableDir);
        }
    }
    fs::remove_all(dir);
    return 0;
}
