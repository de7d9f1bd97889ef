// A fresh directory for one test, removed with everything in it when the test ends.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>
#include <string>

namespace test {

// The whole content of a file ("" when it cannot be read).
inline std::string FileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Writes the bytes of `from` over `to`, in place. (MinGW's std::filesystem::copy_file with
// overwrite_existing takes two files of one drive for the same file and refuses.)
inline void CopyOver(const std::string& from, const std::string& to) {
    const std::string bytes = FileBytes(from);
    std::ofstream(to, std::ios::binary | std::ios::trunc) << bytes;
}

// Copies the directory `from`, with what is below it, to `to`, each file keeping its
// modification time: a state a killed run left is the same state only so, since a family
// journal knows the files it names by their size and time.
inline void CopyKeepingTimes(const std::string& from, const std::string& to) {
    namespace fs = std::filesystem;
    fs::copy(from, to, fs::copy_options::recursive);
    for (const auto& e : fs::recursive_directory_iterator(from))
        if (e.is_regular_file()) fs::last_write_time(fs::path(to) / fs::relative(e.path(), from), e.last_write_time());
}

class TempDir {
public:
    TempDir() {
        const char* base = std::getenv("TMPDIR");
        const std::string parent = base && *base ? base : DefaultParent();
        // A fresh name that nobody else made: create_directory is false when it exists.
        std::random_device random;
        for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
            const std::string candidate = parent + "/tablora-test-" + std::to_string(random() % 100000000u);
            std::error_code ec;
            if (std::filesystem::create_directory(candidate, ec)) path_ = candidate;
            else if (ec) throw std::runtime_error("cannot create a test directory in " + parent);
        }
        if (path_.empty()) throw std::runtime_error("no fresh test directory name in " + parent);
        std::filesystem::permissions(path_, std::filesystem::perms::owner_all, std::filesystem::perm_options::replace);
    }
    ~TempDir() {
        std::error_code ec;
        // Read-only directories left by a test would stop the removal.
        for (auto it = std::filesystem::recursive_directory_iterator(path_, ec);
             !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec))
            if (it->is_directory(ec) && !it->is_symlink(ec))
                std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                             std::filesystem::perm_options::add, ec);
        std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& Path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

    // Writes `content` to `name` (relative to the directory) and returns its full path.
    std::string WriteFile(const std::string& name, const std::string& content) const {
        const std::string p = path_ + "/" + name;
        std::filesystem::create_directories(std::filesystem::path(p).parent_path());
        std::ofstream(p, std::ios::binary) << content;
        return p;
    }

private:
    static std::string DefaultParent() {
#ifdef _WIN32
        std::string dir = std::filesystem::temp_directory_path().string();
        if (!dir.empty() && (dir.back() == '\\' || dir.back() == '/')) dir.pop_back();
        return dir;
#else
        return "/tmp";
#endif
    }

    std::string path_;
};

} // namespace test
