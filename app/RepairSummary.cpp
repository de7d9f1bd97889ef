#include "app/RepairSummary.h"

#include "platform/rtl/Messages.h"
#include "platform/rtl/Paths.h"
#include "platform/rtl/StringList.h"
#include "platform/ui/UiServices.h"

namespace app {
namespace {

constexpr const char* DamageIntroText = "Kontrola poškodenia zmenila tieto tabuľky:";
constexpr const char* TableText = "Tabuľka \"%s\":";
constexpr const char* OutsideChainText = "riadky obnovené z blokov mimo reťazca: %s";
constexpr const char* KeyViolationsText = "riadky presunuté do KEYVIOL (opakovaný kľúč): %s";
constexpr const char* ProblemsText = "riadky presunuté do PROBLEM (nečitateľné alebo nezaraditeľné): %s";
constexpr const char* MemosLostText = "stratené hodnoty memo (riadky zostali v tabuľke bez nich): %s";
constexpr const char* IndexDroppedText = "zrušený sekundárny index %s (záloha ho obsahuje)";
constexpr const char* CompanionsText = "pôvodná tabuľka (BACKUP) a presunuté riadky sú v adresári:";
constexpr const char* KeyRepairIntroText =
    "Tieto tabuľky boli vytvorené znovu a pole IDXFIELD bolo očíslované nanovo:";
constexpr const char* RecreatedText = "\"%s\": riadkov pred opravou %s, po oprave %s";
constexpr const char* NotRepairedIntroText = "Tieto tabuľky sa opraviť nepodarilo:";
constexpr const char* NotRepairedText = "\"%s\": %s";

constexpr const char* Item = "\r\n   \xE2\x80\xA2  ";  // a bullet line below its table
constexpr const char* Paragraph = "\r\n\r\n";

bool NeedsTelling(const tutil::TRebuildReport& r) {
    return r.Rebuilt && (r.RowsOutsideChain > 0 || r.RowsToKeyViolations > 0 || r.RowsToProblems > 0 ||
                         r.RowsNotFound > 0 || r.BlobsLost > 0 || !r.DroppedIndexes.empty());
}

std::string Slovak(rtl::TMsg id, const std::vector<std::string>& args) {
    return rtl::Format(id, args, rtl::TLanguage::Slovak);
}

// Where the run stopped, why, and which ticked tables it never reached.
std::string StopText(const std::vector<tutil::TRebuildReport>& reports, const std::vector<std::string>& ticked) {
    std::string text;
    if (!reports.empty() && !reports.back().Rebuilt)
        text += Slovak(rtl::TMsg::WinDamageStoppedAt,
                       {rtl::ExtractFileName(reports.back().TablePath), reports.back().Failure});
    if (ticked.size() > reports.size()) {
        std::string names;
        const std::size_t shown = 10;
        for (std::size_t i = reports.size(); i < ticked.size() && i < reports.size() + shown; ++i)
            names += (names.empty() ? "" : ", ") + ticked[i];
        if (ticked.size() - reports.size() > shown) names += ", \xE2\x80\xA6";
        text += (text.empty() ? "" : Paragraph) +
                Slovak(rtl::TMsg::WinDamageNotChecked, {std::to_string(ticked.size() - reports.size()), names});
    }
    return text;
}

void AddCount(std::string& text, const char* format, std::uint64_t count) {
    if (count > 0) text += Item + rtl::FormatMessage(format, {std::to_string(count)});
}

} // namespace

std::string DamageCheckSummary(const std::vector<tutil::TRebuildReport>& reports,
                               const std::vector<std::string>& ticked) {
    std::string text;
    for (const tutil::TRebuildReport& r : reports) {
        if (!NeedsTelling(r)) continue;
        text += Paragraph + rtl::FormatMessage(TableText, {rtl::ExtractFileName(r.TablePath)});
        AddCount(text, KeyViolationsText, r.RowsToKeyViolations);
        AddCount(text, ProblemsText, r.RowsToProblems);
        AddCount(text, MemosLostText, r.BlobsLost);
        if (r.RowsNotFound > 0) text += Item + Slovak(rtl::TMsg::WinDamageRowsNotFound, {std::to_string(r.RowsNotFound)});
        AddCount(text, OutsideChainText, r.RowsOutsideChain);
        for (const tutil::TDroppedIndex& index : r.DroppedIndexes)
            text += Item + rtl::FormatMessage(IndexDroppedText, {index.Name});
        if (!r.CompanionDirectory.empty())
            text += Item + std::string(CompanionsText) + "\r\n      " + r.CompanionDirectory;
    }
    if (!text.empty()) text = DamageIntroText + text;
    const std::string stop = StopText(reports, ticked);
    if (!stop.empty()) text += (text.empty() ? "" : Paragraph) + stop;
    return text;
}

std::string KeyRepairSummary(const std::vector<database::TOrvDatabaseModule::TKeyRepairOutcome>& outcomes) {
    using TResult = database::TOrvDatabaseModule::TKeyRepairOutcome::TResult;
    std::string recreated, failed;
    for (const auto& o : outcomes) {
        if (o.Result == TResult::Repaired)
            recreated += Item + rtl::FormatMessage(RecreatedText, {o.Table, std::to_string(o.RowsBefore),
                                                                   std::to_string(o.RowsAfter)});
        else if (o.Result == TResult::CopyFailed || o.Result == TResult::Error)
            failed += Item + rtl::FormatMessage(NotRepairedText, {o.Table, o.Reason});
    }
    std::string text;
    if (!recreated.empty()) text += KeyRepairIntroText + recreated;
    if (!failed.empty()) text += (text.empty() ? "" : Paragraph) + std::string(NotRepairedIntroText) + failed;
    return text;
}

void ShowSummary(const char* caption, const std::string& text) {
    if (!text.empty()) ui::ShowInformation(caption, text);
}

} // namespace app
