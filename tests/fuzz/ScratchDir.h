// A directory of its own for one fuzz process, in memory when /dev/shm exists.
#pragma once

#include <filesystem>
#include <string>
#include <unistd.h>

namespace fuzz {

inline std::string ScratchDir(const char* what) {
    const std::filesystem::path base =
        std::filesystem::exists("/dev/shm") ? "/dev/shm" : std::filesystem::temp_directory_path();
    const auto dir = base / ("tablora-fuzz-" + std::string(what) + "-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    return dir.string();
}

} // namespace fuzz
