#pragma once

#include <QPluginLoader>
#include <QString>
#include <QStringList>

#include "widget/widget_extension.h"

// Finds and loads the QuotamindWidget plugin.
class WidgetPlugin final {
public:
    // The places the plugin may be, in order: the build tree's plugin when this program runs
    // from the build tree, then the install folder beside the program's own.
    static QStringList candidates();

    // Loads the first candidate that exists. On failure extension() is null and error() says
    // where the plugin was looked for and why it did not load.
    explicit WidgetPlugin(const QStringList& candidates = WidgetPlugin::candidates());
    Q_DISABLE_COPY_MOVE(WidgetPlugin)

    // Owned by the plugin loader; valid while this object lives.
    const WidgetExtension* extension() const { return m_extension; }
    const QString& error() const { return m_error; }

private:
    QPluginLoader m_loader;
    const WidgetExtension* m_extension = nullptr;
    QString m_error;
};
