#include "rebuild/ParadoxTableRebuild.h"

#include "platform/rtl/Error.h"
#include "platform/rtl/Messages.h"
#include "platform/rtl/Paths.h"
#include "platform/tutil/DescriptorArrays.h"
#include "rebuild/TableUtilityCalls.h"

#include <cstring>

namespace rebuild {

namespace {

// Filled by the engine before each progress call; its content is not used.
engine::CBPROGRESSDesc& ProgressBuffer() {
    static engine::CBPROGRESSDesc buffer{};
    return buffer;
}

// The library's explanation of `code`, whole whatever its length.
std::string LibraryText(const TTableUtilityCalls& tu, tutil::TUResult code) {
    std::string text(tu.GetErrorString(code, nullptr, 0) + 1, '\0');
    tu.GetErrorString(code, text.data(), text.size());
    text.resize(std::strlen(text.c_str()));
    return text;
}

// One call of RebuildParadoxTable after a successful TUInit: what it opened and allocated,
// released by the destructor on every way out.
class TRebuildRun {
public:
    TRebuildRun(const TTableUtilityCalls& tu, tutil::hTUses handle, std::string tablePath,
                tutil::TRebuildReport* report, const TStructureSource* structure)
        : tu_(tu), handle_(handle), tableName_(std::move(tablePath)), fileName_(rtl::ExtractFileName(tableName_)),
          report_(report), structure_(structure) {}
    ~TRebuildRun();
    TRebuildRun(const TRebuildRun&) = delete;
    TRebuildRun& operator=(const TRebuildRun&) = delete;

    // Whether the table was rebuilt; every reason it was not has been shown.
    bool Run();

private:
    bool FailWith(const std::string& message, ui::TMsgIcon icon) {
        ui::Ui().SetBusyCursor(false);
        ShowRepairMessage(message, icon);
        shown_ = message;
        return false;
    }

    const TTableUtilityCalls& tu_;
    tutil::hTUses handle_;
    const std::string tableName_;
    const std::string password_;
    const std::string fileName_;
    tutil::TRebuildReport* report_;
    const TStructureSource* structure_;
    std::string shown_;
    bool headerRefused_ = false;
    bool rebuilt_ = false;
    bool rebuildCalled_ = false;

