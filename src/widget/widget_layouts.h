#pragma once

#include <QColor>
#include <QRectF>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>

#include "widget/widget_extension.h"

class QFont;
class QPainter;

// The four styles of widget content, each the text colour at an opacity.
enum class WidgetTone { Primary, Secondary, Tertiary, Quaternary };

struct WidgetStyle {
    QColor text;
    QColor background;

    static WidgetStyle forAppearance(bool dark);
    QColor color(WidgetTone tone) const;
};

// Where the layouts draw. Without a painter nothing is drawn but the accessibility labels are
// still collected, so the labels always come from the same code as the pixels.
class WidgetCanvas final {
public:
    WidgetCanvas(QPainter* painter, WidgetStyle style) : m_painter(painter), m_style(style) {}

    // One line of text whose baseline starts at `origin`.
    void text(QPointF origin, const QString& text, const QFont& font, WidgetTone tone);
    // Text wrapped at word boundaries inside `rect`.
    void wrappedText(const QRectF& rect, const QString& text, const QFont& font, WidgetTone tone);
    void capsule(const QRectF& rect, WidgetTone tone);
    // The gauge symbol that stands for the app when there is no usage to show.
    void gauge(const QRectF& rect, WidgetTone tone);
    void roundedBackground(const QRectF& rect, qreal radius);

    // One accessibility element, in reading order.
    void accessible(const QString& label) { m_accessible.append(label); }
    const QStringList& accessibleTexts() const { return m_accessible; }

private:
    QPainter* m_painter;
    WidgetStyle m_style;
    QStringList m_accessible;
};

// Which view a kind's entries use.
enum class WidgetView { Limit, BothLimits };
WidgetView widgetView(const QString& kind);

// The logical size hosts give a family.
QSizeF widgetFamilySize(WidgetFamily family);

// Draws one entry into `rect`: the rounded card background when the options ask for it, then the
// kind's view inset by the content margins. Returns the accessibility labels; `painter` may be
// null to get only those. Texts about time are relative to entry.date, except the Updated row.
QStringList drawWidget(QPainter* painter, const QRectF& rect, WidgetView view, WidgetFamily family,
                       const LimitEntry& entry, const WidgetRenderOptions& options,
                       Timestamp drawingTime);

// The remaining-allowance bar: a quaternary track capsule, and over it a primary capsule as wide
// as the remaining fraction but never narrower than the bar is high, so a small remainder still
// shows as a dot. Nothing over the track at 0 %, nor without a percent (a window past its reset).
void drawUsageProgress(WidgetCanvas& canvas, const QRectF& track, const QString& agentName,
                       std::optional<std::int64_t> percent);

// The Updated row: "Stale" when the entry's date is more than 30 minutes after the last read
// (lastReadOf), otherwise how long before the drawing time that read was ("5 minutes ago").
QString updatedText(Timestamp lastRead, Timestamp referenceDate, Timestamp drawingTime);
// The Source row's short label.
QString sourceShortLabel(UsageSource source);
