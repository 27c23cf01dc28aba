#include "widget_layouts.h"

#include <QCoreApplication>
#include <QFont>
#include <QFontMetricsF>
#include <QLocale>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <limits>

#include "model/agent_read_times.h"
#include "symbols/symbols.h"
#include "widget/widget_configuration.h"

namespace {

// Logical pixel sizes of the named text styles, large enough that the texts stay readable on a
// desktop at scale 1.
namespace TextStyle {
constexpr qreal kCaption = 11;
constexpr qreal kCallout = 13;
constexpr qreal kHeadline = 14;
constexpr qreal kTitle3 = 16;
constexpr qreal kTitle2 = 19;
constexpr qreal kLargeTitle = 28;
}  // namespace TextStyle

constexpr qreal kContentInset = 16;
constexpr qreal kCornerRadius = 22;
// How far a one-line text may shrink before it is cut short.
constexpr qreal kMinimumScale = 0.8;
constexpr double kStaleAfterSeconds = 1800;
const QString kGaugeSymbol = QStringLiteral("gauge.with.dots.needle.33percent");

QFont font(qreal pixelSize, QFont::Weight weight = QFont::Normal) {
    QFont result;
    result.setPixelSize(std::max(1, qRound(pixelSize)));
    result.setWeight(weight);
    return result;
}

QFont scaled(const QFont& base, qreal scale) {
    QFont result = base;
    result.setPixelSize(std::max(1, qRound(base.pixelSize() * scale)));
    return result;
}

qreal lineHeight(const QFont& font) {
    return QFontMetricsF(font).height();
}

// One line: shrinks the font to fit `width`, down to 80 %; what still does not fit is elided.
struct FittedLine {
    QFont font;
    QString text;
};

FittedLine fitLine(const QFont& base, const QString& text, qreal width) {
    for (qreal scale = 1.0; scale >= kMinimumScale - 1e-9; scale -= 0.05) {
        const QFont candidate = scaled(base, scale);
        if (QFontMetricsF(candidate).horizontalAdvance(text) <= width) {
            return {candidate, text};
        }
    }
    const QFont smallest = scaled(base, kMinimumScale);
    return {smallest, QFontMetricsF(smallest).elidedText(text, Qt::ElideRight, width)};
}

qreal wrappedHeight(const QFont& font, const QString& text, qreal width) {
    return QFontMetricsF(font)
        .boundingRect(QRectF(0, 0, width, 1e6), Qt::TextWordWrap, text)
        .height();
}

// Wrapped text that shrinks, down to 80 %, when its lines do not fit `height`.
QFont fitWrapped(const QFont& base, const QString& text, qreal width, qreal height) {
    for (qreal scale = 1.0; scale > kMinimumScale + 1e-9; scale -= 0.05) {
        const QFont candidate = scaled(base, scale);
        if (wrappedHeight(candidate, text, width) <= height) {
            return candidate;
        }
    }
    return scaled(base, kMinimumScale);
}

QString relativeTimeText(double seconds) {
    struct Unit {
        double seconds;
        const char* text;
    };
    static constexpr Unit kUnits[] = {
        {86400, QT_TRANSLATE_N_NOOP("QuotamindWidget", "%Ln day(s) ago")},
        {3600, QT_TRANSLATE_N_NOOP("QuotamindWidget", "%Ln hour(s) ago")},
        {60, QT_TRANSLATE_N_NOOP("QuotamindWidget", "%Ln minute(s) ago")},
        {1, QT_TRANSLATE_N_NOOP("QuotamindWidget", "%Ln second(s) ago")},
    };
    // An update stamped a little ahead of this computer's clock reads as just now.
    const double elapsed = std::isfinite(seconds) ? std::max(0.0, seconds) : 0.0;
    for (const Unit& unit : kUnits) {
        if (elapsed >= unit.seconds || unit.seconds == 1) {
            const auto count = static_cast<int>(
                std::min(elapsed / unit.seconds, double{std::numeric_limits<int>::max()}));
            return QCoreApplication::translate("QuotamindWidget", unit.text, nullptr, count);
        }
    }
    return {};
}

// ---- Building blocks -----------------------------------------------------------------------

// The agent name and a capsule with the period label, on one baseline. Returns its height.
qreal usageHeader(WidgetCanvas& canvas, const QRectF& area, const QString& agentName,
                  const QString& period) {
    constexpr qreal kSpacing = 8;
    constexpr qreal kCapsuleInsetX = 9;
    constexpr qreal kCapsuleInsetY = 4;
    const QFont nameFont = font(TextStyle::kHeadline, QFont::Bold);
    const QFont periodFont = font(TextStyle::kCaption, QFont::Bold);
    const QFontMetricsF nameMetrics(nameFont);
    const QFontMetricsF periodMetrics(periodFont);

    const QSizeF capsule(periodMetrics.horizontalAdvance(period) + 2 * kCapsuleInsetX,
                         periodMetrics.height() + 2 * kCapsuleInsetY);
    const qreal capsuleAscent = kCapsuleInsetY + periodMetrics.ascent();
    const qreal baseline = std::max(nameMetrics.ascent(), capsuleAscent);
    const qreal height =
        std::max(baseline + nameMetrics.descent(), baseline - capsuleAscent + capsule.height());

    const QRectF capsuleRect(area.right() - capsule.width(), area.top() + baseline - capsuleAscent,
                             capsule.width(), capsule.height());
    canvas.capsule(capsuleRect, WidgetTone::Quaternary);
    canvas.text({capsuleRect.left() + kCapsuleInsetX, area.top() + baseline}, period, periodFont,
                WidgetTone::Primary);
    const QString name = nameMetrics.elidedText(agentName, Qt::ElideRight,
                                                area.width() - capsule.width() - kSpacing);
    canvas.text({area.left(), area.top() + baseline}, name, nameFont, WidgetTone::Primary);
    canvas.accessible(
        QCoreApplication::translate("QuotamindWidget", "%1 %2 limit").arg(agentName, period));
    return height;
}

// The remaining percent in the locale's digits with a smaller "%", on one baseline.
class PercentageLabel final {
public:
    PercentageLabel(std::int64_t percent, qreal fontSize)
        : m_number(QLocale().toString(static_cast<qint64>(percent))),
          m_numberFont(font(fontSize, QFont::Bold)),
          m_signFont(font(TextStyle::kTitle3, QFont::DemiBold)) {}

