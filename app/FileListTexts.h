// The file list of Qt's own file dialog in the window's language. Qt words a folder's type
// ("Folder", "zip File") and formats sizes and dates by the system's locale, not by the
// application's; this proxy shows them in the default locale, which the program sets to
// Slovak.
#pragma once

#include <QIdentityProxyModel>

namespace app {

class TFileListTexts final : public QIdentityProxyModel {
public:
    using QIdentityProxyModel::QIdentityProxyModel;
    QVariant data(const QModelIndex& index, int role) const override;
};

} // namespace app
