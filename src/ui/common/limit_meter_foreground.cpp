#include "limit_meter_foreground.h"

#include <QCoreApplication>
#include <QFontMetricsF>
#include <QLocale>
#include <QPainter>
#include <QtMath>
#include <algorithm>

#include "symbols/symbols.h"

namespace {

// The desktop type scale, in device-independent pixels.
constexpr int kHeadline = 13;
constexpr int kSubheadline = 11;
constexpr int kCallout = 12;
constexpr int kCaption = 10;
constexpr int kTitle = 22;
constexpr int kTitle3 = 15;

constexpr double kHeaderSpacing = 12;
constexpr double kAgentSpacing = 8;
constexpr double kBlockSpacing = 12;
// Texts in the header and the big number shrink to these fractions before they are cut.
constexpr double kHeaderMinimumScale = 0.72;
constexpr double kPercentMinimumScale = 0.62;
constexpr int kSpinnerSpokes = 8;

QFont styled(int pixelSize, QFont::Weight weight, double scale = 1.0) {
    QFont font;
    font.setPixelSize(std::max(1, qRound(pixelSize * scale)));
    font.setWeight(weight);
    return font;
}

QColor withOpacity(QColor color, double opacity) {
    color.setAlphaF(static_cast<float>(color.alphaF() * opacity));
    return color;
}

// A text laid out on one line: its font, the width it may take and its natural width.
struct Line {
    QString text;
    QFont font;
    double width = 0;

    QFontMetricsF metrics() const { return QFontMetricsF(font); }
    double naturalWidth() const { return metrics().horizontalAdvance(text); }
    void draw(QPainter& painter, QPointF baseline, const QColor& color) const {
        painter.setFont(font);
        painter.setPen(color);
        painter.drawText(baseline, metrics().elidedText(text, Qt::ElideRight, width));
    }
};

// Shrinks the header's agent and plan names together until they fit `available`, down to the
// minimum scale; whatever still does not fit is cut, the agent name keeping at least half.
void fitHeader(Line* agent, Line* plan, double available) {
    const double natural =
        (agent ? agent->naturalWidth() : 0.0) + (plan ? plan->naturalWidth() : 0.0);
    if (natural > available && natural > 0) {
        const double scale = std::max(kHeaderMinimumScale, available / natural);
        for (Line* line : {agent, plan}) {
            if (line) {
                line->font = styled(kHeadline, line->font.weight(), scale);
            }
        }
    }
    const double planWidth = plan ? plan->naturalWidth() : 0.0;
    if (agent) {
        const double agentRoom = plan ? std::max(available - planWidth, available / 2) : available;
        agent->width = std::max(0.0, std::min(agent->naturalWidth(), agentRoom));
        available -= agent->width;
    }
    if (plan) {
        plan->width = std::max(0.0, available);
    }
}

void drawSpinner(QPainter& painter, QPointF center, double radius, int phase, const QColor& color) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    for (int spoke = 0; spoke < kSpinnerSpokes; ++spoke) {
        // The spoke at `phase` is the brightest; the ones behind it fade out.
        const int age = (phase - spoke + kSpinnerSpokes) % kSpinnerSpokes;
        QPen pen(withOpacity(color, 1.0 - 0.75 * age / (kSpinnerSpokes - 1)), radius * 0.22);
        pen.setCapStyle(Qt::RoundCap);
        painter.setPen(pen);
        const double angle = qDegreesToRadians(spoke * 360.0 / kSpinnerSpokes - 90.0);
        const QPointF direction(std::cos(angle), std::sin(angle));
        painter.drawLine(center + direction * radius * 0.5, center + direction * radius);
    }
    painter.restore();
}

}  // namespace