    QSizeF size() const {
        const QFontMetricsF number(m_numberFont);
        const QFontMetricsF sign(m_signFont);
        return {
            number.horizontalAdvance(m_number) + kSpacing + sign.horizontalAdvance(m_sign),
            std::max(number.ascent(), sign.ascent()) + std::max(number.descent(), sign.descent())};
    }

    void draw(WidgetCanvas& canvas, QPointF topLeft) const {
        const QFontMetricsF number(m_numberFont);
        const qreal baseline =
            topLeft.y() + std::max(number.ascent(), QFontMetricsF(m_signFont).ascent());
        canvas.text({topLeft.x(), baseline}, m_number, m_numberFont, WidgetTone::Primary);
        canvas.text({topLeft.x() + number.horizontalAdvance(m_number) + kSpacing, baseline}, m_sign,
                    m_signFont, WidgetTone::Secondary);
        canvas.accessible(
            QCoreApplication::translate("QuotamindWidget", "%1 percent remaining").arg(m_number));
    }

private:
    static constexpr qreal kSpacing = 2;
    QString m_number;
    QString m_sign = QStringLiteral("%");
    QFont m_numberFont;
    QFont m_signFont;
};

// What stands where the percentage stands once the window is past its reset: "Reset", in the
// large title type, with the same size()/draw() as PercentageLabel.
class ResetLabel final {
public:
    ResetLabel()
        : m_text(QCoreApplication::translate("QuotamindWidget", "Reset")),
          m_font(font(TextStyle::kLargeTitle, QFont::Bold)) {}

    QSizeF size() const {
        const QFontMetricsF metrics(m_font);
        return {metrics.horizontalAdvance(m_text), metrics.ascent() + metrics.descent()};
    }

