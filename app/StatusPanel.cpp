#include "app/StatusPanel.h"

#include <QPainter>

#include <algorithm>

namespace app {

QString TStatusPanel::ShownText() const {
    const int room = contentsRect().width() - 2 * margin() - 2 * std::max(0, indent());
    return fontMetrics().elidedText(text(), Qt::ElideMiddle, std::max(0, room));
}

void TStatusPanel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    drawFrame(&painter);
    const QString shown = ShownText();
    // Set here, where the width the text meets is known.
    setToolTip(shown == text() ? QString() : text());
    painter.setPen(palette().color(foregroundRole()));
    painter.drawText(contentsRect().adjusted(margin(), margin(), -margin(), -margin()),
                     static_cast<int>(alignment()), shown);
}

} // namespace app
