#include "widget_plugin.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

QStringList WidgetPlugin::candidates() {
    const QString programFolder = QCoreApplication::applicationDirPath();
    QStringList result;
    if (QFileInfo(programFolder) == QFileInfo(QStringLiteral(QUOTAMIND_WIDGETS_BUILD_DIR))) {
        result << QStringLiteral(QUOTAMIND_WIDGET_PLUGIN_BUILD_PATH);
    }
    result << QDir::cleanPath(programFolder + QLatin1Char('/') +
                              QStringLiteral(QUOTAMIND_WIDGET_PLUGIN_INSTALL_RELATIVE_PATH));
    return result;
}

WidgetPlugin::WidgetPlugin(const QStringList& candidates) {
    for (const QString& path : candidates) {
        if (!QFileInfo::exists(path)) {
            continue;
        }
        m_loader.setFileName(path);
        QObject* instance = m_loader.instance();
        m_extension = qobject_cast<WidgetExtension*>(instance);
        if (m_extension != nullptr) {
            return;
        }
        m_error = QCoreApplication::translate("WidgetPlugin",
                                              "The widget plugin %1 could not be loaded: %2")
                      .arg(path, instance == nullptr
                                     ? m_loader.errorString()
                                     : QCoreApplication::translate(
                                           "WidgetPlugin", "it is not a Quotamind widget plugin"));
        m_loader.unload();
        return;
    }
    m_error = QCoreApplication::translate("WidgetPlugin",
                                          "The widget plugin QuotamindWidget was not found in: %1")
                  .arg(candidates.join(QStringLiteral(", ")));
}
