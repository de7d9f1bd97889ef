// What the module's tests share: a module on a scratch database directory and program
// directory, scripted UI services, recording report targets, sample tables copied in, and
// a file system that fails at a chosen step.
#pragma once

#include "database/CopyFileSystem.h"
#include "database/OrvDatabaseModule.h"
#include "platform/engine/AliasConfig.h"
#include "platform/rtl/AppLocations.h"
#include "platform/ui/ScriptedUiServices.h"
#include "tests/support/Samples.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>
#include <zip.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace test {


inline std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The entry names of a zip archive, sorted; empty when it cannot be opened.
inline std::vector<std::string> ArchiveNames(const std::string& path) {
    std::vector<std::string> names;
    int error = 0;
    zip_t* z = zip_open(path.c_str(), ZIP_RDONLY, &error);
    if (!z) return names;
    for (zip_int64_t i = 0; i < zip_get_num_entries(z, 0); ++i) names.push_back(zip_get_name(z, i, 0));
    zip_discard(z);
    std::sort(names.begin(), names.end());
    return names;
}

inline void CopySample(const std::string& relative, const std::string& target) {
    std::filesystem::copy_file(Sample(relative), target, std::filesystem::copy_options::overwrite_existing);
}

// A progress bar that remembers every value it was given.
class TRecordingProgress : public ui::TProgressValue {
public:
    void SetMax(int value) override {
        ui::TProgressValue::SetMax(value);
        maxima.push_back(value);
    }
    void SetPosition(int value) override {
        ui::TProgressValue::SetPosition(value);
        positions.push_back(value);
    }
    std::vector<int> maxima, positions;
};

// A text target that remembers every text it showed.
class TRecordingText : public ui::TTextValue {
public:
    void SetText(const std::string& text) override {
        ui::TTextValue::SetText(text);
        texts.push_back(text);
    }
    std::vector<std::string> texts;
};

// The real file system, except that the chosen call fails (with `error`) from its
// `failAt`-th use on (1-based; 0 never fails). Copies go through plain reads and writes,
// so their failures can be placed, unless the step to fail is the kernel copy itself.
class TFailingFileSystem : public database::TCopyFileSystem {
public:
    enum class Step { OpenForReading, CreateUnique, CopyRange, Read, Write, Sync, Close, Rename, SyncDirectory };
    TFailingFileSystem(Step step, int failAt, int error = EIO) : step_(step), failAt_(failAt), error_(error) {}

    int OpenForReading(const std::string& path) override {
        return Fails(Step::OpenForReading) ? -1 : TCopyFileSystem::OpenForReading(path);
    }
    int CreateUnique(std::string& pathTemplate, int suffixLength) override {
        return Fails(Step::CreateUnique) ? -1 : TCopyFileSystem::CreateUnique(pathTemplate, suffixLength);
    }
    ssize_t CopyRange(int from, int to, std::size_t size) override {
        if (step_ != Step::CopyRange) {
            errno = EXDEV;
            return -1;
        }
        return Fails(Step::CopyRange) ? -1 : TCopyFileSystem::CopyRange(from, to, size);
    }
    ssize_t Read(int fd, void* buffer, std::size_t size) override {
        return Fails(Step::Read) ? -1 : TCopyFileSystem::Read(fd, buffer, size);
    }
    ssize_t Write(int fd, const void* buffer, std::size_t size) override {
        return Fails(Step::Write) ? -1 : TCopyFileSystem::Write(fd, buffer, size);
    }
    int Sync(int fd) override { return Fails(Step::Sync) ? -1 : TCopyFileSystem::Sync(fd); }
    int Close(int fd) override {
        // The descriptor is released even when close reports a failure, as on Linux.
        const int result = TCopyFileSystem::Close(fd);
        return Fails(Step::Close) ? -1 : result;
    }
    int Rename(const std::string& from, const std::string& to) override {
        return Fails(Step::Rename) ? -1 : TCopyFileSystem::Rename(from, to);
    }
    int SyncDirectory(const std::string& directory) override {
        ++directorySyncs;
        return Fails(Step::SyncDirectory) ? -1 : TCopyFileSystem::SyncDirectory(directory);
    }
    int directorySyncs = 0;

private:
    bool Fails(Step step) {
        if (step != step_ || failAt_ == 0) return false;
        if (++calls_ < failAt_) return false;
        errno = error_;
        return true;
    }
    Step step_;
    int failAt_;
    int error_;
    int calls_ = 0;
};

// A module on its own database directory, with its own program directory and engine
// configuration, and UI services that never wait.
class ModuleTest : public ::testing::Test {
protected:
    TempDir program;
    TempDir databaseDir;
    TempDir other;
    ui::ScriptedUiServices uiServices;
    ui::ScopedUiServices installedUi{uiServices};
    TRecordingProgress progress;
    TRecordingText panel;

    void SetUp() override {
        rtl::OverrideProgramDirectory(program.Path());
        ::setenv(engine::EngineConfigEnvVar, (program / "engine.cfg").c_str(), 1);
    }
    void TearDown() override {
        module_.reset();
        ::unsetenv(engine::EngineConfigEnvVar);
        rtl::OverrideProgramDirectory("");
    }

    // A module with the progress bar and status panel connected, opened on databaseDir.
    database::TOrvDatabaseModule& Module() {
        if (!module_) {
            module_ = std::make_unique<database::TOrvDatabaseModule>();
            module_->ProgressBar = &progress;
            module_->StatusPanel = &panel;
            module_->OpenSourceByDirectory(databaseDir.Path());
        }
        return *module_;
    }
    void FreeModule() { module_.reset(); }

private:
    std::unique_ptr<database::TOrvDatabaseModule> module_;
};

} // namespace test
