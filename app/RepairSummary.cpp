#include "app/RepairSummary.h"

#include "platform/rtl/Messages.h"
#include "platform/rtl/Paths.h"
#include "platform/ui/UiServices.h"

namespace app {
namespace {

constexpr const char* Item = "\r\n   \xE2\x80\xA2  ";  // a bullet line below its table
constexpr const char* Paragraph = "\r\n\r\n";

bool NeedsTelling(const tutil::TRebuildReport& r) {
    return r.Rebuilt && (r.RowsOutsideChain > 0 || r.RowsToKeyViolations > 0 || r.RowsToProblems > 0 ||
                         r.RowsNotFound > 0 || r.BlobsLost > 0 || !r.DroppedIndexes.empty() ||
                         !r.StructureFrom.empty());
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

void AddCount(std::string& text, rtl::TMsg format, std::uint64_t count) {
    if (count > 0) text += Item + Slovak(format, {std::to_string(count)});
}

} // namespace

std::string DamageCheckSummary(const std::vector<tutil::TRebuildReport>& reports,
                               const std::vector<std::string>& ticked) {
    std::string text;
    for (const tutil::TRebuildReport& r : reports) {
        if (!NeedsTelling(r)) continue;
        text += Paragraph + Slovak(rtl::TMsg::WinSummaryTable, {rtl::ExtractFileName(r.TablePath)});
        if (!r.StructureFrom.empty()) text += Item + Slovak(rtl::TMsg::WinStructureFrom, {r.StructureFrom});
        AddCount(text, rtl::TMsg::WinRowsToKeyViolations, r.RowsToKeyViolations);
        AddCount(text, rtl::TMsg::WinRowsToProblems, r.RowsToProblems);
        AddCount(text, rtl::TMsg::WinMemosLost, r.BlobsLost);
        if (r.RowsNotFound > 0) text += Item + Slovak(rtl::TMsg::WinDamageRowsNotFound, {std::to_string(r.RowsNotFound)});
        AddCount(text, rtl::TMsg::WinRowsOutsideChain, r.RowsOutsideChain);
        for (const tutil::TDroppedIndex& index : r.DroppedIndexes)
            text += Item + Slovak(rtl::TMsg::WinIndexDropped, {index.Name});
        if (!r.CompanionDirectory.empty())
            text += Item + Slovak(rtl::TMsg::WinCompanions, {}) + "\r\n      " + r.CompanionDirectory;
    }
    if (!text.empty()) text = Slovak(rtl::TMsg::WinDamageIntro, {}) + text;
    const std::string stop = StopText(reports, ticked);
    if (!stop.empty()) text += (text.empty() ? "" : Paragraph) + stop;
    return text;
}

std::string KeyRepairSummary(const std::vector<database::TOrvDatabaseModule::TKeyRepairOutcome>& outcomes) {
    using TResult = database::TOrvDatabaseModule::TKeyRepairOutcome::TResult;
    std::string recreated, failed;
    for (const auto& o : outcomes) {
        if (o.Result == TResult::Repaired)
            recreated += Item + Slovak(rtl::TMsg::WinRecreated, {o.Table, std::to_string(o.RowsBefore), std::to_string(o.RowsAfter)});
        else if (o.Result == TResult::CopyFailed || o.Result == TResult::Error)
            failed += std::string(Item) + "\"" + o.Table + "\": " + o.Reason;
    }
    std::string text;
    if (!recreated.empty()) text += Slovak(rtl::TMsg::WinKeyRepairIntro, {}) + recreated;
    if (!failed.empty()) text += (text.empty() ? "" : Paragraph) + Slovak(rtl::TMsg::WinNotRepairedIntro, {}) + failed;
    return text;
}

void ShowSummary(const char* caption, const std::string& text) {
    if (!text.empty()) ui::ShowInformation(caption, text);
}

} // namespace app
