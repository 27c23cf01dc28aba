#pragma once

#include <QList>
#include <QPoint>
#include <QString>

#include "widget/widget_extension.h"

// A widget the user put on the desktop.
struct PlacedWidget {
    QString kind;
    WidgetFamily family = WidgetFamily::Small;
    WidgetConfiguration configuration;
    // Top-left corner of its window in desktop coordinates.
    QPoint position;

    bool operator==(const PlacedWidget&) const = default;
};

// The placed widgets, kept across restarts in the host's own preferences: an INI file
// (QuotamindWidgets.conf beside the other domains) with one array entry per widget. Each call
// opens the file afresh and blocks on the disk, so the host calls them from a worker.
namespace PlacedWidgets {

QString defaultFilePath();

// The stored widgets in order; entries without a kind or with an unknown family are left out,
// and a missing or unreadable file gives none.
QList<PlacedWidget> load(const QString& filePath);
// Replaces the stored list whole (QSettings writes the file atomically).
void save(const QString& filePath, const QList<PlacedWidget>& widgets);

}  // namespace PlacedWidgets
