#include "limit_meter_foreground.h"

#include <QCoreApplication>
#include <QLocale>
#include <QPainter>

void LimitMeterForeground::paint(QPainter&, const QRectF&, Timestamp, int) const {}

QString LimitMeterForeground::percentText(std::int64_t remainingPercent) {
    return QLocale().toString(static_cast<qlonglong>(remainingPercent));
}

QString LimitMeterForeground::accessibleLabel(const AgentUsage& usage,
                                              const std::optional<UsageWindow>&, Timestamp) {
    return QString::fromStdString(usage.agentName);
}
