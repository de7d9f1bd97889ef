#include "platform/engine/paradox/TableProblem.h"
#include "platform/rtl/Messages.h"

#include <cstdio>

namespace engine::paradox {

const char* ProblemKindName(ProblemKind kind) {
    switch (kind) {
    case ProblemKind::Header: return "header";
    case ProblemKind::BlockRange: return "block-range";
    case ProblemKind::ChainLoop: return "chain-loop";
    case ProblemKind::BackLink: return "back-link";
    case ProblemKind::RecordOffset: return "record-offset";
    case ProblemKind::ChainLength: return "chain-length";
    case ProblemKind::RecordCount: return "record-count";
    case ProblemKind::Truncated: return "truncated";
    case ProblemKind::KeyOrder: return "key-order";
    case ProblemKind::FreeList: return "free-list";
    case ProblemKind::OrphanBlock: return "orphan-block";
    case ProblemKind::Blob: return "blob";
    case ProblemKind::MemoFile: return "memo-file";
    case ProblemKind::PrimaryIndex: return "primary-index";
    case ProblemKind::SecondaryIndex: return "secondary-index";
    case ProblemKind::AutoIncrement: return "autoincrement";
    case ProblemKind::Encrypted: return "encrypted";
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