    void draw(WidgetCanvas& canvas, QPointF topLeft) const {
        canvas.text({topLeft.x(), topLeft.y() + QFontMetricsF(m_font).ascent()}, m_text, m_font,
                    WidgetTone::Primary);
        canvas.accessible(m_text);
    }

private:
    QString m_text;
    QFont m_font;
};

// The percentage, or "Reset" for a window past its reset at the entry's date.
template <typename Layout>
void withAmountLabel(const UsageWindow& window, Timestamp referenceDate, qreal fontSize,
                     Layout&& layout) {
    if (const auto percent = window.currentRemainingPercent(referenceDate)) {
        layout(PercentageLabel(*percent, fontSize));
    } else {
        layout(ResetLabel());
    }
}

// The line under the bar: the time until the reset, or that the new allowance is being checked.
QString resetLine(const UsageWindow& window, Timestamp referenceDate) {
    return window.isPastReset(referenceDate)
               ? QCoreApplication::translate("QuotamindWidget", "Checking…")
               : window.resetText(referenceDate);
}

// A one-line secondary text that shrinks to fit; returns its height.
qreal secondaryLine(WidgetCanvas& canvas, const QRectF& area, const QString& text,
                    const QFont& base) {
    const FittedLine line = fitLine(base, text, area.width());
    canvas.text({area.left(), area.top() + QFontMetricsF(line.font).ascent()}, line.text, line.font,
                WidgetTone::Secondary);
    canvas.accessible(text);
    return lineHeight(line.font);
}

// Plan, Source and Updated in two columns at the right edge of `area`, centred vertically.
void mediumUsageDetails(WidgetCanvas& canvas, const QRectF& area, const AgentUsage& usage,
                        Timestamp lastRead, Timestamp referenceDate, Timestamp drawingTime) {
    constexpr qreal kColumnSpacing = 8;
    constexpr qreal kRowSpacing = 3;
    const QList<std::pair<QString, QString>> rows{
        {QCoreApplication::translate("QuotamindWidget", "Plan"),
         usage.displayPlanName().value_or(QStringLiteral("\u2014"))},
        {QCoreApplication::translate("QuotamindWidget", "Source"), sourceShortLabel(usage.source)},
        {QCoreApplication::translate("QuotamindWidget", "Updated"),
         updatedText(lastRead, referenceDate, drawingTime)},
    };

    const auto columnWidths = [&rows](const QFont& font) {
        const QFontMetricsF metrics(font);
        qreal label = 0;
        qreal value = 0;
        for (const auto& [rowLabel, rowValue] : rows) {
            label = std::max(label, metrics.horizontalAdvance(rowLabel));
            value = std::max(value, metrics.horizontalAdvance(rowValue));
        }
        return std::pair{label, value};
    };
    QFont rowFont = font(TextStyle::kCaption);
    for (qreal scale = 1.0; scale >= kMinimumScale - 1e-9; scale -= 0.05) {
        rowFont = scaled(font(TextStyle::kCaption), scale);
        const auto [label, value] = columnWidths(rowFont);
        if (label + kColumnSpacing + value <= area.width()) {
            break;
        }
    }
    const QFontMetricsF metrics(rowFont);
    const auto [labelWidth, valueWidth] = columnWidths(rowFont);
    const qreal width = std::min(area.width(), labelWidth + kColumnSpacing + valueWidth);
    const qreal height = rows.size() * metrics.height() + (rows.size() - 1) * kRowSpacing;
    const qreal left = area.right() - width;
    qreal top = area.top() + (area.height() - height) / 2;

    QStringList combined;
    for (const auto& [label, value] : rows) {
        const qreal baseline = top + metrics.ascent();
        canvas.text({left, baseline}, label, rowFont, WidgetTone::Tertiary);
        const qreal valueLeft = left + labelWidth + kColumnSpacing;
        canvas.text({valueLeft, baseline},
                    metrics.elidedText(value, Qt::ElideRight, area.right() - valueLeft), rowFont,
                    WidgetTone::Secondary);
        combined << label << value;
        top += metrics.height() + kRowSpacing;
    }
    canvas.accessible(combined.join(QStringLiteral(", ")));
}

// ---- Layouts -------------------------------------------------------------------------------

void smallUsageLayout(WidgetCanvas& canvas, const QRectF& area, const QString& agentName,
                      const UsageWindow& window, Timestamp referenceDate) {
    constexpr qreal kSpacing = 7;
    constexpr qreal kBarHeight = 6;
    usageHeader(canvas, area, agentName, UsageWindow::periodLabel(window.durationSeconds));

    // Below the flexible space, from the bottom up.
    const QString reset = resetLine(window, referenceDate);
    const qreal resetTop =
        area.bottom() - lineHeight(fitLine(font(TextStyle::kCaption), reset, area.width()).font);
    const qreal barTop = resetTop - kSpacing - kBarHeight;
    withAmountLabel(window, referenceDate, 50, [&](const auto& amount) {
        amount.draw(canvas, {area.left(), barTop - kSpacing - amount.size().height()});
    });
    drawUsageProgress(canvas, QRectF(area.left(), barTop, area.width(), kBarHeight), agentName,
                      window.currentRemainingPercent(referenceDate));
    secondaryLine(canvas, QRectF(area.left(), resetTop, area.width(), area.bottom() - resetTop),
                  reset, font(TextStyle::kCaption));
}

void mediumUsageLayout(WidgetCanvas& canvas, const QRectF& area, const AgentUsage& usage,
                       const UsageWindow& window, Timestamp lastRead, Timestamp referenceDate,
                       Timestamp drawingTime, const std::optional<QString>& forecast) {
    constexpr qreal kSpacing = 6;
    constexpr qreal kRowSpacing = 20;
    constexpr qreal kBarHeight = 7;
    const QString agentName = QString::fromStdString(usage.agentName);
    qreal top =
        area.top() +
        usageHeader(canvas, area, agentName, UsageWindow::periodLabel(window.durationSeconds)) +
        kSpacing;

    QSizeF amountSize;
    withAmountLabel(window, referenceDate, 48, [&](const auto& amount) {
        amountSize = amount.size();
        amount.draw(canvas, {area.left(), top});
    });
    const qreal detailsLeft = area.left() + amountSize.width() + kRowSpacing;
    mediumUsageDetails(canvas,
                       QRectF(detailsLeft, top, area.right() - detailsLeft, amountSize.height()),
                       usage, lastRead, referenceDate, drawingTime);
    top += amountSize.height() + kSpacing;

    drawUsageProgress(canvas, QRectF(area.left(), top, area.width(), kBarHeight), agentName,
                      window.currentRemainingPercent(referenceDate));
    top += kBarHeight + kSpacing;
    top += secondaryLine(canvas, QRectF(area.left(), top, area.width(), area.bottom() - top),
                         resetLine(window, referenceDate), font(TextStyle::kCallout));
    if (forecast) {
        secondaryLine(canvas, QRectF(area.left(), top, area.width(), area.bottom() - top),
                      *forecast, font(TextStyle::kCaption));
    }
}

void unavailableUsageWindowLayout(WidgetCanvas& canvas, const QRectF& area,
                                  const QString& agentName, const QString& period, bool compact) {
    constexpr qreal kSpacing = 7;
    // One combined element: the header and texts below are read as this sentence alone.
    WidgetCanvas silent = canvas;
    const qreal headerHeight = usageHeader(silent, area, agentName, period);

    const QFont titleFont = font(compact ? TextStyle::kTitle3 : TextStyle::kTitle2, QFont::Bold);
    const QString title = QCoreApplication::translate("QuotamindWidget", "Not available");
    const QString sentence =
        QCoreApplication::translate("QuotamindWidget", "This agent doesn't report a %1 limit")
            .arg(period);
    const qreal sentenceRoom = area.height() - headerHeight - 2 * kSpacing - lineHeight(titleFont);
    const QFont sentenceFont = fitWrapped(font(compact ? TextStyle::kCaption : TextStyle::kCallout),
                                          sentence, area.width(), sentenceRoom);
    const qreal sentenceHeight =
        std::min(sentenceRoom, wrappedHeight(sentenceFont, sentence, area.width()));
    const qreal sentenceTop = area.bottom() - sentenceHeight;
    const qreal titleTop = sentenceTop - kSpacing - lineHeight(titleFont);

    silent.text({area.left(), titleTop + QFontMetricsF(titleFont).ascent()}, title, titleFont,
                WidgetTone::Primary);
    silent.wrappedText(QRectF(area.left(), sentenceTop, area.width(), sentenceHeight), sentence,
                       sentenceFont, WidgetTone::Secondary);
    canvas.accessible(QCoreApplication::translate("QuotamindWidget", "%1 %2 limit is not available")
                          .arg(agentName, period));
}

void unavailableWidgetView(WidgetCanvas& canvas, const QRectF& area, WidgetFamily family) {
    const QString title = QCoreApplication::translate("QuotamindWidget", "Open Quotamind");
    const QFont titleFont = font(TextStyle::kHeadline, QFont::Bold);
    const QFont captionFont = font(TextStyle::kCaption);
    QString caption;
    if (family == WidgetFamily::Small) {
        constexpr qreal kSpacing = 8;
        caption =
            QCoreApplication::translate("QuotamindWidget", "Connect your computer to show usage");
        const qreal glyph = TextStyle::kTitle2 * 1.2;
        canvas.gauge(QRectF(area.left(), area.top(), glyph, glyph), WidgetTone::Secondary);
        qreal top = area.top() + glyph + kSpacing;
        canvas.text({area.left(), top + QFontMetricsF(titleFont).ascent()}, title, titleFont,
                    WidgetTone::Primary);
        top += lineHeight(titleFont) + kSpacing;
        canvas.wrappedText(QRectF(area.left(), top, area.width(), area.bottom() - top), caption,
                           captionFont, WidgetTone::Secondary);
    } else {
        constexpr qreal kRowSpacing = 16;
        constexpr qreal kSpacing = 4;
        caption = QCoreApplication::translate("QuotamindWidget",
                                              "Connect or sync usage from your computer.");
        const qreal glyph = TextStyle::kLargeTitle * 1.2;
        const qreal textLeft = area.left() + glyph + kRowSpacing;
        const qreal textWidth = area.right() - textLeft;
        const qreal captionHeight = wrappedHeight(captionFont, caption, textWidth);
        const qreal textHeight = lineHeight(titleFont) + kSpacing + captionHeight;
        const qreal rowHeight = std::max(glyph, textHeight);
        canvas.gauge(QRectF(area.left(), area.top() + (rowHeight - glyph) / 2, glyph, glyph),
                     WidgetTone::Secondary);
        const qreal top = area.top() + (rowHeight - textHeight) / 2;
        canvas.text({textLeft, top + QFontMetricsF(titleFont).ascent()}, title, titleFont,
                    WidgetTone::Primary);
        canvas.wrappedText(
            QRectF(textLeft, top + lineHeight(titleFont) + kSpacing, textWidth, captionHeight),
            caption, captionFont, WidgetTone::Secondary);
    }
    canvas.accessible(title + QStringLiteral(", ") + caption);
}

void usageCardContent(WidgetCanvas& canvas, const QRectF& area, const LimitEntry& entry,
                      bool compact, std::optional<std::int64_t> durationSeconds,
                      Timestamp drawingTime) {
    const AgentUsage& usage = *entry.usage;
    const Timestamp referenceDate = entry.date;
    const auto window = durationSeconds ? usage.window(*durationSeconds) : usage.preferredWindow();
    const QString agentName = QString::fromStdString(usage.agentName);
    if (window && compact) {
        smallUsageLayout(canvas, area, agentName, *window, referenceDate);
    } else if (window) {
        mediumUsageLayout(canvas, area, usage, *window, lastReadOf(usage, entry.lastReadAt),
                          referenceDate, drawingTime,
                          entry.forecasts.textFor(usage.provider.rawValue, *window, drawingTime));
    } else if (durationSeconds) {
        unavailableUsageWindowLayout(canvas, area, agentName,
                                     UsageWindow::periodLabel(*durationSeconds), compact);
    }
    // A usage without any window draws nothing.
}

}  // namespace

