// libFuzzer entry for the unpacker; inputs are zip archives.
#include "tests/fuzz/FuzzHarness.h"
#include "tests/fuzz/ScratchDir.h"

#include <filesystem>
#include <fstream>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string dir = fuzz::ScratchDir("unzip");
    static const std::string archive = dir + "/in.zip";
    static const std::string target = dir + "/t/out";
    std::ofstream(archive, std::ios::binary).write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    fuzz::ExerciseArchive(archive, target);
    return 0;
}
