// quotamind: the tray program, which also shows its main window unless started with --background
// (as the autostart entry does) while a tray exists. `quotamind --headless` runs the store without
// windows;
// `quotamind status` prints the stored limits without starting anything; `quotamind history` the
// usage history and the pace forecasts; `quotamind pairing` shows the phone pairing code.

#include <QApplication>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <cstdio>
#include <memory>

#include "app/application.h"
#include "app/history_command.h"
#include "app/logging.h"
#include "app/pairing_command.h"
#include "app/status_report.h"
#include "app/unix_signal_quit.h"
#include "core/timestamp.h"
#include "l10n/translations.h"
#include "model/shared_snapshot_store.h"
#include "platform/autostart.h"
#include "platform/single_instance.h"

namespace {

void print(FILE* stream, const QString& text) {
    const QByteArray bytes = text.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stream);
}

int showStatus(const QCommandLineParser& parser) {
    const Preferences preferences = SharedSnapshotStore::preferences();
    const std::optional<AgentUsageSnapshot> snapshot =
        SharedSnapshotStore::loadSnapshot(preferences);
    if (!snapshot || snapshot->usages.empty()) {
        print(stderr,
              QCoreApplication::translate("main",
                                          "No limits are stored yet. Start Quotamind (quotamind "
                                          "--headless) and try again once it has read them."));
        return 1;
    }
    const Timestamp now = Timestamp::now();
    const PaceForecasts forecasts = SharedSnapshotStore::loadForecasts(preferences);
    if (parser.isSet(QStringLiteral("json"))) {
        print(stdout,
              QString::fromUtf8(
                  preferences.data(SharedSnapshotStore::kSnapshotKey).value_or(QByteArray())));
    } else if (parser.isSet(QStringLiteral("waybar"))) {
        print(stdout, QString::fromUtf8(StatusReport::waybar(*snapshot, now, forecasts)));
    } else {
        print(stdout, StatusReport::lines(*snapshot, now, forecasts));
    }
    return 0;
}

int run(QCoreApplication& application, bool headless, bool inBackground) {
    SingleInstance instance;
    const SingleInstance::Outcome claimed = instance.claim();
    switch (claimed) {
        case SingleInstance::Outcome::ActivatedRunning:
            print(stdout,
                  QCoreApplication::translate(
                      "main", "Quotamind is already running; it was asked to show itself."));
            return 0;
        case SingleInstance::Outcome::ActivationFailed:
            print(stderr, QCoreApplication::translate(
                              "main",
                              "Quotamind is already running but did not answer when asked to "
                              "show itself."));
            return 1;
        case SingleInstance::Outcome::NoBus:
            print(stderr,
                  QCoreApplication::translate(
                      "main", "No session bus: running without the single-instance guard."));
            break;
        case SingleInstance::Outcome::Primary:
            break;
    }
    UnixSignalQuit quitOnSignal;
    Application program({.windows = !headless,
                         .inBackground = inBackground,
                         .reachableAgain = claimed == SingleInstance::Outcome::Primary});
    QObject::connect(&instance, &SingleInstance::activationRequested,
                     [&program] { program.activate(); });
    program.start();
    qCInfo(lcApp) << "running";
    const int status = application.exec();
    qCInfo(lcApp) << "stopping";
    return status;
}

// Whether plain `quotamind` can show its tray icon: it needs a display, and the tray program
// must not abort where there is none (a server, a remote shell).
bool hasDisplay() {
    return !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
           !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
}

// The command line, described in the language of the installed translations, if any.
void describe(QCommandLineParser& parser) {
    parser.setApplicationDescription(QCoreApplication::translate(
        "main", "Shows how much of their usage limits Codex and Claude Code have left."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(
        QStringLiteral("command"),
        QCoreApplication::translate("main",
                                    "Nothing to run the program, `status` to print "
                                    "the stored limits, `history` to print the usage "
                                    "history, or `pairing` to show the phone pairing code."),
        QStringLiteral("[status|history|pairing]"));
    parser.addOptions({
        {QStringLiteral("headless"),
         QCoreApplication::translate("main", "Run without tray icon and windows.")},
        {XdgAutostart::kBackgroundOption,
         QCoreApplication::translate("main",
                                     "Start in the tray without showing the window (as at "
                                     "login); the window still shows when no tray comes.")},
        {QStringLiteral("json"),
         QCoreApplication::translate("main",
                                     "With status: print the stored JSON. With history: "
                                     "print JSON.")},
        {QStringLiteral("waybar"),
         QCoreApplication::translate("main",
                                     "With status: print one JSON object for status "
                                     "bars such as Waybar.")},
    });
    HistoryCommand::addOptions(parser);
}

}  // namespace

int main(int argc, char* argv[]) {
    // Only the tray program needs a GUI application: the headless store and `status` must run
    // without a display. A first look at the arguments decides, before there are translations;
    // the parser that reports errors and help is described again once they are installed.
    QCommandLineParser firstLook;
    describe(firstLook);

    QStringList arguments;
    for (int index = 0; index < argc; ++index) {
        arguments.append(QString::fromLocal8Bit(argv[index]));
    }
    const bool parsed = firstLook.parse(arguments);
    const bool wantsTray =
        parsed && firstLook.positionalArguments().isEmpty() &&
        !firstLook.isSet(QStringLiteral("headless")) && !firstLook.isSet(QStringLiteral("help")) &&
        !firstLook.isSet(QStringLiteral("help-all")) && !firstLook.isSet(QStringLiteral("version"));
    const bool tray = wantsTray && hasDisplay();
    std::unique_ptr<QCoreApplication> application;
    if (tray) {
        auto gui = std::make_unique<QApplication>(argc, argv);
        // Closing the last window does not end the program: the tray icon, or TrayFallback where
        // there is none, decides.
        gui->setQuitOnLastWindowClosed(false);
        application = std::move(gui);
    } else {
        application = std::make_unique<QCoreApplication>(argc, argv);
    }
    QCoreApplication::setApplicationName(QStringLiteral("quotamind"));
    QCoreApplication::setOrganizationName(QStringLiteral("brindlecove"));
    QCoreApplication::setApplicationVersion(QStringLiteral(QUOTAMIND_VERSION));
    Translations::install();
    QCommandLineParser parser;
    describe(parser);
    parser.process(*application);

    const QStringList commands = parser.positionalArguments();
    if (commands == QStringList{QStringLiteral("status")}) {
        return showStatus(parser);
    }
    if (commands == QStringList{QStringLiteral("history")}) {
        return HistoryCommand::run(parser);
    }
    if (commands == QStringList{QStringLiteral("pairing")}) {
        return PairingCommand::run(Preferences::standard());
    }
    if (!commands.isEmpty()) {
        print(stderr, QCoreApplication::translate("main", "Unknown command “%1”. See --help.")
                          .arg(commands.join(QLatin1Char(' '))));
        return 2;
    }
    if (wantsTray && !tray) {
        print(stderr, QCoreApplication::translate(
                          "main",
                          "No display: running without the tray icon. Read the limits with "
                          "`quotamind status`."));
    }
    return run(*application, !tray, parser.isSet(XdgAutostart::kBackgroundOption));
}
