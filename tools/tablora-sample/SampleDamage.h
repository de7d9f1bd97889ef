// The faults a damaged demo database carries, one table each, so that every repair the
// program offers has something to do.
#pragma once

#include <string>
#include <vector>

namespace sample {

inline constexpr const char* LaggingCounterTable = "Tel_zoz";  // autoincrement counter below its keys
inline constexpr const char* BrokenChainTable = "Faktury";     // a block links outside the file
inline constexpr const char* WrongCountTable = "Firmy";        // header's record count too high
inline constexpr const char* DamagedMemoTable = "Reports";     // a memo block overwritten
inline constexpr const char* StaleIndexTable = "Operatori";    // .px from before the last rows
inline constexpr const char* EncryptedTable = "Users";         // flagged as password-protected

struct TDamage {
    std::string Table;
    std::string Fault;  // readable, for the tool's report
};

// The faults in the order they are made.
std::vector<TDamage> SampleDamages();

// Each changes a finished table in place (its data file `dataPath`).
void BreakBlockChain(const std::string& dataPath);
void MiscountRecords(const std::string& dataPath);
void DamageMemoFile(const std::string& dataPath);
void MarkEncrypted(const std::string& dataPath);
// Puts the primary index `oldIndexPath` (of an earlier state of the table) beside `dataPath`.
void ReplaceWithStaleIndex(const std::string& dataPath, const std::string& oldIndexPath);

} // namespace sample
