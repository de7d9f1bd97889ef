// A main window on a temporary world: its own program directory, an engine configuration
// file with the aliases a test asks for, database directories made of real sample tables
// and scripted message boxes.
#pragma once

#include "app/MainForm.h"
#include "platform/engine/AliasConfig.h"
#include "platform/rtl/AppLocations.h"
#include "platform/ui/ScriptedUiServices.h"
#include "app/PathEdit.h"
#include "app/RadioButton.h"
#include "app/SplashFrm.h"
#include "tests/support/TempDir.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <ostream>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

// Failed expectations show texts as text.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace apptest {

inline const std::string SamplesDir = TABLORA_SAMPLES_DIR;

// Scripted message boxes that also let a test look at the window whenever it is allowed
// to process messages, that is, in the middle of a task or reload.
class WatchingUi : public ui::TScriptedUiServices {
public:
    std::function<void()> onProcessMessages;
    void ProcessMessages() override {
        TScriptedUiServices::ProcessMessages();
        if (onProcessMessages) onProcessMessages();
    }
};

// Counts the reloads of the table lists while it lives: each shows the splash window once.
class SplashCounter : public QObject {
public:
    SplashCounter() { qApp->installEventFilter(this); }
    ~SplashCounter() override { qApp->removeEventFilter(this); }
    int shown = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show && qobject_cast<app::TSplashForm*>(watched)) ++shown;
        return false;
    }
};

class MainFormTest : public ::testing::Test {
protected:
    MainFormTest() : uiScope_(ui_) {
        rtl::OverrideProgramDirectory(home_ / "program");
        std::filesystem::create_directories(home_ / "program");
        configPath_ = home_ / "engine.cfg";
        ::setenv(engine::EngineConfigEnvVar, configPath_.c_str(), 1);
    }
    ~MainFormTest() override {
        form.reset();
        ::unsetenv(engine::EngineConfigEnvVar);
        rtl::OverrideProgramDirectory("");
    }

    // A database directory `name` holding copies of sample tables under new names:
    // pairs of (sample path relative to the samples, table name without extension).
    // Companion files of the sample (.mb, .px, .x??, .y??) come along under the new name.
    std::string MakeDatabase(const std::string& name,
                             const std::vector<std::pair<std::string, std::string>>& tables) {
        namespace fs = std::filesystem;
        const fs::path dir = home_ / name;
        fs::create_directories(dir);
        for (const auto& [sample, table] : tables) {
            const fs::path source = fs::path(SamplesDir) / sample;
            const std::string stem = source.stem().string();
            for (const auto& entry : fs::directory_iterator(source.parent_path())) {
                if (entry.path().stem().string() != stem) continue;
                fs::copy_file(entry.path(), dir / (table + entry.path().extension().string()),
                              fs::copy_options::overwrite_existing);
            }
        }
        return dir.string();
    }

    // Three plain tables that every engine build can list.
    std::string MakeBillingDatabase(const std::string& name = "billing") {
        return MakeDatabase(name, {{"Rparadox/inst/extdata/country.db", "Hovory"},
                                   {"Rparadox/inst/extdata/mushrooms.db", "Tel_zoz"},
                                   {"paradoxReader-java/src/test/resources/examples/CONTACTS.DB", "Zakaznici"}});
    }

    // A copy of a sample table whose first field, an autoincrement, is renamed "IDXFIELD":
    // the kind of table the key-violation repair works on. The name grows by two bytes, so
    // everything after it moves up into the header's zero padding.
    void AddKeyViolationTable(const std::string& dbDir, const std::string& table) {
        const std::string sample = "paradoxReader-java/src/test/resources/examples/CUSTOMER.DB";
        std::ifstream in(SamplesDir + "/" + sample, std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const std::string oldName("CustNo\0", 7), newName("IDXFIELD\0", 9);
        const std::size_t headerSize = static_cast<unsigned char>(bytes[2]) | (static_cast<unsigned char>(bytes[3]) << 8);
        const std::size_t at = bytes.find(oldName);
        ASSERT_NE(at, std::string::npos);
        ASSERT_LT(at, headerSize);
        ASSERT_EQ(bytes.substr(headerSize - 2, 2), std::string(2, '\0'));
        bytes.erase(headerSize - 2, 2);
        bytes.replace(at, oldName.size(), newName);
        // The offset of the field-number array follows the names.
        const unsigned fieldNumbers = (static_cast<unsigned char>(bytes[0x66]) | (static_cast<unsigned char>(bytes[0x67]) << 8)) + 2;
        bytes[0x66] = static_cast<char>(fieldNumbers & 0xFF);
        bytes[0x67] = static_cast<char>(fieldNumbers >> 8);
        std::ofstream(dbDir + "/" + table + ".db", std::ios::binary) << bytes;
        std::filesystem::copy_file(SamplesDir + "/paradoxReader-java/src/test/resources/examples/CUSTOMER.MB",
                                   dbDir + "/" + table + ".mb");
    }

    void SetAliases(const std::vector<std::pair<std::string, std::string>>& aliases) {
        engine::TAliasConfig config;
        for (const auto& [alias, path] : aliases) {
            rtl::TStringList params;
            params.Add("PATH=" + path);
            params.Add("DEFAULT DRIVER=PARADOX");
            config.SetAlias(alias, params);
        }
        config.Save(configPath_);
    }

    app::TMainForm& CreateForm() {
        form = std::make_unique<app::TMainForm>();
        return *form;
    }

    static std::vector<std::string> Items(const QListWidget* list) {
        std::vector<std::string> items;
        for (int i = 0; i < list->count(); ++i) items.push_back(list->item(i)->text().toStdString());
        return items;
    }
    static std::vector<int> Ticked(const QListWidget* list) {
        std::vector<int> ticked;
        for (int i = 0; i < list->count(); ++i)
            if (list->item(i)->checkState() == Qt::Checked) ticked.push_back(i);
        return ticked;
    }
    static void Tick(QListWidget* list, int i) { list->item(i)->setCheckState(Qt::Checked); }

    // Error boxes of the window (caption "Tablora") shown so far.
    std::vector<std::string> ErrorBoxes() const {
        std::vector<std::string> texts;
        for (const auto& m : ui_.messages)
            if (m.caption == "Tablora" && m.icon == ui::TMsgIcon::Error) texts.push_back(m.text);
        return texts;
    }

    test::TempDir home_;
    std::string configPath_;
    ui::TScriptedUiServices ui_;
    ui::TScopedUiServices uiScope_;
    std::unique_ptr<app::TMainForm> form;
};

} // namespace apptest
