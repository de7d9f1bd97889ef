#include "app/ProgramImages.h"

#include <QString>

// The resources live in a static library; nothing would pull their registration in unless
// it is asked for by name. (Q_INIT_RESOURCE must be used outside any namespace.)
static void EnsureResources() {
    static const bool registered = [] {
        Q_INIT_RESOURCE(Tablora);
        return true;
    }();
    (void)registered;
}

QIcon ProgramIcon() {
    EnsureResources();
    QIcon icon;
    icon.addFile(QStringLiteral(":/tablora/tablora-32.png"));
    icon.addFile(QStringLiteral(":/tablora/tablora-64.png"));
    return icon;
}

QPixmap ProgramIconPixmap(int size) {
    EnsureResources();
    return QPixmap(size > 32 ? QStringLiteral(":/tablora/tablora-64.png") : QStringLiteral(":/tablora/tablora-32.png"));
}

QPixmap ProjectLogo() {
    EnsureResources();
    return QPixmap(QStringLiteral(":/tablora/logo.png"));
}
