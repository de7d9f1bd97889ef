// The library's calls: sessions, the descriptor calls and the rebuild, each turning every
// failure inside into a result code.
#include "platform/tutil/TableUtility.h"

#include "platform/engine/EngineErrors.h"
#include "platform/engine/ParadoxTables.h"
#include "platform/tutil/TableFacts.h"
#include "platform/tutil/TableRebuild.h"
#include "platform/tutil/UtilityFailure.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <new>
#include <optional>

namespace tutil {

namespace {

// The seven counts in the order TUGetCRTblDescCount reports them.
using TCounts = std::array<std::uint16_t, 7>;

TCounts CountsOf(const TTableFacts& facts) {
    return {static_cast<std::uint16_t>(facts.FieldCount()),
            static_cast<std::uint16_t>(facts.IndexCount()),
            static_cast<std::uint16_t>(facts.SecurityCount()),
            static_cast<std::uint16_t>(facts.ValidityCount()),
            static_cast<std::uint16_t>(TTableFacts::ReferentialCount()),
            static_cast<std::uint16_t>(TTableFacts::OptionalParameterCount()),
            static_cast<std::uint16_t>(TTableFacts::OptionalDataLength())};
}

struct TSession {
    hTUses Handle = 0;
    bool Open = false;
    TRebuildReport LastReport;
    // What the last count read, by table: the caller sized the descriptor's arrays by it.
    std::string CountedTable;
    TCounts Counted{};
    // The table read under a structure from elsewhere (its data file), and that structure.
    std::string StructureTable;
    std::optional<TBorrowedStructure> Structure;
};

TSession& Session() {
    static TSession session;
    return session;
}

hTUses& LastHandle() {
    static hTUses last = 0;
    return last;
}

bool ValidHandle(hTUses handle) { return Session().Open && Session().Handle == handle && handle != 0; }

// Runs `body`, turning every failure into a result code.
template <class TBody>
TUResult Guarded(TBody&& body) {
    try {
        body();
        return TUERR_NONE;
    } catch (const TUtilFailure& e) {
        RememberFailure(e.Code(), e.what());
        return e.Code();
    } catch (const std::bad_alloc&) {
        RememberFailure(TUERR_INTERNAL, "out of memory");
        return TUERR_INTERNAL;
    } catch (const std::exception& e) {
        RememberFailure(TUERR_INTERNAL, e.what());
        return TUERR_INTERNAL;
    }
}

void RequireSession(hTUses handle) {
    if (!ValidHandle(handle)) Fail(TUERR_INVALIDHANDLE);
}

std::string RequireName(const char* name) {
    if (!name || !*name) Fail(TUERR_INVALIDPARAM, "no table name");
    return name;
}

// The structure the session reads `tableName` under, null for its own header.
const TBorrowedStructure* StructureOf(const std::string& tableName) {
    const TSession& s = Session();
    if (!s.Structure) return nullptr;
    return FindTableDataFile(tableName) == s.StructureTable ? &*s.Structure : nullptr;
}

TTableFacts FactsOf(const std::string& tableName) { return ReadTableFacts(tableName, StructureOf(tableName)); }

void PutSlot(std::uint8_t* data, int slot, const std::string& value) {
    std::uint8_t* p = data + static_cast<std::size_t>(slot) * OptionalDataUnit;
    std::memset(p, 0, OptionalDataUnit);
    std::memcpy(p, value.data(), std::min(value.size(), OptionalDataUnit - 1));
}

} // namespace

TUResult TUInit(hTUses* handle) {
    return Guarded([&] {
        if (!handle) Fail(TUERR_INVALIDPARAM, "no place for the handle");
        *handle = 0;
        if (Session().Open) Fail(TUERR_BUSY);
        hTUses next = static_cast<hTUses>(LastHandle() + 1);
        if (next == 0) next = 1;
        LastHandle() = next;
        Session() = TSession{next, true, {}, {}, {}, {}, {}};
        *handle = next;
    });
}

TUResult TUExit(hTUses handle) {
    return Guarded([&] {
        RequireSession(handle);
        Session() = TSession{};
    });
}

TUResult TUGetCRTblDescCount(hTUses handle, const char* tableName, std::uint16_t* fields, std::uint16_t* indexes,
                             std::uint16_t* securityRecords, std::uint16_t* validityChecks,
                             std::uint16_t* referentialLinks, std::uint16_t* optionalParameters,
                             std::uint16_t* optionalDataLength) {
    return Guarded([&] {
        RequireSession(handle);
        if (!fields || !indexes || !securityRecords || !validityChecks || !referentialLinks || !optionalParameters ||
            !optionalDataLength)
            Fail(TUERR_INVALIDPARAM, "no place for a count");
        const TTableFacts facts = FactsOf(RequireName(tableName));
        const TCounts counts = CountsOf(facts);
        std::uint16_t* const out[] = {fields,           indexes,           securityRecords,   validityChecks,
                                      referentialLinks, optionalParameters, optionalDataLength};
        for (std::size_t i = 0; i < counts.size(); ++i) *out[i] = counts[i];
        Session().CountedTable = facts.DataPath;
        Session().Counted = counts;
    });
}

TUResult TUFillCURProps(hTUses handle, const char* tableName, CURProps* props) {
    return Guarded([&] {
        RequireSession(handle);
        if (!props) Fail(TUERR_INVALIDPARAM, "no properties record");
        const TTableFacts facts = FactsOf(RequireName(tableName));
        const auto& h = facts.Header;
        CURProps p;
        p.szName = facts.DataPath.substr(facts.DataPath.find_last_of('/') + 1);
        p.szTableType = "PARADOX";
        p.iFields = static_cast<std::uint16_t>(facts.FieldCount());
        p.iRecSize = h.RecordSize;
        p.iKeyFields = h.IsKeyed() ? h.KeyFieldCount : 0;
        for (int i = 0; i < p.iKeyFields && i < facts.FieldCount(); ++i)
            p.iKeySize = static_cast<std::uint16_t>(p.iKeySize + h.Fields[static_cast<std::size_t>(i)].Size);
        p.iIndexes = static_cast<std::uint16_t>(facts.IndexCount());
        p.iValChecks = static_cast<std::uint16_t>(facts.ValidityCount());
        p.iRefIntChecks = 0;
        p.iBlockSize = static_cast<std::uint16_t>(h.BlockSize / 1024);
        p.iTblLevel = h.Version;
        p.iCodePage = h.CodePage;
        p.szSortOrder = h.SortOrderName;
        p.iRecords = h.RecordCount;
        p.bProtected = h.IsEncrypted();
        *props = std::move(p);
    });
}

TUResult TUFillCRTblDesc(hTUses handle, CRTblDesc* desc, const char* tableName, const char*) {
    return Guarded([&] {
        RequireSession(handle);
        if (!desc) Fail(TUERR_INVALIDPARAM, "no descriptor");
        const TTableFacts facts = FactsOf(RequireName(tableName));
        const auto& h = facts.Header;
        // The arrays hold as many elements as the count said; the table may have changed since
        // (another program added an index). Filling by the new reading would write past them.
        if (Session().CountedTable != facts.DataPath)
            Fail(TUERR_INVALIDPARAM, "the descriptor's counts were not read for " + facts.DataPath);
        const TCounts now = CountsOf(facts);
        if (now != Session().Counted) {
            static const char* const names[] = {"fields",           "indexes",           "security records",
                                                "validity checks",  "referential links", "optional parameters",
                                                "optional data"};
            for (std::size_t i = 0; i < now.size(); ++i)
                if (now[i] != Session().Counted[i])
                    Fail(TUERR_DESCMISMATCH, "the table changed after its descriptor was counted: " +
                                                 std::to_string(now[i]) + " " + names[i] + ", " +
                                                 std::to_string(Session().Counted[i]) + " counted");
        }
        if ((facts.FieldCount() > 0 && !desc->pfldDesc) || (facts.IndexCount() > 0 && !desc->pidxDesc) ||
            (facts.SecurityCount() > 0 && !desc->psecDesc) || (facts.ValidityCount() > 0 && !desc->pvchkDesc) ||
            desc->iOptParams != TTableFacts::OptionalParameterCount() || !desc->pfldOptParams || !desc->pOptData)
            Fail(TUERR_INVALIDPARAM, "the descriptor's arrays do not match the counts");
        desc->szTblName = facts.DataPath;
        desc->szTblType = "PARADOX";

        desc->iFldCount = static_cast<std::uint16_t>(facts.FieldCount());
        for (int i = 0; i < facts.FieldCount(); ++i) {
            const auto& f = h.Fields[static_cast<std::size_t>(i)];
            desc->pfldDesc[i] = FLDDesc{static_cast<std::uint16_t>(i + 1), f.Name, f.TypeCode, f.SizeByte,
                                        static_cast<std::uint16_t>(f.Size), static_cast<std::uint16_t>(f.Offset)};
        }

        int ix = 0;
        if (h.IsKeyed()) {
            IDXDesc primary;
            const std::string px = engine::paradox::FindCompanionFile(facts.DataPath, ".px");
            primary.szFileName = px.substr(px.find_last_of('/') + 1);
            primary.bPrimary = primary.bUnique = true;
            primary.iFldsInKey = h.KeyFieldCount;
            for (int k = 0; k < h.KeyFieldCount && k < 16; ++k) primary.aiKeyFld[k] = static_cast<std::uint16_t>(k + 1);
            desc->pidxDesc[ix++] = primary;
        }
        for (const auto& plan : facts.Secondaries) {
            IDXDesc d;
            d.szName = plan.X.IndexName;
            d.szFileName = plan.Name;
            d.bDescending = plan.X.IndexOrder == 0x11;
            d.bMaintained = plan.Maintainable;
            d.iFldsInKey = static_cast<std::uint16_t>(std::min<std::size_t>(plan.Indexed.size(), 16));
            for (std::size_t k = 0; k < d.iFldsInKey; ++k) d.aiKeyFld[k] = static_cast<std::uint16_t>(plan.Indexed[k] + 1);
            desc->pidxDesc[ix++] = d;
        }
        desc->iIdxCount = static_cast<std::uint16_t>(ix);

        desc->iSecRecCount = static_cast<std::uint16_t>(facts.SecurityCount());
        if (facts.SecurityCount() > 0) desc->psecDesc[0] = SECDesc{1, false};
        desc->iValChkCount = static_cast<std::uint16_t>(facts.ValidityCount());
        if (facts.ValidityCount() > 0)
            desc->pvchkDesc[0] = VCHKDesc{0, facts.ValPath.substr(facts.ValPath.find_last_of('/') + 1)};
        desc->iRintCount = 0;

        const std::pair<const char*, std::string> options[] = {
            {OptLevel, std::to_string(h.Version)},
            {OptBlockSize, std::to_string(h.BlockSize)},
            {OptLanguageDriver, h.SortOrderName},
            {OptSortOrderCode, std::to_string(h.SortOrderCode)},
            {OptCodePage, std::to_string(h.CodePage)},
            {OptAutoIncrement, std::to_string(h.AutoIncrement)},
        };
        static_assert(std::size(options) == TTableFacts::OptionalParameterCount());
        for (int i = 0; i < TTableFacts::OptionalParameterCount(); ++i) {
            desc->pfldOptParams[i] = FLDDesc{static_cast<std::uint16_t>(i + 1), options[i].first,
                                             engine::paradox::ftAlpha, static_cast<std::uint8_t>(OptionalDataUnit - 1),
                                             static_cast<std::uint16_t>(OptionalDataUnit),
                                             static_cast<std::uint16_t>(i * OptionalDataUnit)};
            PutSlot(desc->pOptData, i, options[i].second);
        }
    });
}

TUResult TUSetStructureSource(hTUses handle, const char* tableName, const char* source, const std::uint8_t* head,
                              std::size_t headSize, std::uint64_t size) {
    return Guarded([&] {
        RequireSession(handle);
        Session().Structure.reset();
        Session().StructureTable.clear();
        const std::string name = RequireName(tableName);
        if (!head && headSize > 0) Fail(TUERR_INVALIDPARAM, "no header bytes");
        const std::string path = FindTableDataFile(name);
        if (path.empty()) Fail(TUERR_NOSUCHTABLE, name);
        const std::string bytes = head ? std::string(reinterpret_cast<const char*>(head), headSize) : std::string();
        Session().Structure = ReadBorrowedStructure(source ? source : "", bytes, size);
        Session().StructureTable = path;
    });
}

TUResult TURebuildTable(hTUses handle, const char* tableName, const char* driverType, const char* backupName,
                        const char* keyViolationName, const char* problemName, CRTblDesc* desc) {
    return Guarded([&] {
        RequireSession(handle);
        TRebuildReport& report = Session().LastReport;
        report = TRebuildReport{};
        report.TablePath = tableName ? tableName : "";
        try {
            if (!desc) Fail(TUERR_INVALIDPARAM, "no descriptor");
            if (!driverType || std::string(driverType) != "PARADOX")
                Fail(TUERR_UNKNOWNTBLTYPE, driverType ? driverType : "");
            TRebuildRequest request;
            request.TableName = RequireName(tableName);
            request.BackupName = RequireName(backupName);
            request.KeyViolationName = RequireName(keyViolationName);
            request.ProblemName = RequireName(problemName);
            request.Descriptor = desc;
            request.Structure = StructureOf(request.TableName);
            const TRebuildOutcome outcome = RebuildTable(request, report);
            if (!outcome.Replaced()) Fail(outcome.Code, outcome.Reason);
            report.Rebuilt = true;
        } catch (const TUtilFailure& e) {
            report.Failure = e.what();
            throw;
        } catch (const std::exception& e) {
            report.Failure = e.what();
            throw;
        }
    });
}

TUResult TUGetRebuildReport(hTUses handle, TRebuildReport* report) {
    return Guarded([&] {
        RequireSession(handle);
        if (!report) Fail(TUERR_INVALIDPARAM, "no report record");
        *report = Session().LastReport;
    });
}

} // namespace tutil
