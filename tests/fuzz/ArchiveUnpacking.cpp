#include "tests/fuzz/FuzzHarness.h"

#include "platform/zip/AddUnzip.h"

#include <filesystem>

namespace fuzz {

namespace fs = std::filesystem;

namespace {
int Quiet(std::intptr_t, std::uint8_t, const char*) { return 1; }
} // namespace

void ExerciseArchive(const std::string& archivePath, const std::string& targetDir) {
    const fs::path target(targetDir);
    const fs::path parent = target.parent_path();
    std::error_code ec;
    fs::remove_all(target, ec);
    fs::create_directories(parent);
    azip::addUNZIP_Initialise();
    azip::addUNZIP_InstallCallback(&Quiet);
    azip::addUNZIP_ArchiveName(archivePath.c_str());
    azip::addUNZIP_ExtractTo(targetDir.c_str());
    azip::addUNZIP_RestoreAttributes(1);
    azip::addUNZIP();
    for (const auto& e : fs::directory_iterator(parent))
        if (e.path().filename() != target.filename()) Fail("unpacked outside the target: " + e.path().string());
    if (fs::exists(target))
        for (const auto& e : fs::directory_iterator(target))
            if (!e.is_regular_file() || e.is_symlink()) Fail("not a plain file in the target: " + e.path().string());
}

} // namespace fuzz
