// quotamind-phone: the phone's side of Quotamind's local link, for tests and to see what a paired
// phone would see. It takes the pairing code (the QR text that `quotamind pairing` prints), finds
// the computer by DNS-SD or takes --host and --port, pairs, and prints every message it receives
// as one JSON line. Commands on standard input: refresh, deviceToken TOKEN [ENVIRONMENT], quit.

#include <unistd.h>

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QHostAddress>
#include <QHostInfo>
#include <QSocketNotifier>
#include <cstdio>

#include "core/system_clock.h"
#include "core/time_limit.h"
#include "l10n/translations.h"
#include "phone_peer.h"
#include "platform/dnssd/dnssd_resolver.h"

namespace {

const QString kServiceType = QStringLiteral("_quotamind._tcp");
constexpr double kDefaultFindSeconds = 10.0;

int fail(const QString& text) {
    std::fprintf(stderr, "quotamind-phone: %s\n", text.toUtf8().constData());
    return 2;
}

// Reads commands line by line from standard input and hands them to the peer. The end of the
// input ends nothing: the link stays until the computer closes it.
void watchCommands(PhonePeer& peer) {
    auto* notifier = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, &peer);
    auto* pending = new QByteArray;
    QObject::connect(notifier, &QObject::destroyed, [pending] { delete pending; });
    QObject::connect(notifier, &QSocketNotifier::activated, &peer, [notifier, pending, &peer] {
        char chunk[4096];
        const ssize_t count = ::read(STDIN_FILENO, chunk, sizeof chunk);
        if (count <= 0) {
            notifier->setEnabled(false);
            return;
        }
        pending->append(chunk, count);
        qsizetype end = 0;
        while ((end = pending->indexOf('\n')) >= 0) {
            peer.runCommand(QString::fromUtf8(pending->left(end)).trimmed());
            pending->remove(0, end + 1);
        }
    });
}

}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("quotamind-phone"));
    QCoreApplication::setApplicationVersion(QStringLiteral(QUOTAMIND_VERSION));
    Translations::install();

    QCommandLineParser parser;
    parser.setApplicationDescription(QCoreApplication::translate(
        "quotamind-phone",
        "Pairs with Quotamind on this network as a phone would, and prints every message it "
        "receives as one JSON line. Commands on standard input: refresh, deviceToken TOKEN "
        "[ENVIRONMENT], quit."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(
        QStringLiteral("code"),
        QCoreApplication::translate("quotamind-phone",
                                    "The pairing code: the QR text that `quotamind pairing` "
                                    "prints (quotamind://pair?v=1&service=…&secret=…)."),
        QStringLiteral("[code]"));
    const QCommandLineOption service(
        QStringLiteral("service"),
        QCoreApplication::translate("quotamind-phone", "The service name, instead of the code."),
        QStringLiteral("name"));
    const QCommandLineOption secret(
        QStringLiteral("secret"),
        QCoreApplication::translate("quotamind-phone", "The secret, instead of the code."),
        QStringLiteral("secret"));
    const QCommandLineOption host(
        QStringLiteral("host"),
        QCoreApplication::translate("quotamind-phone",
                                    "Connect to this address instead of looking the service up."),
        QStringLiteral("address"));
    const QCommandLineOption port(
        QStringLiteral("port"),
        QCoreApplication::translate("quotamind-phone", "The port, with --host."),
        QStringLiteral("port"));
    const QCommandLineOption model(
        QStringLiteral("model"),
        QCoreApplication::translate("quotamind-phone",
                                    "The model name to pair with (none by default)."),
        QStringLiteral("name"));
    const QCommandLineOption refresh(
        QStringLiteral("refresh"),
        QCoreApplication::translate("quotamind-phone", "Ask for a refresh once paired."));
    const QCommandLineOption deviceToken(
        QStringLiteral("device-token"),
        QCoreApplication::translate("quotamind-phone", "Send this device token once paired."),
        QStringLiteral("token"));
    const QCommandLineOption environment(
        QStringLiteral("apns-environment"),
        QCoreApplication::translate("quotamind-phone", "The environment sent with --device-token."),
        QStringLiteral("environment"));
    const QCommandLineOption count(
        QStringLiteral("count"),
        QCoreApplication::translate("quotamind-phone", "Stop after receiving this many messages."),
        QStringLiteral("n"));
    const QCommandLineOption findTimeout(
        QStringLiteral("find-timeout"),
        QCoreApplication::translate(
            "quotamind-phone",
            "Give up looking for the service after this many seconds (default 10)."),
        QStringLiteral("seconds"));
    parser.addOptions({service, secret, host, port, model, refresh, deviceToken, environment, count,
                       findTimeout});
    parser.process(application);

    PhonePeer::Settings settings;
    const QStringList positional = parser.positionalArguments();
    if (positional.size() == 1) {
        const auto pairing = LanPairingPayload::fromQrValue(positional[0]);
        if (!pairing) {
            return fail(QCoreApplication::translate("quotamind-phone",
                                                    "That is not a Quotamind pairing code."));
        }
        settings.pairing = *pairing;
    } else if (positional.isEmpty() && parser.isSet(service) && parser.isSet(secret)) {
        settings.pairing = {parser.value(service), parser.value(secret)};
    } else {
        return fail(QCoreApplication::translate(
            "quotamind-phone", "Give the pairing code, or --service and --secret. See --help."));
    }
    if (parser.isSet(model)) {
        settings.deviceModel = parser.value(model);
    }
    settings.refreshAfterPairing = parser.isSet(refresh);
    if (parser.isSet(deviceToken)) {
        settings.apnsToken = parser.value(deviceToken);
        if (parser.isSet(environment)) {
            settings.apnsEnvironment = parser.value(environment);
        }
    }
    settings.messageLimit = parser.value(count).toInt();

    PhonePeer peer(settings);
    QObject::connect(&peer, &PhonePeer::finished, &application, &QCoreApplication::exit,
                     Qt::QueuedConnection);
    watchCommands(peer);

    std::unique_ptr<DnsSdResolver> resolver;
    CancellationToken findLimit;
    SystemClock clock;
    if (parser.isSet(host)) {
        bool validPort = false;
        const uint number = parser.value(port).toUInt(&validPort);
        QHostAddress address(parser.value(host));
        if (address.isNull()) {
            const QHostInfo info = QHostInfo::fromName(parser.value(host));
            if (!info.addresses().isEmpty()) {
                address = info.addresses().constFirst();
            }
        }
        if (!validPort || number == 0 || number > 65535 || address.isNull()) {
            return fail(QCoreApplication::translate(
                "quotamind-phone",
                "--host needs an address that resolves and --port a port number."));
        }
        peer.connectTo(address, static_cast<quint16>(number));
    } else {
        resolver = std::make_unique<DnsSdResolver>(settings.pairing.serviceName, kServiceType);
        QObject::connect(resolver.get(), &DnsSdResolver::found, &peer,
                         [&peer, &findLimit](const QHostAddress& address, quint16 found) {
                             findLimit.cancel();
                             peer.connectTo(address, found);
                         });
        bool valid = false;
        double seconds = parser.value(findTimeout).toDouble(&valid);
        if (!valid || seconds <= 0.0) {
            seconds = kDefaultFindSeconds;
        }
        DnsSdResolver* lookup = resolver.get();
        QCoro::Task<> limit = runAfter(clock, seconds, findLimit, [lookup] {
            const QString why = lookup->lastFailure();
            std::fprintf(stderr, "quotamind-phone: %s%s%s\n",
                         QCoreApplication::translate("quotamind-phone",
                                                     "The computer was not found on this network.")
                             .toUtf8()
                             .constData(),
                         why.isEmpty() ? "" : " ", why.toUtf8().constData());
            QCoreApplication::exit(1);
        });
    }
    const int status = QCoreApplication::exec();
    findLimit.cancel();
    return status;
}
