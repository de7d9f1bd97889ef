#include "tools/common/RunNotices.h"

namespace tools {

void PrintRunNotices(std::ostream& err, const std::string& prefix, const std::vector<engine::TRunNotice>& notices) {
    for (const auto& n : notices) err << prefix << engine::RunNoticeText(n) << '\n';
}

TJson RunNoticesJson(const std::vector<engine::TRunNotice>& notices) {
    TJson json = TJson::array();
    for (const auto& n : notices) {
        TJson item{{"outcome", engine::RunNoticeOutcome(n.Kind)}};
        if (!n.Table.empty()) item["table"] = n.Table;
        if (n.Kind == engine::TRunNotice::TKind::LinkLeftAlone) item["link"] = n.Detail;
        else if (!n.Detail.empty()) item["reason"] = n.Detail;
        item["text"] = engine::RunNoticeText(n);
        json.push_back(std::move(item));
    }
    return json;
}

} // namespace tools