    tutil::CRTblDesc desc_{};
    std::uint16_t counts_[7] = {};
    tutil::CURProps props_;
    bool engineOpened_ = false;
    engine::hDBIDb database_ = nullptr;
    tutil::TDescriptorArrays arrays_;  // freed with the run
};

bool TRebuildRun::Run() {
    // Only the table's own header can be refused for what it says; a borrowed one was checked.
    const auto refusedHeader = [this](tutil::TUResult code) {
        headerRefused_ = !structure_ && code == tutil::TUERR_NOTATABLE;
    };
    if (structure_) {
        const auto* head = reinterpret_cast<const std::uint8_t*>(structure_->Head.data());
        if (const auto code = tu_.SetStructureSource(handle_, tableName_.c_str(), structure_->Name.c_str(), head,
                                                     structure_->Head.size(), structure_->Size);
            code != tutil::TUERR_NONE)
            return FailWith(rtl::Format(rtl::TMsg::RebuildTableError, {fileName_, LibraryText(tu_, code)}),
                            ui::TMsgIcon::Error);
    }
    if (const auto code = tu_.GetCRTblDescCount(handle_, tableName_.c_str(), &counts_[0], &counts_[1], &counts_[2],
                                                &counts_[3], &counts_[4], &counts_[5], &counts_[6]);
        code != tutil::TUERR_NONE) {
        refusedHeader(code);
        return FailWith(rtl::Format(rtl::TMsg::RebuildDescriptorError, {fileName_}), ui::TMsgIcon::Error);
    }
    if (const auto code = tu_.FillCURProps(handle_, tableName_.c_str(), &props_); code != tutil::TUERR_NONE) {
        refusedHeader(code);
        return FailWith(rtl::Format(rtl::TMsg::RebuildTableError, {fileName_, LibraryText(tu_, code)}), ui::TMsgIcon::Error);
    }
    engine::DbiInit(nullptr);
    engine::DbiOpenDatabase(nullptr, nullptr, engine::dbiREADWRITE, engine::dbiOPENSHARED, nullptr, 0, nullptr, nullptr,
                            &database_);
    engineOpened_ = true;
    if (props_.bProtected)
        return FailWith(rtl::Format(rtl::TMsg::RebuildTableErrorBare, {fileName_}), ui::TMsgIcon::Error);
    arrays_.Allocate(counts_, desc_);
    ui::Ui().SetBusyCursor(true);
    if (tu_.FillCRTblDesc(handle_, &desc_, tableName_.c_str(), password_.c_str()) != tutil::TUERR_NONE)
        return FailWith(rtl::Format(rtl::TMsg::RebuildUnknownTableError, {fileName_}), ui::TMsgIcon::Information);
    engine::DbiRegisterCallBack(nullptr, engine::cbGENPROGRESS, 0, sizeof(engine::CBPROGRESSDesc), &ProgressBuffer(),
                                &RebuildProgressCallback);
    rebuildCalled_ = true;
    if (const auto code = tu_.RebuildTable(handle_, tableName_.c_str(), "PARADOX", "BACKUP.DB", "KEYVIOL.DB",
                                           "PROBLEM.DB", &desc_);
        code != tutil::TUERR_NONE) {
        refusedHeader(code);
        return FailWith(rtl::Format(rtl::TMsg::RebuildFailed, {LibraryText(tu_, code)}), ui::TMsgIcon::Information);
    }

    ui::Ui().SetBusyCursor(false);
    rebuilt_ = true;
    // Rebuilt, but not whole: rows the header counted were found nowhere. The table keeps the
    // rows found; the operator must hear of the others, which only the backup may hold.
    tutil::TRebuildReport done;
    if (tu_.GetRebuildReport(handle_, &done) == tutil::TUERR_NONE && done.RowsNotFound > 0)
        ShowRepairMessage(rtl::Format(rtl::TMsg::RebuildRowsNotFound,
                                      {fileName_, std::to_string(done.RowsNotFound), done.CompanionDirectory}),
                          ui::TMsgIcon::Warning);
    // The rebuilt table opens and counts; the outcome changes nothing.
    engine::hDBICur cursor = nullptr;
    if (engine::DbiOpenTable(database_, tableName_.c_str(), "PARADOX", nullptr, nullptr, 0, engine::dbiREADWRITE,
                             engine::dbiOPENSHARED, engine::xltFIELD, false, nullptr, &cursor) == engine::DBIERR_NONE) {
        std::uint32_t count = 0;
        engine::DbiGetRecordCount(cursor, &count);
        engine::DbiCloseCursor(&cursor);
    }
    return true;
}

TRebuildRun::~TRebuildRun() {
    if (engineOpened_) {
        if (database_) engine::DbiCloseDatabase(&database_);
        engine::DbiExit();
    }
    if (report_) {
        *report_ = tutil::TRebuildReport{};
        if (rebuildCalled_) tu_.GetRebuildReport(handle_, report_);
        if (report_->TablePath.empty()) report_->TablePath = tableName_;
        report_->Rebuilt = rebuilt_;
        report_->HeaderRefused = headerRefused_;
        if (!rebuilt_) report_->Failure = shown_;
    }
    tu_.Exit(handle_);
    ui::Ui().SetBusyCursor(false);
}

} // namespace

bool RebuildParadoxTable(const std::string& tablePath, tutil::TRebuildReport* report,
                         const TStructureSource* structure) {
    const TTableUtilityCalls& tu = TableUtility();
    ui::Ui().SetBusyCursor(true);
    tutil::hTUses handle = 0;
    if (tu.Init(&handle) != tutil::TUERR_NONE) {
        ui::Ui().SetBusyCursor(false);
        throw rtl::EError(rtl::Text(rtl::TMsg::RebuildLibraryInitFailed));
    }
    TRebuildRun run(tu, handle, tablePath, report, structure);
    return !run.Run();  // the callers' sense: true when the table was not rebuilt
}

void ShowRepairMessage(const std::string& text, ui::TMsgIcon icon) {
    ui::TMessageRequest request;
    request.caption = rtl::Text(rtl::TMsg::RebuildCaption);
    request.text = text;
    request.icon = icon;
    request.buttons = ui::TMsgButtons::Ok;
    ui::Ui().ShowMessage(request);
}

engine::CBRType RebuildProgressCallback(engine::CBType, std::uintptr_t, void*) {
    ui::Ui().ProcessMessages();
    return engine::cbrUSEDEF;
}

} // namespace rebuild
