// quotamind: the tray program. `quotamind --headless` runs the store without windows;
// `quotamind status` prints the stored limits without starting anything; `quotamind pairing` shows
// the phone pairing code.

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QLoggingCategory>
#include <QTimer>
#include <cstdio>

#include "app/pairing_command.h"
#include "app/status_report.h"
#include "app/unix_signal_quit.h"
#include "core/timestamp.h"
#include "model/shared_container.h"
#include "notify/limit_notification_manager.h"
#include "platform/single_instance.h"
#include "sources/codex/codex_app_server_session.h"
#include "store/shared_services.h"
#include "store/usage_store.h"

Q_LOGGING_CATEGORY(lcApp, "quotamind.app", QtInfoMsg)

namespace {

constexpr int kShutdownDrainMilliseconds = 2000;

void print(FILE* stream, const QString& text) {
    const QByteArray bytes = text.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stream);
}

int showStatus(const QCommandLineParser& parser) {
    const Preferences preferences = SharedContainer::preferences();
    const std::optional<AgentUsageSnapshot> snapshot = SharedContainer::loadSnapshot(preferences);
    if (!snapshot || snapshot->usages.empty()) {
        print(stderr,
              QCoreApplication::translate("main",
                                          "No limits are stored yet. Start Quotamind (quotamind "
                                          "--headless) and try again once it has read them."));
        return 1;
    }
    const Timestamp now = Timestamp::now();
    if (parser.isSet(QStringLiteral("json"))) {
        print(stdout, QString::fromUtf8(
                          preferences.data(SharedContainer::kSnapshotKey).value_or(QByteArray())));
    } else if (parser.isSet(QStringLiteral("waybar"))) {
        print(stdout, QString::fromUtf8(StatusReport::waybar(*snapshot, now)));
    } else {
        print(stdout, StatusReport::lines(*snapshot, now));
    }
    return 0;
}

// The start-up order: the notifications start with the stored snapshot, then the store.
QCoro::Task<> startUp(UsageStore& store) {
    QCoro::Task<> notifications = sharedNotifications().start(store.usageSnapshot());
    co_await notifications;
    QCoro::Task<> starting = store.start();
    co_await starting;
}

int run(QCoreApplication& application, bool headless) {
    SingleInstance instance;
    switch (instance.claim()) {
        case SingleInstance::Outcome::activatedRunning:
            print(stdout,
                  QCoreApplication::translate(
                      "main", "Quotamind is already running; it was asked to show itself."));
            return 0;
        case SingleInstance::Outcome::noBus:
            print(stderr,
                  QCoreApplication::translate(
                      "main", "No session bus: running without the single-instance guard."));
            break;
        case SingleInstance::Outcome::primary:
            break;
    }
    if (!headless) {
        print(stderr, QCoreApplication::translate(
                          "main",
                          "The tray icon is not available in this version yet; running "
                          "without windows. Read the limits with `quotamind status`."));
    }
    // The main window answers this once it exists; until then the request is only noted.
    QObject::connect(&instance, &SingleInstance::activationRequested,
                     [] { qCInfo(lcApp) << "activation requested"; });
    QObject::connect(&LimitNotificationManager::shared(),
                     &LimitNotificationManager::openMainWindowRequested,
                     [] { qCInfo(lcApp) << "activation requested by a notification"; });
    UnixSignalQuit quitOnSignal;
    UsageStore& store = UsageStore::shared();
    QTimer::singleShot(0, &store, [&store] { QCoro::Task<> task = startUp(store); });
    qCInfo(lcApp) << "running";
    const int status = application.exec();
    qCInfo(lcApp) << "stopping";
    // The store goes first, which ends its loops and the sessions they hold; the children were
    // already ended when the loop quit. A bounded moment lets the sessions finish releasing them.
    delete &store;
    QDeadlineTimer drain(kShutdownDrainMilliseconds);
    while (CodexAppServerSession::liveCount() > 0 && !drain.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return status;
}

}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("quotamind"));
    QCoreApplication::setOrganizationName(QStringLiteral("brindlecove"));
    QCoreApplication::setApplicationVersion(QStringLiteral(QUOTAMIND_VERSION));

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
        {QStringLiteral("json"),
         QCoreApplication::translate("main", "With status: print the stored JSON.")},
        {QStringLiteral("waybar"),
         QCoreApplication::translate("main",
                                     "With status: print one JSON object for status "
                                     "bars such as Waybar.")},
    });
    parser.process(application);

    const QStringList arguments = parser.positionalArguments();
    if (arguments == QStringList{QStringLiteral("status")}) {
        return showStatus(parser);
    }
    if (arguments == QStringList{QStringLiteral("pairing")}) {
        return PairingCommand::run(Preferences::standard());
    }
    if (!arguments.isEmpty()) {
        print(stderr, QCoreApplication::translate("main", "Unknown command “%1”. See --help.")
                          .arg(arguments.join(QLatin1Char(' '))));
        return 2;
    }
    return run(application, parser.isSet(QStringLiteral("headless")));
}
