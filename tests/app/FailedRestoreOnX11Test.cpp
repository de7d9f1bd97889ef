// A zip restore that restores nothing, with "delete the indexes after the restore" ticked,
// started as the operator starts it: the real main window on its own X server, the restore
// button pressed by a key the server delivers. The indexes of the live tables must stay:
// the tables are left as they were, and so is everything the billing application needs.
#include "MainFormOnX11.h"

#include <map>

namespace apptest {
namespace {

std::map<std::string, std::string> FilesOf(const std::string& dir) {
    std::map<std::string, std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        if (!entry.is_regular_file()) continue;
        std::ifstream in(entry.path(), std::ios::binary);
        files[entry.path().filename().string()] =
            std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }
    return files;
}

// Same files under the same names, byte for byte; a difference names the file, not its bytes.
void ExpectSameFiles(const std::map<std::string, std::string>& after, const std::map<std::string, std::string>& before) {
    std::vector<std::string> namesAfter, namesBefore;
    for (const auto& [name, bytes] : after) namesAfter.push_back(name);
    for (const auto& [name, bytes] : before) namesBefore.push_back(name);
    EXPECT_EQ(namesAfter, namesBefore);
    for (const auto& [name, bytes] : before) {
        const auto found = after.find(name);
        if (found != after.end()) {
            EXPECT_TRUE(found->second == bytes) << name << " changed";
        }
    }
}

class FailedRestoreOnX11 : public MainFormOnX11 {
protected:
    std::string MakeSourceDatabase() override {
        return MakeDatabase("billing", {{"paradoxReader-java/src/test/resources/examples/CUSTOMER.DB", "Zakaznici"},
                                        {"paradoxReader-java/src/test/resources/examples/ORDERS.DB", "Hovory"},
                                        {"Rparadox/inst/extdata/country.db", "Krajiny"}});
    }

    // Chooses the archive, ticks the index deletion and presses Space on the restore button
    // through the X server; returns once the restore has shown its box.
    void RestoreFrom(const std::string& archive) {
        form->UtilsPageControl->setCurrentWidget(form->RestoreDatabaseTabSheet);
        form->RestoreZipFileRBtn->click();
        form->RestoreDataZipFileEdt->setText(QString::fromStdString(archive));
        form->DelIndexesBeforeChb->setChecked(true);
        ui_.messages.clear();
        PressSpaceOn(form->RestoreBtn);
        // Bounded: a few thousand rounds of the event loop, each waiting at most 10 ms for events.
        for (int round = 0; round < 3000 && ui_.messages.empty(); ++round)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
    }

    // Error boxes of any caption shown so far: the restore titles its own.
    std::vector<std::string> Boxes() const {
        std::vector<std::string> texts;
        for (const auto& m : ui_.messages)
            if (m.icon == ui::TMsgIcon::Error) texts.push_back(m.text);
        return texts;
    }
};

TEST_F(FailedRestoreOnX11, AMissingArchiveLeavesEveryIndexAndTableAsItWas) {
    const auto before = FilesOf(dir_);
    for (const char* index : {"Zakaznici.PX", "Zakaznici.X06", "Zakaznici.Y06", "Hovory.PX"})
        ASSERT_TRUE(before.count(index)) << index;
    const std::string missing = home_ / "zaloha/Chyba.zip";

    RestoreFrom(missing);

    const auto boxes = Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_NE(boxes[0].find(missing), std::string::npos) << boxes[0];
    ExpectSameFiles(FilesOf(dir_), before);
    EXPECT_TRUE(form->RestoreBtn->isEnabled());
}

TEST_F(FailedRestoreOnX11, AFileThatIsNoArchiveLeavesEveryIndexAndTableAsItWas) {
    const std::string notAZip = home_ / "Zaloha.zip";
    std::ofstream(notAZip, std::ios::binary) << "Toto nie je archív, len text uložený pod menom archívu.\r\n";
    const auto before = FilesOf(dir_);

    RestoreFrom(notAZip);

    const auto boxes = Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_NE(boxes[0].find(notAZip), std::string::npos) << boxes[0];
    ExpectSameFiles(FilesOf(dir_), before);
}

}  // namespace
}  // namespace apptest
