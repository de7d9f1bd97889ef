#include "tools/tablora-sample/SampleTableWriter.h"

#include "platform/engine/FieldValueCodec.h"
#include "platform/engine/ParadoxTables.h"
#include "platform/engine/ParadoxWriters.h"
#include "platform/rtl/Paths.h"
#include "tools/tablora-sample/SampleValues.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

namespace sample {

using namespace engine::paradox;

void WriteSampleTable(const std::string& dataPath, const TSampleTable& table, std::uint64_t seed,
                      std::uint64_t rows, std::optional<std::uint32_t> autoIncrement) {
    TTableLayout layout;
    for (const auto& c : table.Columns) layout.Fields.push_back(TLayoutField{c.Name, c.TypeCode, c.SizeByte});
    layout.KeyFieldCount = table.KeyFieldCount;
    layout.BlockSize = table.BlockSize;
    layout.CodePage = table.CodePage ? table.CodePage : SampleCodePage;
    layout.SortOrderCode = table.SortOrderCode;
    layout.SortOrderName = table.SortOrderName;
    layout.TableName = rtl::ExtractFileName(dataPath);
    CreateTableFiles(dataPath, layout);

    TTableRewrite rewrite(dataPath, table.KeyFieldCount);
    const TTableHeader& header = rewrite.Header();
    std::unique_ptr<TMemoWriter> memo;
    if (std::any_of(table.Columns.begin(), table.Columns.end(),
                    [](const TSampleColumn& c) { return IsBlobField(c.TypeCode); }))
        memo = TMemoWriter::OpenForAppend(CompanionPath(dataPath, ".mb"));

    TSampleRandom random(TableSeed(seed, table.Name));
    std::vector<std::uint8_t> record(header.RecordSize);
    std::string blob;
    std::uint32_t largestId = 0;
    for (std::uint64_t row = 0; row < rows; ++row) {
        std::fill(record.begin(), record.end(), std::uint8_t{0});
        for (std::size_t i = 0; i < table.Columns.size(); ++i) {
            const auto value = SampleValue(table.Columns[i], static_cast<int>(i) < table.KeyFieldCount, row, rows,
                                           random);
            const TFieldInfo& field = header.Fields[i];
            blob.clear();
            engine::EncodeValue(field, value, header.EffectiveCodePage(), record.data(), blob);
            if (IsBlobField(field.TypeCode)) memo->Store(blob, record.data() + field.Offset, field.Size);
        }
        if (table.AutoIncrementKey()) largestId = static_cast<std::uint32_t>(row + 1);
        rewrite.Writer().Add(record.data());
    }
    if (memo) memo->Finish();
    rewrite.Commit(autoIncrement.value_or(largestId));
    for (const auto& index : table.Indexes)
        CreateSecondaryIndex(dataPath, index.Fields, index.Name, rtl::ExtractFileDir(dataPath));
}

} // namespace sample
