#include "app/FileListTexts.h"

#include <QFileSystemModel>
#include <QLocale>

namespace app {

namespace {

// The columns of Qt's file system model.
constexpr int SizeColumn = 1, TypeColumn = 2, DateColumn = 3;

} // namespace

QVariant TFileListTexts::data(const QModelIndex& index, int role) const {
    const auto* files = qobject_cast<const QFileSystemModel*>(sourceModel());
    if (!files || role != Qt::DisplayRole || !index.isValid()) return QIdentityProxyModel::data(index, role);
    const QModelIndex source = mapToSource(index);
    const QLocale locale;
    switch (index.column()) {
    case SizeColumn:
        if (files->isDir(source)) return QString();
        return locale.formattedDataSize(files->size(source));
    case TypeColumn: {
        if (files->isDir(source)) return QStringLiteral("Priečinok");
        const QString suffix = files->fileInfo(source).suffix();
        return suffix.isEmpty() ? QStringLiteral("Súbor") : QStringLiteral("Súbor %1").arg(suffix);
    }
    case DateColumn:
        return locale.toString(files->lastModified(source), QLocale::ShortFormat);
    default:
        return QIdentityProxyModel::data(index, role);
    }
}

} // namespace app
