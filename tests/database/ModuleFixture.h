// What the module's tests share: a module on a scratch database directory and program
// directory, scripted UI services, recording report targets, sample tables copied in, and
// faults struck through the file-system seam.
#pragma once

#include "database/OrvDatabaseModule.h"
#include "platform/engine/AliasConfig.h"
#include "platform/rtl/AppLocations.h"
#include "platform/rtl/FaultInjection.h"
#include "platform/ui/ScriptedUiServices.h"
#include "tests/support/Samples.h"
#include "tests/support/ScopedLanguage.h"
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

// A fault of the calls of `ops` on paths containing `path`: the `nth` of them fails with
// `error`, and with `persistent` every one after it too (a disk that stays full).
inline rtl::TFault FaultAt(std::uint32_t ops, std::uint64_t nth, int error, const std::string& path = {},
                           bool persistent = false) {
    rtl::TFault fault{ops, nth, error, false, path};
    fault.Persistent = persistent;
    return fault;
}

// A fault-injecting file system installed for one scope, armed with one fault.
class TScopedFault {
public:
    explicit TScopedFault(const rtl::TFault& fault) { fs.Arm(fault); }
    rtl::TFaultInjectingFileSystem fs;

private:
    rtl::TScopedFileSystem installed_{fs};
};

// A module on its own database directory, with its own program directory and engine
// configuration, and UI services that never wait.
class ModuleTest : public ::testing::Test {
protected:
    TempDir program;
    TempDir databaseDir;
    TempDir other;
    ui::TScriptedUiServices uiServices;
    ui::TScopedUiServices installedUi{uiServices};
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
