#include "app/WindowFont.h"

#include <QFontDatabase>

namespace app {

QFont WindowFont() {
    const QString face = QStringLiteral("MS Sans Serif");
    QFont font = QFontDatabase::hasFamily(face) ? QFont(face) : QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPointSize(8);
    font.setBold(false);
    return font;
}

QFont BoldWindowFont() {
    QFont font = WindowFont();
    font.setBold(true);
    return font;
}

} // namespace app
