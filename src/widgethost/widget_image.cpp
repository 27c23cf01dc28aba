#include "widget_image.h"

#include <QPainter>
#include <cmath>

QImage renderWidgetImage(const WidgetExtension& extension, const QString& kind, WidgetFamily family,
                         const LimitEntry& entry, const WidgetRenderOptions& options,
                         Timestamp drawingTime, qreal scale) {
    const QSizeF size = extension.familySize(family);
    QImage image(static_cast<int>(std::ceil(size.width() * scale)),
                 static_cast<int>(std::ceil(size.height() * scale)),
                 QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(scale);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing |
                           QPainter::SmoothPixmapTransform);
    extension.paint(painter, QRectF(QPointF(0, 0), size), kind, family, entry, options,
                    drawingTime);
    return image;
}
