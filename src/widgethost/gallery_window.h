#pragma once

#include <QWidget>

#include "core/clock.h"
#include "widget/widget_extension.h"

// The "Add Widget" window: every kind with its name, description and a preview in each of its
// families, drawn from the extension's sample data. Clicking a preview asks to place it.
class GalleryWindow final : public QWidget {
    Q_OBJECT

public:
    GalleryWindow(const WidgetExtension& extension, const Clock& clock);
    Q_DISABLE_COPY_MOVE(GalleryWindow)

Q_SIGNALS:
    void placeRequested(const QString& kind, WidgetFamily family);
};
