#include "app/DialogFont.h"

#include <QStringList>

QFont DialogFont(int pointSize) {
    QFont font;
    font.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Sans Serif")});
    font.setPointSize(pointSize);
    return font;
}
