#include "database/BackupContents.h"

#include "database/TableFileSet.h"
#include "database/WholeTables.h"
#include "platform/engine/ParadoxTables.h"
#include "platform/rtl/FileListing.h"
#include "platform/rtl/FileSystem.h"
#include "platform/rtl/Messages.h"
#include "platform/rtl/Paths.h"

#include <cerrno>
#include <exception>

namespace database {

namespace {

using engine::paradox::ProblemKind;

// Faults that cost rows or values when the backup is read back.
bool LosesData(ProblemKind kind) {
    switch (kind) {
    case ProblemKind::KeyOrder:
    case ProblemKind::FreeList:
    case ProblemKind::PrimaryIndex:
    case ProblemKind::SecondaryIndex:
    case ProblemKind::AutoIncrement: return false;
    default: return true;
    }
}

} // namespace

TBackupContents ReadBackBackupDirectory(const std::string& directory) {
    TBackupContents contents;
    const std::string dir = rtl::WithTrailingSeparator(directory);
    for (const std::string& name : rtl::ListFiles(directory, "*")) {
        rtl::TFileStatus st;
        if (rtl::FileSystem().Stat(dir + name, st) == 0) contents.Bytes += st.Size;
        else if (errno != ENOENT) contents.Problems.push_back(name + ": " + rtl::SystemReason(errno));
    }
    for (const std::string& path : FindTableFiles(directory, ".db")) {
        const std::string name = rtl::ExtractFileName(path);
        contents.Tables.push_back(rtl::ChangeFileExt(name, ""));
        try {
            const auto table = engine::paradox::TParadoxTable::Open(path);
            const auto report = engine::paradox::CheckTable(*table);
            for (const auto& p : report.Problems)
                if (LosesData(p.Kind)) contents.Problems.push_back(p.Describe());
        } catch (const std::exception& e) {
            contents.Problems.push_back(name + ": " + e.what());
        }
    }
    // A lone memo or index file, a data file without the memo file its fields need: no whole
    // table, whatever the rows read.
    const TBackupFamilies families = DirectoryFamilies(directory);
    for (auto fault = families.Faults.rbegin(); fault != families.Faults.rend(); ++fault)
        contents.Problems.insert(contents.Problems.begin(), fault->Text);
    if (contents.Tables.empty()) contents.Problems.push_back(rtl::Text(rtl::TMsg::DbBackupNoTableFile));
    return contents;
}

} // namespace database
