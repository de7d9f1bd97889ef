// An edit for a directory or a file name with a browse button at its right end that
// opens the folder dialog or a file dialog and puts the choice into the edit.
#pragma once

#include <QLineEdit>

#include <memory>

class QAction;
class QFileDialog;

namespace app {

class TPathEdit : public QLineEdit {
    Q_OBJECT
public:
    enum class TKind { Directory, NewOrExistingFile, ExistingFile };

    TPathEdit(TKind kind, QWidget* parent);

    // File dialogs: title, filter in Qt's form ("Zip files (*.zip)") and default extension.
    void SetDialog(const QString& title, const QString& filter, const QString& defaultSuffix);

    // The dialog the browse button opens, set up but not shown.
    std::unique_ptr<QFileDialog> MakeDialog();

    // Opens the dialog; an accepted choice replaces the text (which fires textChanged).
    void Browse();

    // The browse button alone, while typing stays possible.
    void SetBrowseEnabled(bool enabled);
    bool BrowseEnabled() const;

private:
    QAction* browse_ = nullptr;
    TKind kind_;
    QString title_, filter_, defaultSuffix_;
};

} // namespace app
