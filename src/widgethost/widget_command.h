#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>
#include <variant>

#include "widget/widget_extension.h"

// The sub-commands that serve other hosts (status bars, desktop image widgets, scripts):
//   render KIND FAMILY [--agent ID] [--period fiveHour|weekly] [--at ISO8601] [--scale N]
//          [--dark] OUTPUT.png    the entry a placed widget would show at that time, as a PNG
//   timeline KIND [--agent ID] [--period P] [--at ISO8601]
//                                 the timeline as JSON on standard output
namespace WidgetCommand {

struct Request {
    enum class Command { Render, Timeline };

    Command command = Command::Render;
    QString kind;
    WidgetFamily family = WidgetFamily::Small;
    WidgetConfiguration configuration;
    // Default: now.
    std::optional<Timestamp> at;
    qreal scale = 1.0;
    bool dark = false;
    QString output;
};

// Whether `arguments` (the program's, its name first) ask for a sub-command.
bool isCommand(const QStringList& arguments);

// The request, or the text that says what is wrong with the arguments.
std::variant<Request, QString> parse(const QStringList& arguments);

// {"kind":…, "entries":[{"date":…, "usage":…|null, "durationSeconds":…|null}], "reloadAfter":…}
// with dates as ISO 8601 UTC texts and each usage in its stored JSON form.
QByteArray timelineJson(const QString& kind, const LimitTimeline& timeline);

// Runs the request: 0 when done, 1 when the output cannot be written, 2 for a kind or family the
// extension does not offer. Messages go to standard error.
int run(const WidgetExtension& extension, const Request& request, Timestamp now);

// One line on standard error, in UTF-8.
void printError(const QString& text);

}  // namespace WidgetCommand
