// Helpers for the zip tests: sample table families copied into a temp directory with
// distinct odd-second modification times, file comparison and Info-ZIP invocation.
#pragma once

#include "tests/support/TempDir.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace test {

inline std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline std::time_t MTime(const std::string& path) {
    struct stat st {};
    ::stat(path.c_str(), &st);
    return st.st_mtime;
}

inline mode_t Mode(const std::string& path) {
    struct stat st {};
    ::stat(path.c_str(), &st);
    return st.st_mode & 07777;
}

// Copies whole table families of the samples into `dir`; every copy gets its own odd
// modification time (a 2-second DOS time could not hold it). Returns the copies' paths.
inline std::vector<std::string> CopySampleFamilies(const std::string& dir) {
    namespace fs = std::filesystem;
    const std::string samples = TABLORA_SAMPLES_DIR;
    const std::vector<std::string> families = {
        "/Paradox.pm/BIOLIFE",                                 // data + memo
        "/paradoxdriver/src/test/resources/db/CUSTOMER",       // data, memo, primary and secondary indexes
        "/kymuweb-Paradox-Reader/ParadoxTest/data/zakazky",   // larger data with indexes
    };
    std::vector<std::string> copies;
    std::time_t stamp = 1'000'000'001;
    for (const std::string& family : families) {
        const fs::path base = samples + family;
        for (const auto& entry : fs::directory_iterator(base.parent_path())) {
            if (entry.path().stem() != base.filename()) continue;
            const std::string copy = dir + "/" + entry.path().filename().string();
            fs::copy_file(entry.path(), copy, fs::copy_options::overwrite_existing);
            fs::permissions(copy, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
            const timespec times[2] = {{0, UTIME_OMIT}, {stamp, 0}};
            ::utimensat(AT_FDCWD, copy.c_str(), times, 0);
            stamp += 7;
            copies.push_back(copy);
        }
    }
    return copies;
}

// Runs a shell command, returning its exit status and standard output.
inline int RunCommand(const std::string& command, std::string* output = nullptr) {
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return -1;
    char buffer[4096];
    std::size_t n;
    std::string text;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) text.append(buffer, n);
    if (output) *output = text;
    const int status = ::pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Names of the entries of `dir` (not recursive), sorted.
inline std::vector<std::string> DirectoryNames(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace test
