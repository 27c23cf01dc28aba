#include "symbols.h"

#include <QPainter>

bool Symbols::contains(QStringView) {
    return false;
}

QStringList Symbols::names() {
    return {};
}

void Symbols::paint(QPainter&, QStringView, const QRectF&, const QColor&) {}

QImage Symbols::image(QStringView name, QSize pixelSize, qreal devicePixelRatio,
                      const QColor& color) {
    QImage image(pixelSize, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    image.setDevicePixelRatio(devicePixelRatio);
    QPainter painter(&image);
    paint(painter, name, QRectF(QPointF(0, 0), QSizeF(pixelSize) / devicePixelRatio), color);
    return image;
}

QIcon Symbols::icon(QStringView, const QColor&) {
    return {};
}

QString Symbols::forProvider(QStringView providerRawValue) {
    if (providerRawValue == u"codex") {
        return QStringLiteral("terminal.fill");
    }
    if (providerRawValue == u"claude") {
        return QStringLiteral("sparkles");
    }
    return QStringLiteral("gauge.with.dots.needle.33percent");
}
