#pragma once

#include <QImage>

#include "widget/widget_extension.h"

// One entry of a widget drawn at the family's size times `scale` (device pixels per logical
// pixel), on a transparent image whose device pixel ratio is `scale`.
QImage renderWidgetImage(const WidgetExtension& extension, const QString& kind, WidgetFamily family,
                         const LimitEntry& entry, const WidgetRenderOptions& options,
                         Timestamp drawingTime, qreal scale);
