#include "platform/tutil/BorrowedStructure.h"

#include "platform/tutil/RecoveredRows.h"

#include "platform/engine/EngineErrors.h"
#include "platform/engine/ParadoxGeometry.h"
#include "platform/engine/ParadoxWriters.h"
#include "platform/rtl/Messages.h"
#include "platform/tutil/RecordValidation.h"
#include "platform/tutil/UtilityFailure.h"

#include <algorithm>

namespace tutil {

using namespace engine::paradox;

namespace {

constexpr std::size_t FixedPartSize = 0x58;

[[noreturn]] void NotSound(const std::string& source, const std::string& why) {
    Fail(TUERR_NOTATABLE, rtl::Format(rtl::TMsg::StructureNotSound, {source, why}));
}

std::uint32_t Le(const std::uint8_t* p, int bytes) {
    std::uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | p[i];
    return v;
}

} // namespace

TBorrowedStructure ReadBorrowedStructure(const std::string& source, std::string head, std::uint64_t size) {
    TBorrowedStructure s;
    s.Source = source;
    const std::size_t held = head.size();
    try {
        TProblemList problems;
        s.Header = ReadTableHeader(*TRandomAccessFile::FromBytes(source, head, size), problems);
    } catch (const engine::EDBEngineError& e) {
        NotSound(source, e.Message());
    }
    const TTableHeader& h = s.Header;
    if (!h.IsDataFile()) NotSound(source, rtl::Text(rtl::TMsg::StructureNotData));
    if (h.IsEncrypted()) NotSound(source, rtl::Text(rtl::TMsg::StructureEncrypted));
    if (!h.LayoutProblem.empty()) NotSound(source, h.LayoutProblem);
    if (std::string why = UnusableFieldList(h); !why.empty()) NotSound(source, why);
    if (h.HeaderSize > held || h.HeaderSize > size)
        NotSound(source, rtl::Format(rtl::TMsg::StructureCutOff,
                                     {std::to_string(std::min<std::uint64_t>(held, size)), std::to_string(h.HeaderSize)}));
    if (h.ContentSize > h.HeaderSize)
        NotSound(source, rtl::Format(rtl::TMsg::EngineHeaderSizeShort,
                                     {source, std::to_string(h.HeaderSize), std::to_string(h.ContentSize)}));
    if (h.Version >= 5 && h.FieldNumbers.size() != h.Fields.size())
        NotSound(source, rtl::Text(rtl::TMsg::StructureNoFieldNumbers));
    if (h.IsKeyed() && h.KeyFieldCount > 0 && PrimaryKeySize(h) == 0)
        NotSound(source, rtl::Format(rtl::TMsg::RebuildKeyTakesNoRoom, {source}));
    s.HeaderBytes.assign(head.begin(), head.begin() + h.HeaderSize);
    return s;
}

TTableHeader HeaderUnder(const TBorrowedStructure& s, const std::string& dataPath) {
    TTableHeader h = s.Header;
    const auto file = TRandomAccessFile::Open(dataPath);
    h.FileSize = file->Size();
    std::uint8_t own[FixedPartSize] = {};
    file->ReadAt(0, own, sizeof own);
    // Values beyond what the file can hold are damage of their own: the chain is read from the
    // blocks then, and no row count is taken on trust.
    const std::uint32_t blocks = h.PhysicalBlocks();
    const auto block = [&](std::size_t at) {
        const std::uint32_t n = Le(own + at, 2);
        return static_cast<std::uint16_t>(n <= blocks ? n : 0);
    };
    const std::uint32_t rows = Le(own + 0x06, 4);
    h.RecordCount = rows <= static_cast<std::uint64_t>(blocks) * static_cast<std::uint64_t>(h.Capacity()) ? rows : 0;
    h.BlocksInUse = block(0x0A);
    h.BlocksAllocated = static_cast<std::uint16_t>(std::max<std::uint32_t>(block(0x0C), h.BlocksInUse));
    h.FirstBlock = block(0x0E);
    h.LastBlock = block(0x10);
    h.FirstFreeBlock = block(0x4D);
    // The counter only from a fixed part that still names the table's kind and version; a
    // counter below the rows' keys is raised by the rebuild in any case.
    if (own[0x04] == s.Header.FileType && own[0x39] == s.Header.Version)
        h.AutoIncrement = std::max(h.AutoIncrement, Le(own + 0x49, 4));
    return h;
}

std::string StructureMisfit(const TParadoxTable& table) {
    const TTableHeader& h = table.Header();
    if (std::string why = BlocksMisfit(table.File(), h, h.FirstBlock); !why.empty()) return why;
    // Every row the rebuild would read: the chain's and those of blocks outside it (all of
    // them when the header that named the chain was wiped).
    const TRecordChecker checker(h);
    std::uint64_t rows = 0, faulty = 0;
    TProblemList ignored;
    TRecoveredRows(table, ignored)
        .ForEach(
            [&](const TRecoveredRow& r) {
                ++rows;
                if (!r.Partial && checker.Check(r.Bytes)) ++faulty;
            },
            [](std::uint32_t, std::uint32_t) {});
    if (faulty * 10 > rows)
        return rtl::Format(rtl::TMsg::FitValuesMisfit, {std::to_string(faulty), std::to_string(rows)});
    return {};
}

} // namespace tutil