// ---- Canvas --------------------------------------------------------------------------------

WidgetStyle WidgetStyle::forAppearance(bool dark) {
    return dark ? WidgetStyle{.text = QColor(255, 255, 255), .background = QColor(30, 30, 32)}
                : WidgetStyle{.text = QColor(0, 0, 0), .background = QColor(255, 255, 255)};
}

QColor WidgetStyle::color(WidgetTone tone) const {
    static constexpr qreal kOpacity[] = {1.0, 0.55, 0.3, 0.12};
    QColor result = text;
    result.setAlphaF(static_cast<float>(kOpacity[static_cast<int>(tone)]));
    return result;
}

void WidgetCanvas::text(QPointF origin, const QString& text, const QFont& font, WidgetTone tone) {
    if (m_painter) {
        m_painter->setFont(font);
        m_painter->setPen(m_style.color(tone));
        m_painter->drawText(origin, text);
    }
}

void WidgetCanvas::wrappedText(const QRectF& rect, const QString& text, const QFont& font,
                               WidgetTone tone) {
    if (m_painter) {
        m_painter->setFont(font);
        m_painter->setPen(m_style.color(tone));
        m_painter->drawText(rect, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, text);
    }
}

void WidgetCanvas::capsule(const QRectF& rect, WidgetTone tone) {
    if (m_painter) {
        const qreal radius = std::min(rect.width(), rect.height()) / 2;
        m_painter->setPen(Qt::NoPen);
        m_painter->setBrush(m_style.color(tone));
        m_painter->drawRoundedRect(rect, radius, radius);
    }
}

