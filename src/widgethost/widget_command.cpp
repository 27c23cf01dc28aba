#include "widget_command.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QImage>
#include <QSaveFile>
#include <cstdio>

#include "core/iso8601.h"
#include "model/usage_json.h"
#include "widgethost/widget_image.h"

namespace WidgetCommand {

namespace {

const QString kRender = QStringLiteral("render");
const QString kTimeline = QStringLiteral("timeline");
constexpr qreal kLargestScale = 8.0;

std::string isoText(Timestamp timestamp) {
    return timestamp.toDateTime().toString(Qt::ISODateWithMs).toStdString();
}

}  // namespace

bool isCommand(const QStringList& arguments) {
    return arguments.size() > 1 && (arguments[1] == kRender || arguments[1] == kTimeline);
}

std::variant<Request, QString> parse(const QStringList& arguments) {
    QCommandLineParser parser;
    const QCommandLineOption agent(
        QStringLiteral("agent"), QCoreApplication::translate("WidgetCommand", "The agent to show."),
        QStringLiteral("ID"));
    const QCommandLineOption period(
        QStringLiteral("period"),
        QCoreApplication::translate("WidgetCommand", "fiveHour or weekly."),
        QStringLiteral("PERIOD"));
    const QCommandLineOption at(
        QStringLiteral("at"),
        QCoreApplication::translate("WidgetCommand", "The time to show, in ISO 8601."),
        QStringLiteral("TIME"));
    const QCommandLineOption scale(
        QStringLiteral("scale"),
        QCoreApplication::translate("WidgetCommand", "Device pixels per point."),
        QStringLiteral("N"), QStringLiteral("1"));
    const QCommandLineOption dark(
        QStringLiteral("dark"),
        QCoreApplication::translate("WidgetCommand", "Draw the dark appearance."));
    parser.addOptions({agent, period, at, scale, dark});
    if (!parser.parse(arguments)) {
        return parser.errorText();
    }
    const QStringList positional = parser.positionalArguments();
    Request request;
    request.command =
        positional.value(0) == kRender ? Request::Command::Render : Request::Command::Timeline;
    const qsizetype expected = request.command == Request::Command::Render ? 4 : 2;
    if (positional.size() != expected) {
        return request.command == Request::Command::Render
                   ? QCoreApplication::translate(
                         "WidgetCommand",
                         "Usage: render KIND FAMILY [--agent ID] [--period fiveHour|weekly] "
                         "[--at ISO8601] [--scale N] [--dark] OUTPUT.png")
                   : QCoreApplication::translate(
                         "WidgetCommand",
                         "Usage: timeline KIND [--agent ID] [--period fiveHour|weekly] "
                         "[--at ISO8601]");
    }
    request.kind = positional[1];
    if (request.command == Request::Command::Render) {
        const std::optional<WidgetFamily> family = widgetFamilyFromName(positional[2]);
        if (!family) {
            return QCoreApplication::translate("WidgetCommand",
                                               "The family must be small or medium.");
        }
        request.family = *family;
        request.output = positional[3];
    }
    if (parser.isSet(agent)) {
        request.configuration.agentId = parser.value(agent);
    }
    if (parser.isSet(period)) {
        const QString value = parser.value(period);
        if (value != QLatin1String("fiveHour") && value != QLatin1String("weekly")) {
            return QCoreApplication::translate("WidgetCommand",
                                               "The period must be fiveHour or weekly.");
        }
        request.configuration.period = value;
    }
    if (parser.isSet(at)) {
        request.at = parseInternetDateTime(parser.value(at).toStdString());
        if (!request.at) {
            return QCoreApplication::translate(
                "WidgetCommand",
                "The time must be an ISO 8601 date and time with a zone, such as "
                "2026-01-01T10:00:00Z.");
        }
    }
    bool isNumber = false;
    request.scale = parser.value(scale).toDouble(&isNumber);
    if (!isNumber || !(request.scale > 0.0) || request.scale > kLargestScale) {
        return QCoreApplication::translate("WidgetCommand",
                                           "The scale must be a number above 0 and at most 8.");
    }
    request.dark = parser.isSet(dark);
    return request;
}

QByteArray timelineJson(const QString& kind, const LimitTimeline& timeline) {
    json::OrderedValue entries = json::OrderedValue::array();
    for (const LimitEntry& entry : timeline.entries) {
        json::OrderedValue object;
        object["date"] = isoText(entry.date);
        object["usage"] = entry.usage ? usage_json::toJson(*entry.usage) : json::OrderedValue();
        object["durationSeconds"] = entry.durationSeconds
                                        ? json::OrderedValue(*entry.durationSeconds)
                                        : json::OrderedValue();
        object["lastReadAt"] = entry.lastReadAt ? json::OrderedValue(isoText(*entry.lastReadAt))
                                                : json::OrderedValue();
        entries.push_back(std::move(object));
    }
    json::OrderedValue result;
    result["kind"] = kind.toStdString();
    result["entries"] = std::move(entries);
    result["reloadAfter"] = isoText(timeline.reloadAfter);
    return QByteArray::fromStdString(result.dump());
}

int run(const WidgetExtension& extension, const Request& request, Timestamp now) {
    const QList<WidgetKindInfo> kinds = extension.kinds();
    const auto info = std::find_if(kinds.begin(), kinds.end(), [&](const WidgetKindInfo& item) {
        return item.kind == request.kind;
    });
    if (info == kinds.end()) {
        QStringList names;
        for (const WidgetKindInfo& item : kinds) {
            names << item.kind;
        }
        printError(QCoreApplication::translate("WidgetCommand",
                                               "Unknown widget kind “%1”. The kinds are: %2.")
                       .arg(request.kind, names.join(QStringLiteral(", "))));
        return 2;
    }
    const Timestamp at = request.at.value_or(now);
    const LimitTimeline timeline = extension.timeline(request.kind, request.configuration, at);
    if (request.command == Request::Command::Timeline) {
        const QByteArray output = timelineJson(request.kind, timeline) + '\n';
        std::fwrite(output.constData(), 1, static_cast<std::size_t>(output.size()), stdout);
        return std::fflush(stdout) == 0 ? 0 : 1;
    }
    if (!info->families.contains(request.family)) {
        printError(QCoreApplication::translate("WidgetCommand", "The widget %1 has no %2 size.")
                       .arg(request.kind, widgetFamilyName(request.family)));
        return 2;
    }
    const QImage image = renderWidgetImage(
        extension, request.kind, request.family,
        timeline.entries.value(
            0, LimitEntry{.date = at, .usage = std::nullopt, .durationSeconds = std::nullopt}),
        {.dark = request.dark, .showsBackground = true}, at, request.scale);
    // Written whole or not at all, so a status bar never reads half an image.
    QSaveFile file(request.output);
    if (!file.open(QIODevice::WriteOnly) || !image.save(&file, "PNG") || !file.commit()) {
        printError(QCoreApplication::translate("WidgetCommand", "Could not write %1.")
                       .arg(request.output));
        return 1;
    }
    return 0;
}

void printError(const QString& text) {
    const QByteArray bytes = text.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stderr);
}

}  // namespace WidgetCommand
