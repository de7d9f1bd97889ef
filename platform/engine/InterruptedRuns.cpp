#include "platform/engine/InterruptedRuns.h"

#include "platform/engine/TableFamily.h"
#include "platform/rtl/Messages.h"

#include <algorithm>
#include <mutex>
#include <set>
#include <tuple>

namespace engine {

namespace {

using TKey = std::tuple<int, std::string, std::string, std::string>;

struct TNotices {
    std::mutex Mutex;
    std::vector<TRunNotice> Waiting;
    std::set<TKey> Told;
};

TNotices& Notices() {
    static TNotices notices;
    return notices;
}

TKey KeyOf(const TRunNotice& n) { return {static_cast<int>(n.Kind), n.Directory, n.Table, n.Detail}; }

bool IsOutcome(TRunNotice::TKind kind) {
    return kind == TRunNotice::TKind::ChangeCompleted || kind == TRunNotice::TKind::ChangeLeft;
}

} // namespace

void NoteRun(TRunNotice notice) {
    // One directory, however a caller spells it, is told about once.
    while (notice.Directory.size() > 1 && (notice.Directory.back() == '/' || notice.Directory.back() == '\\'))
        notice.Directory.pop_back();
    TNotices& n = Notices();
    const std::lock_guard<std::mutex> lock(n.Mutex);
    n.Waiting.push_back(std::move(notice));
}

std::vector<TRunNotice> TakeRunNotices() {
    TNotices& n = Notices();
    const std::lock_guard<std::mutex> lock(n.Mutex);
    std::vector<TRunNotice> taken;
    auto decided = [&](const TRunNotice& pending) {
        const auto same = [&](const TRunNotice& o) {
            return IsOutcome(o.Kind) && o.Directory == pending.Directory && o.Table == pending.Table;
        };
        return std::any_of(n.Waiting.begin(), n.Waiting.end(), same);
    };
    for (const TRunNotice& notice : n.Waiting) {
        if (notice.Kind == TRunNotice::TKind::ChangePending && decided(notice)) continue;
        if (n.Told.insert(KeyOf(notice)).second) taken.push_back(notice);
    }
    n.Waiting.clear();
    return taken;
}

void NoteEndedRunFiles(const std::string& dir, const std::string& table, const rtl::TEndedRunFiles& found,
                       TRunNotice::TKind removed) {
    if (!found.Removed.empty()) NoteRun(TRunNotice{removed, dir, table, {}, {}});
    for (const std::string& link : found.Links) NoteRun(TRunNotice{TRunNotice::TKind::LinkLeftAlone, dir, {}, link, {}});
}

std::string TableOfFileName(const std::string& fileName) {
    std::string name = fileName;
    const std::string_view journal = ".journal";
    if (IsWorkFileName(name) && name.size() > journal.size() + 2 && name.ends_with(journal))
        name = name.substr(2, name.size() - 2 - journal.size());
    const auto dot = name.rfind('.');
    const std::string base = dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
    const std::string table = TableOfWorkTable(base);
    return table.empty() ? base : table;
}

std::string RunNoticeText(const TRunNotice& notice) {
    using K = TRunNotice::TKind;
    switch (notice.Kind) {
    case K::ChangeCompleted: return rtl::Format(rtl::TMsg::RunChangeCompleted, {notice.Table});
    case K::ChangeLeft: return rtl::Format(rtl::TMsg::RunChangeLeft, {notice.Table, notice.Detail, notice.JournalFile});
    case K::ChangePending:
        return notice.Detail.empty()
                   ? rtl::Format(rtl::TMsg::RunChangePending, {notice.Table})
                   : rtl::Format(rtl::TMsg::RunChangePendingRefused, {notice.Table, notice.Detail, notice.JournalFile});
    case K::TemporariesRemoved: return rtl::Format(rtl::TMsg::RunTemporariesRemoved, {notice.Table});
    case K::WorkCopyRemoved: return rtl::Format(rtl::TMsg::RunWorkCopyRemoved, {notice.Table});
    case K::RestoreLeftovers: return rtl::Text(rtl::TMsg::RunRestoreLeftovers);
    case K::LinkLeftAlone: return rtl::Format(rtl::TMsg::RunLinkLeftAlone, {notice.Detail});
    }
    return {};
}

const char* RunNoticeOutcome(TRunNotice::TKind kind) {
    using K = TRunNotice::TKind;
    switch (kind) {
    case K::ChangeCompleted: return "completed";
    case K::ChangeLeft: return "left as it was";
    case K::ChangePending: return "pending";
    case K::TemporariesRemoved: return "unfinished files removed";
    case K::WorkCopyRemoved: return "work copy removed";
    case K::RestoreLeftovers: return "restore leftovers removed";
    case K::LinkLeftAlone: return "link left alone";
    }
    return "";
}

bool AnyTableHeld(const std::vector<TRunNotice>& notices) {
    return std::any_of(notices.begin(), notices.end(),
                       [](const TRunNotice& n) { return n.Kind == TRunNotice::TKind::ChangeLeft; });
}

} // namespace engine