void WidgetCanvas::gauge(const QRectF& rect, WidgetTone tone) {
    if (m_painter) {
        Symbols::paint(*m_painter, kGaugeSymbol, rect, m_style.color(tone));
    }
}

void WidgetCanvas::roundedBackground(const QRectF& rect, qreal radius) {
    if (m_painter) {
        m_painter->setPen(Qt::NoPen);
        m_painter->setBrush(m_style.background);
        m_painter->drawRoundedRect(rect, radius, radius);
    }
}

// ---- Public entry points -------------------------------------------------------------------

WidgetView widgetView(const QString& kind) {
    return kind == WidgetKinds::kBothLimits ? WidgetView::BothLimits : WidgetView::Limit;
}

QSizeF widgetFamilySize(WidgetFamily family) {
    return family == WidgetFamily::Small ? QSizeF(170, 170) : QSizeF(364, 170);
}

QStringList drawWidget(QPainter* painter, const QRectF& rect, WidgetView view, WidgetFamily family,
                       const LimitEntry& entry, const WidgetRenderOptions& options,
                       Timestamp drawingTime) {
    if (painter) {
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        painter->setRenderHint(QPainter::TextAntialiasing);
    }
    WidgetCanvas canvas(painter, WidgetStyle::forAppearance(options.dark));
    if (options.showsBackground) {
        canvas.roundedBackground(rect, kCornerRadius);
    }
    const QRectF area = rect.adjusted(kContentInset, kContentInset, -kContentInset, -kContentInset);
    if (!entry.usage) {
        unavailableWidgetView(canvas, area,
                              view == WidgetView::BothLimits ? WidgetFamily::Medium : family);
    } else if (view == WidgetView::BothLimits) {
        constexpr qreal kSpacing = 20;
        const qreal half = (area.width() - kSpacing) / 2;
        usageCardContent(canvas, QRectF(area.left(), area.top(), half, area.height()), entry, true,
                         UsageWindow::kFiveHourSeconds, drawingTime);
        usageCardContent(canvas, QRectF(area.right() - half, area.top(), half, area.height()),
                         entry, true, UsageWindow::kWeeklySeconds, drawingTime);
    } else {
        usageCardContent(canvas, area, entry, family == WidgetFamily::Small, entry.durationSeconds,
                         drawingTime);
    }
    if (painter) {
        painter->restore();
    }
    return canvas.accessibleTexts();
}

