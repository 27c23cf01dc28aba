// quotamind: the tray program, which also shows its main window unless started with --background
// (as the autostart entry does) while a tray exists. `quotamind --headless` runs the store without
// windows;
// `quotamind status` prints the stored limits without starting anything; `quotamind pairing` shows
// the phone pairing code.

#include <QApplication>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QLoggingCategory>
#include <QThreadPool>
#include <QTimer>
#include <cstdio>
#include <memory>

#include "app/pairing_command.h"
#include "app/status_report.h"
#include "app/tray_program_presence.h"
#include "app/unix_signal_quit.h"
#include "core/system_clock.h"
#include "core/timestamp.h"
#include "core/worker.h"
#include "model/shared_snapshot_store.h"
#include "notify/limit_notification_manager.h"
#include "platform/autostart.h"
#include "platform/dnssd/dnssd_publisher.h"
#include "platform/secrets/file_secret_store.h"
#include "platform/single_instance.h"
#include "sources/codex/codex_app_server_session.h"
#include "store/shared_services.h"
#include "store/usage_store.h"
#include "ui/mainwindow/main_window.h"
#include "ui/settings/settings_window.h"
#include "ui/tray/tray_controller.h"

Q_LOGGING_CATEGORY(lcApp, "quotamind.app", QtInfoMsg)

namespace {

constexpr int kShutdownDrainMilliseconds = 2000;

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
    if (parser.isSet(QStringLiteral("json"))) {
        print(stdout,
              QString::fromUtf8(
                  preferences.data(SharedSnapshotStore::kSnapshotKey).value_or(QByteArray())));
    } else if (parser.isSet(QStringLiteral("waybar"))) {
        print(stdout, QString::fromUtf8(StatusReport::waybar(*snapshot, now)));
    } else {
        print(stdout, StatusReport::lines(*snapshot, now));
    }
    return 0;
}

// An autostart entry written before the background option existed opens the main window at
// every login: it gains the option, on a worker, as the file may be slow to reach.
void bringAutostartEntryUpToDate() {
    QThreadPool::globalInstance()->start([item = XdgAutostart::forThisProgram()]() mutable {
        try {
            item.addBackgroundOption();
        } catch (const PlatformError&) {
            // It stays as it was; "Launch at Login" writes it afresh when switched.
        }
    });
}

// The start-up order: files that hold secrets are closed to others (an older copy may have left
// them open), the notifications start with the stored snapshot, then the store.
QCoro::Task<> startUp(UsageStore& store) {
    QCoro::Task<> tightening = runOnWorker([] {
        // The app group's preferences and their fallback, the program's own.
        SharedSnapshotStore::preferences().restrictToOwner();
        FileSecretStore(FileSecretStore::defaultDirectory()).restrictToOwner();
    });
    co_await tightening;
    QCoro::Task<> notifications = sharedNotifications().start(store.usageSnapshot());
    co_await notifications;
    QCoro::Task<> starting = store.start();
    co_await starting;
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
    UsageStore& store = UsageStore::shared();
    std::unique_ptr<TrayController> controller;
    if (!headless) {
        controller =
            std::make_unique<TrayController>(store, SystemClock::shared(), Preferences::standard());
        QObject::connect(controller.get(), &TrayController::settingsRequested, &showSettings);
    }
    // Every way to the main window: the tray's "Open Quotamind" and the popup's empty state,
    // a notification's default action and a second launch. Without windows they are only logged.
    const auto logActivation = [] { qCInfo(lcApp) << "activation requested"; };
    QObject::connect(&instance, &SingleInstance::activationRequested, logActivation);
    QObject::connect(&LimitNotificationManager::shared(),
                     &LimitNotificationManager::openMainWindowRequested, logActivation);
    std::unique_ptr<MainWindowController> mainWindow;
    if (!headless) {
        mainWindow = std::make_unique<MainWindowController>(store, SystemClock::shared());
        QObject::connect(controller.get(), &TrayController::mainWindowRequested, mainWindow.get(),
                         &MainWindowController::showMainWindow);
        QObject::connect(&instance, &SingleInstance::activationRequested, mainWindow.get(),
                         &MainWindowController::showMainWindow);
        QObject::connect(&LimitNotificationManager::shared(),
                         &LimitNotificationManager::openMainWindowRequested, mainWindow.get(),
                         &MainWindowController::showMainWindow);
        QObject::connect(mainWindow.get(), &MainWindowController::settingsRequested, &showSettings);
    }
    std::unique_ptr<TrayProgramPresence> presence;
    if (!headless) {
        // A later start reaches this one only through the single-instance name.
        presence = std::make_unique<TrayProgramPresence>(
            *controller, *mainWindow, inBackground, claimed == SingleInstance::Outcome::Primary);
        bringAutostartEntryUpToDate();
    }
    QTimer::singleShot(0, &store, [&store] { QCoro::Task<> task = startUp(store); });
    qCInfo(lcApp) << "running";
    const int status = application.exec();
    qCInfo(lcApp) << "stopping";
    // The views go first, then the store, which ends its loops and the sessions they hold; the
    // children were already ended when the loop quit. A bounded moment lets the sessions finish
    // releasing them.
    presence.reset();
    mainWindow.reset();
    controller.reset();
    closeSettings();
    delete &store;
    QDeadlineTimer drain(kShutdownDrainMilliseconds);
    while (CodexAppServerSession::liveCount() > 0 && !drain.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    // The phone link's DNS-SD service is withdrawn in the background; a daemon that does not
    // answer keeps the program no longer than the same moment (it drops our records anyway once
    // our bus connection closes).
    DnsSdPublisher::waitForWithdrawals(drain);
    return status;
}

// Whether plain `quotamind` can show its tray icon: it needs a display, and the tray program
// must not abort where there is none (a server, a remote shell).
bool hasDisplay() {
    return !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
           !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
}

}  // namespace

int main(int argc, char* argv[]) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QCoreApplication::translate(
        "main", "Shows how much of their usage limits Codex and Claude Code have left."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(
        QStringLiteral("command"),
        QCoreApplication::translate("main",
                                    "Nothing to run the program, `status` to print "
                                    "the stored limits, or `pairing` to show the phone "
                                    "pairing code."),
        QStringLiteral("[status|pairing]"));
    parser.addOptions({
        {QStringLiteral("headless"),
         QCoreApplication::translate("main", "Run without tray icon and windows.")},
        {XdgAutostart::kBackgroundOption,
         QCoreApplication::translate("main",
                                     "Start in the tray without showing the window (as at "
                                     "login); the window still shows when no tray comes.")},
        {QStringLiteral("json"),
         QCoreApplication::translate("main", "With status: print the stored JSON.")},
        {QStringLiteral("waybar"),
         QCoreApplication::translate("main",
                                     "With status: print one JSON object for status "
                                     "bars such as Waybar.")},
    });

    // Only the tray program needs a GUI application: the headless store and `status` must run
    // without a display. A first look at the arguments decides; process() below reports errors.
    QStringList arguments;
    for (int index = 0; index < argc; ++index) {
        arguments.append(QString::fromLocal8Bit(argv[index]));
    }
    const bool parsed = parser.parse(arguments);
    const bool wantsTray =
        parsed && parser.positionalArguments().isEmpty() &&
        !parser.isSet(QStringLiteral("headless")) && !parser.isSet(QStringLiteral("help")) &&
        !parser.isSet(QStringLiteral("help-all")) && !parser.isSet(QStringLiteral("version"));
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
    parser.process(*application);

    const QStringList commands = parser.positionalArguments();
    if (commands == QStringList{QStringLiteral("status")}) {
        return showStatus(parser);
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
