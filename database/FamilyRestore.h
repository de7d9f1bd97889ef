// Putting restored tables in place one table family at a time. A family's restored files are
// first written whole beside the live table under temporary names; then one intent of the
// engine's family journal renames them over the live files (the data file last) and removes
// the live files of that table the restore does not bring, so that no index or memo of
// another generation stays beside the restored data. A run killed at any moment leaves each
// table wholly old or wholly new once the next run has completed the journal.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace database {

// The table a file belongs to: its name before the last dot, in lower case.
std::string TableKeyOf(const std::string& fileName);

// File names grouped by table (TableKeyOf), tables in name order, names in the order given.
std::map<std::string, std::vector<std::string>> GroupByTable(const std::vector<std::string>& names);

// The name a restored table is reported by: its data file's name without the extension, or
// the first file's when the family has no data file.
std::string TableNameOf(const std::vector<std::string>& familyNames);

class TFamilyPlacement {
public:
    // `liveNames`: the files of this table now in `databaseDirectory` (names, not paths).
    TFamilyPlacement(std::string databaseDirectory, std::vector<std::string> liveNames);
    // Removes the staged files that were not put in place, unless a journal that names them
    // waits to be completed (they are its files then).
    ~TFamilyPlacement();
    TFamilyPlacement(const TFamilyPlacement&) = delete;
    TFamilyPlacement& operator=(const TFamilyPlacement&) = delete;

    // The file staged at `staged` (a path inside the database directory's file system,
    // relative to the database directory) takes the name `name` in the database directory.
    void Add(const std::string& staged, const std::string& name);

    // Puts the family in place as one change; raises when it could not be carried out (a
    // journal left behind is completed by the next run).
    void Commit();
    // True after a failed Commit whose journal waits to be completed.
    bool JournalLeft() const;

private:
    std::string directory_;
    std::vector<std::string> liveNames_;
    std::vector<std::pair<std::string, std::string>> staged_;  // staged path, final name
    std::string journalData_;
    bool committed_ = false;
};

// Restores the files `names` into the database directory, table family by table family in
// name order; a table whose interrupted change is left (a journal still waits) stays as it
// stands. `stage(name, target)` writes the restored file `name` as a temporary file for
// the path `target` and returns that file's path relative to the database directory. A
// restored file lands on the live file of the same name, else on the one spelled in other
// letter case; names the source holds in several letter cases keep their own. The first
// failure ends the restore: the families put in place before it stay restored.
// When a family's change failed and its journal still waits (a step failed twice), the
// staged files belong to that journal: `journalLeft` is set, and they must stay.
using TStageFile = std::function<std::string(const std::string& name, const std::string& target)>;
void RestoreFamilies(const std::string& databaseDirectory, const std::vector<std::string>& names,
                     const TStageFile& stage, bool* journalLeft = nullptr);

// Readies the database directory for a restore (the caller holds it for writing, which
// completed the changes killed runs left): removes the temporary files and staging
// directories of restores that ended without putting them in place, regular files and real
// directories only, never one a journal still waiting names; a symbolic link so named stays.
// What it removed or left is noted for the user (engine/InterruptedRuns.h).
void ClearEndedRestores(const std::string& databaseDirectory);

// A staging directory inside the database directory for the files of one restore, removed
// with what is left in it when the restore ends, unless Keep() was called (a waiting journal
// names files in it; the next restore removes it once that journal is done). Its name
// matches no table file pattern.
class TStagingDirectory {
public:
    explicit TStagingDirectory(const std::string& databaseDirectory);
    ~TStagingDirectory();
    TStagingDirectory(const TStagingDirectory&) = delete;
    TStagingDirectory& operator=(const TStagingDirectory&) = delete;

    const std::string& Path() const { return path_; }
    const std::string& Name() const { return name_; }  // relative to the database directory
    void Keep() { keep_ = true; }
    // Moves the unpacked file `name` out beside the tables under a staged file's name
    // (engine::paradox::StagedFilePrefix), the only kind of name a journal moves into a
    // family from; returns that name.
    std::string BringOut(const std::string& name) const;

private:
    std::string directory_;
    std::string name_;
    std::string path_;
    bool keep_ = false;
};

} // namespace database
