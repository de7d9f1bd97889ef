// A directory of its own for one fuzz process, in memory when /dev/shm exists; removed when
// the process ends normally (a crash leaves it for a look at what the input wrote).
#pragma once

#include <filesystem>
#include <string>
#include <unistd.h>

namespace fuzz {

class TScratchDir {
public:
    explicit TScratchDir(const char* what) {
        const std::filesystem::path base =
            std::filesystem::exists("/dev/shm") ? "/dev/shm" : std::filesystem::temp_directory_path();
        path_ = (base / ("tablora-fuzz-" + std::string(what) + "-" + std::to_string(getpid()))).string();
        std::filesystem::create_directories(path_);
    }
    ~TScratchDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TScratchDir(const TScratchDir&) = delete;
    TScratchDir& operator=(const TScratchDir&) = delete;
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

} // namespace fuzz
