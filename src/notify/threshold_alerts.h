#pragma once

#include <QString>
#include <map>
#include <optional>
#include <string_view>
#include <vector>

#include "core/timestamp.h"
#include "model/agent_usage_snapshot.h"
#include "platform/notifications/notification_center.h"

// The alerts when a window's used percent first reaches a threshold (80 % and 95 % unless the
// user chose others), once per window instance: pure rules, so a table tests them, and the
// record of what was delivered, which the program keeps in its preferences so that a restart
// neither repeats an alert nor loses one (docs/notifications.md).
namespace ThresholdAlerts {

inline const std::vector<int> kDefaultPercents = {80, 95};

// By identifier, the reset time of the window instance each alert was delivered for.
using Delivered = std::map<QString, Timestamp>;

// "limit-threshold.v1.<provider>.<seconds>.<percent>".
QString identifier(const std::string& provider, std::int64_t windowSeconds, int percent);

struct Due {
    NotificationRequest request;
    // The identifiers the request stands for: its threshold and any lower one reached with it,
    // all recorded as delivered once it is.
    std::vector<QString> identifiers;
    Timestamp resetDate;
};

// The alerts due at `now`: for each window not past its reset, the highest threshold its used
// percent has reached that was not delivered for this instance of the window.
std::vector<Due> due(const AgentUsageSnapshot& snapshot, const std::vector<int>& percents,
                     const Delivered& delivered, Timestamp now);

// Drops the records of window instances whose reset has passed, so the record stays small.
Delivered withoutPast(Delivered delivered, Timestamp now);

// "80, 95": whole percents from 1 to 100, at most five, sorted and without repeats; nothing for
// anything else.
std::optional<std::vector<int>> parsePercents(const QString& text);
QString formatPercents(const std::vector<int>& percents);

// Throws json::EncodingError / json::DecodingError.
std::string encode(const Delivered& delivered);
Delivered decode(std::string_view bytes);

}  // namespace ThresholdAlerts
