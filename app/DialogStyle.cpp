#include "app/DialogStyle.h"

#include "app/ProgramImages.h"

#include <QPushButton>
#include <QStringList>

QFont DialogFont(int pointSize) {
    QFont font;
    font.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Sans Serif")});
    font.setPointSize(pointSize);
    return font;
}

void SetUpFixedDialog(QDialog& dialog, const QString& objectName, const QString& caption, int width, int height) {
    dialog.setObjectName(objectName);
    dialog.setWindowTitle(caption);
    dialog.setWindowIcon(ProgramIcon());
    dialog.setFont(DialogFont());
    dialog.setFixedSize(width, height);
}

QPushButton* AddCloseButton(QDialog& dialog, int x, int y) {
    auto* button = new QPushButton(QStringLiteral("&Zatvoriť"), &dialog);
    button->setObjectName(QStringLiteral("CloseBtn"));
    button->setGeometry(x, y, 75, 25);
    button->setDefault(true);
    QObject::connect(button, &QPushButton::clicked, &dialog, &QDialog::accept);
    return button;
}
