// Fixture for archiver tests: scripted UI, the list file in a temp program directory.
#pragma once

#include "archive/Archiv.h"
#include "platform/rtl/AppLocations.h"
#include "platform/ui/ScriptedUiServices.h"
#include "tests/support/ScopedLanguage.h"
#include "tests/support/ZipFixtures.h"

#include <gtest/gtest.h>

class ArchivTest : public ::testing::Test {
protected:
    // The archiver speaks to the window, in Slovak.
    test::TScopedLanguage slovak{rtl::TLanguage::Slovak};
    ArchivTest() : scope(ui) { rtl::OverrideProgramDirectory(program.Path()); }
    ~ArchivTest() override { rtl::OverrideProgramDirectory(""); }

    // Packs `files` with a fresh archiver; returns PackFiles' result and the archive name set.
    bool Pack(const std::vector<std::string>& files, const std::string& dir, const std::string& name,
              std::string* archiveName = nullptr) {
        TArchiv archiv("Záloha súborov databázy");
        for (const auto& f : files) archiv.FileList.Add(f);
        const bool ok = archiv.PackFiles(dir, name);
        if (archiveName) *archiveName = archiv.ArchiveName;
        return ok;
    }

    bool Unpack(const std::string& archive, const std::string& target) {
        TArchiv archiv("Obnova súborov databázy");
        archiv.SetUnpackSource(archive, target);
        return archiv.UnpackFiles();
    }

    test::TempDir program;
    test::TempDir temp;
    ui::TScriptedUiServices ui;
    ui::TScopedUiServices scope;
};
