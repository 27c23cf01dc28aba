// quotamind-widgets: the desktop widget host. Without arguments it shows the placed widgets;
// `render` and `timeline` serve other hosts without a display.

#include <QApplication>
#include <QCommandLineParser>
#include <QDBusConnection>
#include <QLockFile>
#include <QMessageBox>
#include <QStandardPaths>

#include "core/system_clock.h"
#include "l10n/translations.h"
#include "widgethost/placed_widgets.h"
#include "widgethost/widget_command.h"
#include "widgethost/widget_host.h"
#include "widgethost/widget_plugin.h"

namespace {

using WidgetCommand::printError;

// Names the application and installs the translations, before any text is built.
void setUpTheApplication() {
    QCoreApplication::setApplicationName(QStringLiteral("quotamind-widgets"));
    QCoreApplication::setOrganizationName(QStringLiteral("brindlecove"));
    QCoreApplication::setApplicationVersion(QStringLiteral(QUOTAMIND_VERSION));
    Translations::install();
}

// Whether Qt has a screen to show windows on; when not, it is told to draw offscreen.
bool useScreenOrOffscreen() {
    if (!qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") ||
        !qEnvironmentVariableIsEmpty("DISPLAY") ||
        !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
        return true;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    return false;
}

int runCommand(int argc, char* argv[]) {
    // Drawing needs no screen: a status bar or a cron job runs this without one.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    const QGuiApplication application(argc, argv);
    setUpTheApplication();
    const auto parsed = WidgetCommand::parse(QCoreApplication::arguments());
    if (const QString* error = std::get_if<QString>(&parsed)) {
        printError(*error);
        return 2;
    }
    const WidgetPlugin plugin;
    if (plugin.extension() == nullptr) {
        printError(plugin.error());
        return 1;
    }
    return WidgetCommand::run(*plugin.extension(), std::get<WidgetCommand::Request>(parsed),
                              SystemClock().now());
}

int runHost(int argc, char* argv[]) {
    const bool hasScreen = useScreenOrOffscreen();
    QApplication application(argc, argv);
    setUpTheApplication();
    QApplication::setQuitOnLastWindowClosed(false);
    QCommandLineParser parser;
    parser.setApplicationDescription(QCoreApplication::translate(
        "main",
        "Shows Quotamind's usage limit widgets on the desktop.\n\nOther hosts can run:\n"
        "  render KIND FAMILY [--agent ID] [--period fiveHour|weekly] [--at ISO8601] "
        "[--scale N] [--dark] OUTPUT.png\n"
        "  timeline KIND [--agent ID] [--period fiveHour|weekly] [--at ISO8601]"));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.process(application);
    if (!parser.positionalArguments().isEmpty()) {
        printError(QCoreApplication::translate("main", "Unknown command “%1”. See --help.")
                       .arg(parser.positionalArguments().join(QLatin1Char(' '))));
        return 2;
    }
    if (!hasScreen) {
        printError(QCoreApplication::translate(
            "main",
            "No display to show widgets on. Without one, use the render or timeline "
            "command (see --help)."));
        return 1;
    }
    QLockFile lock(QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation) +
                   QStringLiteral("/quotamind-widgets.lock"));
    if (!lock.tryLock()) {
        printError(QCoreApplication::translate(
            "main",
            "Quotamind Widgets is already running. Right-click one of its widgets to add "
            "another."));
        return 0;
    }
    const WidgetPlugin plugin;
    if (plugin.extension() == nullptr) {
        // Started from the desktop entry, nobody reads standard error.
        printError(plugin.error());
        QMessageBox::critical(nullptr, QCoreApplication::translate("main", "Quotamind Widgets"),
                              plugin.error());
        return 1;
    }
    const QString settings = PlacedWidgets::defaultFilePath();
    SystemClock clock;
    WidgetHost host(*plugin.extension(), clock, settings);
    if (!host.listen(QDBusConnection::sessionBus(), QDBusConnection::systemBus())) {
        printError(QCoreApplication::translate(
            "main",
            "No session bus: widgets follow their timelines but not Quotamind's reload "
            "requests."));
    }
    QObject::connect(&host, &WidgetHost::quitRequested, &application, &QCoreApplication::quit,
                     Qt::QueuedConnection);
    QCoro::Task<> starting = host.start();
    const int status = QApplication::exec();
    host.finishSaving();
    return status;
}

}  // namespace

int main(int argc, char* argv[]) {
    QStringList arguments;
    for (int index = 0; index < argc; ++index) {
        arguments << QString::fromLocal8Bit(argv[index]);
    }
    return WidgetCommand::isCommand(arguments) ? runCommand(argc, argv) : runHost(argc, argv);
}
