#include "app/PathEdit.h"

#include "app/FileListTexts.h"
#include "app/StandardErrorBox.h"

#include <QAction>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QStyle>

namespace app {

TPathEdit::TPathEdit(TKind kind, QWidget* parent) : QLineEdit(parent), kind_(kind) {
    const QIcon icon = style()->standardIcon(kind == TKind::Directory ? QStyle::SP_DirOpenIcon
                                                                     : QStyle::SP_DialogOpenButton);
    browse_ = addAction(icon, QLineEdit::TrailingPosition);
    browse_->setObjectName(QStringLiteral("BrowseAction"));
    browse_->setToolTip(QStringLiteral("Prehľadávať..."));
    connect(browse_, &QAction::triggered, this, [this] { Guarded([this] { Browse(); }); });
}

void TPathEdit::SetBrowseEnabled(bool enabled) {
    browse_->setEnabled(enabled);
}

bool TPathEdit::BrowseEnabled() const {
    return browse_->isEnabled();
}

void TPathEdit::SetDialog(const QString& title, const QString& filter, const QString& defaultSuffix) {
    title_ = title;
    filter_ = filter;
    defaultSuffix_ = defaultSuffix;
}

std::unique_ptr<QFileDialog> TPathEdit::MakeDialog() {
    auto dialog = std::make_unique<QFileDialog>(window());
    dialog->setProxyModel(new TFileListTexts(dialog.get()));
    const QFileInfo current(text());
    if (kind_ == TKind::Directory) {
        dialog->setFileMode(QFileDialog::Directory);
        dialog->setOption(QFileDialog::ShowDirsOnly);
        if (!title_.isEmpty()) dialog->setWindowTitle(title_);
        if (!text().isEmpty()) dialog->setDirectory(text());
        return dialog;
    }
    dialog->setWindowTitle(title_);
    dialog->setFileMode(kind_ == TKind::ExistingFile ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    dialog->setNameFilter(filter_);
    dialog->setDefaultSuffix(defaultSuffix_);
    if (!text().isEmpty()) {
        dialog->setDirectory(current.absolutePath());
        dialog->selectFile(current.fileName());
    }
    return dialog;
}

void TPathEdit::Browse() {
    auto dialog = MakeDialog();
    if (dialog->exec() != QDialog::Accepted) return;
    const QStringList chosen = dialog->selectedFiles();
    if (!chosen.isEmpty()) setText(QDir::toNativeSeparators(chosen.first()));
}

} // namespace app
