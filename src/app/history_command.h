#pragma once

#include <QCommandLineParser>

// `quotamind history`: the usage history, or with --forecast the pace forecasts of the stored
// limits, read from the history file while the tray program may be writing it.
namespace HistoryCommand {

// Adds --since, --agent, --csv and --forecast (--json is shared with `status`).
void addOptions(QCommandLineParser& parser);
// Prints what the options ask for; returns the program's exit status.
int run(const QCommandLineParser& parser);

}  // namespace HistoryCommand
