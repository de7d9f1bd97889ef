#include "platform/engine/TableCopy.h"

#include "platform/engine/EngineObjects.h"
#include "platform/engine/TableFamily.h"
#include "platform/engine/paradox/HeaderWriter.h"
#include "platform/engine/paradox/ParadoxTable.h"
#include "platform/engine/paradox/TableRewrite.h"
#include "platform/rtl/Paths.h"
#include "platform/rtl/Messages.h"

namespace engine {

void CopyTable(const std::string& sourcePath, const std::string& destPathIn) {
    const auto source = paradox::OpenTableByPath(sourcePath);
    const paradox::TTableHeader& h = source->Header();
    if (h.IsEncrypted())
        throw EDBEngineError(rtl::Format(rtl::TMsg::TablePasswordProtected, {sourcePath}), TEngineErrorKind::Encrypted);
    std::string destPath = destPathIn;
    if (TableBaseName(destPath) == rtl::ExtractFileName(destPath)) destPath += ".db";
    const std::string destDir = rtl::ExtractFileDir(destPath);
    if (!FindTableFamily(destDir.empty() ? "." : destDir, TableBaseName(destPath)).empty())
        throw EDBEngineError(rtl::Format(rtl::TMsg::TableAlreadyExists, {destPath}), TEngineErrorKind::AlreadyExists);

    paradox::TTableLayout layout;
    for (const auto& f : h.Fields) layout.Fields.push_back(paradox::TLayoutField{f.Name, f.TypeCode, f.SizeByte});
    layout.KeyFieldCount = h.IsKeyed() ? h.KeyFieldCount : 0;
    layout.BlockSize = h.BlockSize;
    paradox::TakeCodePage(h, layout);
    layout.AutoIncrement = h.Version >= 5 ? h.AutoIncrement : 0;  // older files count changes there
    layout.TableName = rtl::ExtractFileName(destPath);
    paradox::CreateTableFiles(destPath, layout);
    try {
        TTable from;
        from.TableName = source->Path();
        TTable to;
        to.TableName = destPath;
        TBatchMove move;
        move.Source = &from;
        move.Destination = &to;
        move.AbortOnKeyViol = true;
        move.Execute();
    } catch (...) {
        for (const auto& path : FindTableFamily(destDir.empty() ? "." : destDir, TableBaseName(destPath)))
            paradox::RemoveQuietly(path);
        throw;
    }
}

} // namespace engine
