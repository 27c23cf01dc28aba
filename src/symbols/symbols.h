#pragma once

#include <QColor>
#include <QIcon>
#include <QImage>
#include <QRectF>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QStringView>

class QPainter;

// The glyphs the views name by symbol ("terminal.fill", "arrow.clockwise", ...). Every glyph is a
// vector path bundled in this library, so nothing depends on the desktop's icon theme and a glyph
// stays sharp at any size and device pixel ratio. Names are identifiers only; an unknown name
// draws nothing. Safe to call from any thread.
class Symbols final {
public:
    Symbols() = delete;

    static bool contains(QStringView name);
    // Every known name, sorted.
    static QStringList names();

    // Fills the glyph, centred and as large as fits in `box`, in `color`.
    static void paint(QPainter& painter, QStringView name, const QRectF& box, const QColor& color);
    // The glyph on a transparent image of `pixelSize` device pixels, tagged with the ratio.
    static QImage image(QStringView name, QSize pixelSize, qreal devicePixelRatio,
                        const QColor& color);
    // An icon that draws the glyph afresh at every size asked for.
    static QIcon icon(QStringView name, const QColor& color);

    // The symbol of an agent by its provider's raw value: "terminal.fill" for "codex", "sparkles"
    // for "claude", a gauge for any other.
    static QString forProvider(QStringView providerRawValue);
};