void LimitMeterForeground::paint(QPainter& painter, const QRectF& bounds, Timestamp now,
                                 int spinnerPhase) const {
    const QRectF content = bounds.adjusted(contentPadding, contentPadding + topInset,
                                           -contentPadding, -contentPadding);
    if (content.width() <= 0 || content.height() <= 0) {
        return;
    }
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);

    // Header: symbol and agent name, plan name, flexible space, period badge.
    const std::optional<QString> planName = showsPlanName ? usage.displayPlanName() : std::nullopt;
    std::optional<Line> agent;
    std::optional<Line> plan;
    if (showsAgentName) {
        agent = Line{QString::fromStdString(usage.agentName), styled(kHeadline, QFont::Bold)};
    }
    if (planName) {
        plan = Line{*planName, styled(kHeadline, QFont::DemiBold)};
    }
    const double minimumSpacer = compact ? 4 : 12;
    std::optional<Line> badge;
    double badgeWidth = 0;
    const double badgeInset = compact ? 7 : 10;
    constexpr double kBadgeVerticalInset = 5;
    if (window) {
        badge = Line{UsageWindow::periodLabel(window->durationSeconds),
                     styled(kCaption, QFont::ExtraBold)};
        badge->width = badge->naturalWidth();
        badgeWidth = badge->width + 2 * badgeInset;
    }
    const double symbolSide = std::round(kSubheadline * 1.2);
    const double textRoom = content.width() - kHeaderSpacing - minimumSpacer -
                            (badge ? kHeaderSpacing + badgeWidth : 0.0) -
                            (agent ? symbolSide + kAgentSpacing : 0.0) -
                            (agent && plan ? kHeaderSpacing : 0.0);
    fitHeader(agent ? &*agent : nullptr, plan ? &*plan : nullptr, textRoom);

    // Everything in the header sits on one baseline.
    const QFontMetricsF headline(styled(kHeadline, QFont::Bold));
    double ascent = (agent || plan) ? headline.ascent() : 0.0;
    double descent = (agent || plan) ? headline.descent() : 0.0;
    if (badge) {
        const QFontMetricsF caption = badge->metrics();
        ascent = std::max(ascent, kBadgeVerticalInset + caption.ascent());
        descent = std::max(descent, kBadgeVerticalInset + caption.descent());
    }
    const double baseline = content.top() + ascent;
    double x = content.left();
    if (agent) {
        const double lineCenter = baseline - (headline.ascent() - headline.descent()) / 2;
        Symbols::paint(
            painter, Symbols::forProvider(QString::fromStdString(usage.provider.rawValue)),
            QRectF(x, lineCenter - symbolSide / 2, symbolSide, symbolSide), foregroundColor);
        x += symbolSide + kAgentSpacing;
        agent->draw(painter, {x, baseline}, foregroundColor);
        x += agent->width + kHeaderSpacing;
    }
    if (plan) {
        plan->draw(painter, {x, baseline}, withOpacity(foregroundColor, 0.62));
    }
    if (badge) {
        const QFontMetricsF caption = badge->metrics();
        const QRectF capsule(content.right() - badgeWidth,
                             baseline - caption.ascent() - kBadgeVerticalInset, badgeWidth,
                             caption.height() + 2 * kBadgeVerticalInset);
        painter.setPen(QPen(withOpacity(foregroundColor, 0.34), 1));
        painter.setBrush(Qt::NoBrush);
        const QRectF stroke = capsule.adjusted(0.5, 0.5, -0.5, -0.5);
        painter.drawRoundedRect(stroke, stroke.height() / 2, stroke.height() / 2);
        badge->draw(painter, {capsule.left() + badgeInset, baseline}, foregroundColor);
    }
    const double headerBottom = content.top() + ascent + descent;

    constexpr double kSpinnerSide = 32;
    if (!window) {
        // The waiting block, centred in the space under the header; its text may wrap.
        const QString waiting = QCoreApplication::translate("LimitMeterView", "Waiting for limits");
        painter.setFont(styled(kTitle3, QFont::DemiBold));
        painter.setPen(foregroundColor);
        constexpr int kFlags = Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap;
        const double textHeight =
            painter.boundingRect(QRectF(0, 0, content.width(), 1e6), kFlags, waiting).height();
        const double blockHeight = kSpinnerSide + kBlockSpacing + textHeight;
        const double top = std::max(headerBottom + kBlockSpacing,
                                    (headerBottom + content.bottom() - blockHeight) / 2);
        painter.drawText(
            QRectF(content.left(), top + kSpinnerSide + kBlockSpacing, content.width(), textHeight),
            kFlags, waiting);
        drawSpinner(painter, {content.left() + kSpinnerSide / 2, top + kSpinnerSide / 2},
                    kSpinnerSide / 2, spinnerPhase, foregroundColor);
        painter.restore();
        return;
    }

    // The reset line at the bottom, computed now so that it is current whenever the card paints.
    // Past the reset the percentage belongs to the replaced allowance: no number until a reading
    // of the new one arrives, only the indicator over the line that says so.
    const bool pastReset = window->isPastReset(now);
    Line reset{pastReset ? UsageWindow::resetCheckingText() : window->resetText(now),
               styled(kHeadline, QFont::DemiBold)};
    reset.width = content.width();
    if (const double natural = reset.naturalWidth(); natural > reset.width) {
        // Shrinks like the header's names before it is cut, by whole pixels that fit.
        const double fitting = std::floor(kHeadline * reset.width / natural) / kHeadline;
        reset.font = styled(kHeadline, QFont::DemiBold, std::max(kHeaderMinimumScale, fitting));
    }
    const QFontMetricsF resetMetrics = reset.metrics();
    reset.draw(painter, {content.left(), content.bottom() - resetMetrics.descent()},
               foregroundColor);
    const double resetTop = content.bottom() - resetMetrics.height();
    if (pastReset) {
        const double middle = (headerBottom + resetTop) / 2;
        drawSpinner(painter, {content.left() + kSpinnerSide / 2, middle}, kSpinnerSide / 2,
                    spinnerPhase, foregroundColor);
        painter.restore();
        return;
    }

    // The amount block, centred between header and reset line; the number shrinks to fit.
    Line percentSign{QCoreApplication::translate("LimitMeterView", "%"),
                     styled(kTitle, QFont::Black)};
    percentSign.width = percentSign.naturalWidth();
    Line remaining{QCoreApplication::translate("LimitMeterView", "remaining"),
                   styled(compact ? kCallout : kTitle3, QFont::DemiBold)};
    remaining.width = content.width();
    const int numberSize = compact ? 54 : 72;
    Line number{percentText(window->remainingPercent()), styled(numberSize, QFont::Black)};
    constexpr double kSignSpacing = 3;
    constexpr double kRemainingSpacing = 2;
    const double middleHeight = resetTop - kBlockSpacing - (headerBottom + kBlockSpacing);
    const double widthScale =
        (content.width() - kSignSpacing - percentSign.width) / number.naturalWidth();
    const double heightScale = (middleHeight - kRemainingSpacing - remaining.metrics().height()) /
                               number.metrics().height();
    const double scale = std::clamp(std::min(widthScale, heightScale), kPercentMinimumScale, 1.0);
    number.font = styled(numberSize, QFont::Black, scale);
    number.width = number.naturalWidth();
    const QFontMetricsF numberMetrics = number.metrics();
    const double blockHeight =
        numberMetrics.height() + kRemainingSpacing + remaining.metrics().height();
    const double top =
        std::max(headerBottom + kBlockSpacing, (headerBottom + resetTop - blockHeight) / 2);
    const double numberBaseline = top + numberMetrics.ascent();
    number.draw(painter, {content.left(), numberBaseline}, foregroundColor);
    percentSign.draw(painter, {content.left() + number.width + kSignSpacing, numberBaseline},
                     foregroundColor);
    remaining.draw(painter,
                   {content.left(), top + numberMetrics.height() + kRemainingSpacing +
                                        remaining.metrics().ascent()},
                   foregroundColor);
    painter.restore();
}

QString LimitMeterForeground::percentText(std::int64_t remainingPercent) {
    return QLocale().toString(static_cast<qlonglong>(remainingPercent));
}

QString LimitMeterForeground::accessibleLabel(const AgentUsage& usage,
                                              const std::optional<UsageWindow>& window,
                                              Timestamp now) {
    const QString agentName = QString::fromStdString(usage.agentName);
    if (!window) {
        return QCoreApplication::translate("LimitMeterView", "%1 limit is unavailable.")
            .arg(agentName);
    }
    if (window->isPastReset(now)) {
        return QCoreApplication::translate("LimitMeterView",
                                           "%1 %2 limit. Reset, checking the new allowance.")
            .arg(agentName, UsageWindow::periodLabel(window->durationSeconds));
    }
    return QCoreApplication::translate("LimitMeterView", "%1 %2 limit. %3 percent remaining. %4.")
        .arg(agentName, UsageWindow::periodLabel(window->durationSeconds),
             percentText(window->remainingPercent()), window->resetText(now));
}