void drawUsageProgress(WidgetCanvas& canvas, const QRectF& track, const QString& agentName,
                       std::optional<std::int64_t> percent) {
    canvas.capsule(track, WidgetTone::Quaternary);
    if (!percent) {
        canvas.accessible(
            QCoreApplication::translate("QuotamindWidget", "%1 allowance remaining, being checked")
                .arg(agentName));
        return;
    }
    const std::int64_t clamped = std::clamp<std::int64_t>(*percent, 0, 100);
    if (clamped > 0) {
        const qreal width = std::max(track.height(), track.width() * clamped / 100.0);
        canvas.capsule(QRectF(track.topLeft(), QSizeF(width, track.height())), WidgetTone::Primary);
    }
    canvas.accessible(
        QCoreApplication::translate("QuotamindWidget", "%1 allowance remaining, %2 percent")
            .arg(agentName, QLocale().toString(static_cast<qint64>(clamped))));
}

QString updatedText(Timestamp lastRead, Timestamp referenceDate, Timestamp drawingTime) {
    if (referenceDate - lastRead > kStaleAfterSeconds) {
        return QCoreApplication::translate("QuotamindWidget", "Stale");
    }
    return relativeTimeText(drawingTime - lastRead);
}

QString sourceShortLabel(UsageSource source) {
    switch (source) {
        case UsageSource::LocalDesktop:
            return QCoreApplication::translate("QuotamindWidget", "This computer");
        case UsageSource::AccountSession:
            return QCoreApplication::translate("QuotamindWidget", "Account");
        case UsageSource::SyncedFromDesktop:
            return QCoreApplication::translate("QuotamindWidget", "Computer sync");
        case UsageSource::Preview:
            return QCoreApplication::translate("QuotamindWidget", "Preview");
    }
    return {};
}
