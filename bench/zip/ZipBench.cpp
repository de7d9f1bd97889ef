// Packs and unpacks a generated directory of table-like files (300 MB by default) with our
// zip call sets and with Info-ZIP ("zip -3 -j", "unzip -o -j") in the same run, and prints
// the time and size ratios. Usage: bench_zip [megabytes] [work directory]
#include "platform/zip/AddUnzip.h"
#include "platform/zip/AddZip.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// Fixed-size records of names, numbers and dates with zero padding, like billing tables.
void WriteTableLikeFile(const std::string& path, std::size_t bytes, std::uint64_t seed) {
    static const char* words[] = {"Bratislava", "Kosice", "Zilina", "Nitra", "Presov", "Trnava", "Martin",
                                  "mobil", "pevna", "medzinarodny", "miestny", "linka", "Hovory", "Brany"};
    std::uint64_t state = seed * 6364136223846793005ULL + 1442695040888963407ULL;
    auto next = [&state] {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<std::uint32_t>(state >> 33);
    };
    std::ofstream out(path, std::ios::binary);
    std::string block;
    block.reserve(2048);
    for (std::size_t written = 0; written < bytes; written += block.size()) {
        block.assign(6, '\0');  // block header
        while (block.size() + 120 <= 2048) {
            char record[120] = {};
            std::snprintf(record, sizeof record, "%-20s%-16s0905%06u%08u%04u%02u%02u%10u",
                          words[next() % 14], words[next() % 14], next() % 1000000, next() % 100000,
                          2020 + next() % 6, 1 + next() % 12, 1 + next() % 28, next() % 50000);
            block.append(record, sizeof record);
        }
        block.resize(2048, '\0');
        out.write(block.data(), static_cast<std::streamsize>(block.size()));
    }
}

double Seconds(const std::function<void()>& work) {
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The better of two runs, so that one disturbance by another process counts less.
double BestOfTwo(const std::function<void()>& work) { return std::min(Seconds(work), Seconds(work)); }

void Run(const std::string& command) {
    if (std::system(command.c_str()) != 0) {
        std::fprintf(stderr, "failed: %s\n", command.c_str());
        std::exit(1);
    }
}

int Quiet(std::intptr_t, std::uint8_t type, const char* text) {
    if (type == azip::MessageType::FileStatus && !std::string(text).ends_with("|255|"))
        std::fprintf(stderr, "file failed: %s\n", text);
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    const std::size_t megabytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 300;
    std::string work = argc > 2 ? argv[2] : (fs::temp_directory_path() / "tablora-zip-bench-XXXXXX").string();
    if (argc <= 2 && !::mkdtemp(work.data())) return 1;
    const std::string data = work + "/data", ours = work + "/ours.zip", reference = work + "/infozip.zip";
    fs::create_directories(data);

    std::vector<std::string> files;
    const std::size_t fileCount = 12;
    for (std::size_t i = 0; i < fileCount; ++i) {
        files.push_back(data + "/Table" + std::to_string(i) + ".db");
        WriteTableLikeFile(files.back(), megabytes * 1024 * 1024 / fileCount, i + 1);
    }
    const std::string list = work + "/list.txt";
    std::string fileArgs;
    {
        std::ofstream out(list, std::ios::binary);
        for (const auto& f : files) {
            out << f << "\r\n";
            fileArgs += " '" + f + "'";
        }
    }
    Run("cat" + fileArgs + " > /dev/null");  // both packers start from a warm cache

    const double zipTime = BestOfTwo([&] { fs::remove(reference); Run("zip -q -3 -j '" + reference + "'" + fileArgs); });
    const double ourZipTime = BestOfTwo([&] {
        fs::remove(ours);
        azip::addZIP_Initialise();
        azip::addZIP_InstallCallback(&Quiet);
        azip::addZIP_ArchiveName(ours.c_str());
        azip::addZIP_IncludeListFile(list.c_str());
        azip::addZIP_SaveStructure(0);
        azip::addZIP_SetCompressionLevel(3);
        azip::addZIP_Span(0);
        azip::addZIP();
    });
    const auto refSize = static_cast<double>(fs::file_size(reference));
    const auto ourSize = static_cast<double>(fs::file_size(ours));

    const std::string unzipDir = work + "/unzip", ourDir = work + "/unpacked";
    const double unzipTime = BestOfTwo([&] { Run("unzip -q -o -j '" + ours + "' -d '" + unzipDir + "'"); });
    const double ourUnzipTime = BestOfTwo([&] {
        azip::addUNZIP_Initialise();
        azip::addUNZIP_InstallCallback(&Quiet);
        azip::addUNZIP_ArchiveName(ours.c_str());
        azip::addUNZIP_ExtractTo(ourDir.c_str());
        azip::addUNZIP_RestoreAttributes(1);
        azip::addUNZIP_RestoreStructure(0);
        azip::addUNZIP();
    });

    std::printf("data            %zu MB in %zu files\n", megabytes, fileCount);
    std::printf("pack   Info-ZIP %7.2f s  %12.0f bytes\n", zipTime, refSize);
    std::printf("pack   ours     %7.2f s  %12.0f bytes\n", ourZipTime, ourSize);
    std::printf("pack   time ratio %.3f (goal <= 0.9), size ratio %.4f (goal <= 1.005)\n", ourZipTime / zipTime,
                ourSize / refSize);
    std::printf("unpack Info-ZIP %7.2f s\n", unzipTime);
    std::printf("unpack ours     %7.2f s\n", ourUnzipTime);
    std::printf("unpack time ratio %.3f (goal <= 1.0)\n", ourUnzipTime / unzipTime);
    if (argc <= 2) fs::remove_all(work);
    return 0;
}
