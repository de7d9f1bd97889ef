#include "platform/engine/paradox/TableProblem.h"
#include "platform/rtl/Messages.h"

#include <cstdio>

namespace engine::paradox {

const char* ProblemKindName(TProblemKind kind) {
    switch (kind) {
    case TProblemKind::Header: return "header";
    case TProblemKind::BlockRange: return "block-range";
    case TProblemKind::ChainLoop: return "chain-loop";
    case TProblemKind::BackLink: return "back-link";
    case TProblemKind::RecordOffset: return "record-offset";
    case TProblemKind::ChainLength: return "chain-length";
    case TProblemKind::RecordCount: return "record-count";
    case TProblemKind::Truncated: return "truncated";
    case TProblemKind::TKeyOrder: return "key-order";
    case TProblemKind::FreeList: return "free-list";
    case TProblemKind::OrphanBlock: return "orphan-block";
    case TProblemKind::Blob: return "blob";
    case TProblemKind::MemoFile: return "memo-file";
    case TProblemKind::PrimaryIndex: return "primary-index";
    case TProblemKind::SecondaryIndex: return "secondary-index";
    case TProblemKind::AutoIncrement: return "autoincrement";
    case TProblemKind::Encrypted: return "encrypted";
    }
    return "unknown";
}

namespace {

std::string Hex(std::uint64_t value) {
    char buf[24];
    std::snprintf(buf, sizeof buf, "%llx", static_cast<unsigned long long>(value));
    return buf;
}

} // namespace

std::string TTableProblem::Describe() const {
    std::string s = File.empty() ? std::string() : File + ": ";
    if (Block != 0) {
        s += rtl::Format(rtl::TMsg::ProblemBlock, {std::to_string(Block)});
        if (Offset != 0) s += rtl::Format(rtl::TMsg::ProblemBlockOffset, {Hex(Offset)});
        s += ": ";
    } else if (Offset != 0) {
        s += rtl::Format(rtl::TMsg::ProblemOffset, {Hex(Offset)});
    }
    return s + Text;
}

} // namespace engine::paradox
