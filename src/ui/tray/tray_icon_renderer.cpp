#include "tray_icon_renderer.h"

#include <QIconEngine>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <algorithm>
#include <cmath>

namespace TrayIconRenderer {

namespace {

// The layout is described with y growing upwards from the bottom edge; Qt's grows downwards.
QRectF fromBottomLeft(double x, double y, double width, double height) {
    return {x, kSizePoints - y - height, width, height};
}

// Draws the icon at any size when the tray asks for it, rather than scaling one bitmap.
class LimitIconEngine final : public QIconEngine {
public:
    LimitIconEngine(std::optional<AgentUsage> usage, TrayIconAppearance::Colors colors,
                    Timestamp now)
        : m_usage(std::move(usage)), m_colors(colors), m_now(now) {}

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode, QIcon::State) override {
        const double side = std::min(rect.width(), rect.height());
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        painter->translate(rect.x() + (rect.width() - side) / 2,
                           rect.y() + (rect.height() - side) / 2);
        painter->scale(side / kSizePoints, side / kSizePoints);
        draw(*painter, m_usage, m_colors, m_now);
        painter->restore();
    }

    // `size` is in device pixels: QIcon asks for size × device pixel ratio on dense screens.
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        QPixmap pixmap(size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        paint(&painter, QRect(QPoint(0, 0), size), mode, state);
        return pixmap;
    }

    // The sizes panels commonly ask for; a tray that reads pixmaps (StatusNotifierItem) gets
    // each of them drawn exactly.
    QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override {
        return {QSize(16, 16), QSize(22, 22), QSize(24, 24),
                QSize(32, 32), QSize(48, 48), QSize(64, 64)};
    }

    QIconEngine* clone() const override { return new LimitIconEngine(m_usage, m_colors, m_now); }
    QString key() const override { return QStringLiteral("QuotamindLimitIcon"); }

private:
    std::optional<AgentUsage> m_usage;
    TrayIconAppearance::Colors m_colors;
    Timestamp m_now;
};

// Panels ask for sizes such as 22 pixels, where a 1-point line falls across two pixel rows and
// each shows it at part of its contrast. So the capsule is hinted: its outer edge lies on pixel
// boundaries and its lines are whole pixels wide, moving no edge by more than half a pixel.
struct Hinted {
    QRectF capsule;  // the outline's centre line
    double line;     // the width of a line, in points
};

Hinted hinted(const QPainter& painter, const QRectF& rect) {
    const QTransform toDevice = painter.deviceTransform();
    const double scaleX = toDevice.m11(), scaleY = toDevice.m22();
    const double line = std::max(1.0, std::round(scaleY));
    const auto snapX = [&](double x) {
        return (std::round(x * scaleX + toDevice.dx()) - toDevice.dx()) / scaleX;
    };
    const auto snapY = [&](double y) {
        return (std::round(y * scaleY + toDevice.dy()) - toDevice.dy()) / scaleY;
    };
    const double halfX = line / scaleX / 2, halfY = line / scaleY / 2;
    const QRectF outer(QPointF(snapX(rect.left() - 0.5), snapY(rect.top() - 0.5)),
                       QPointF(snapX(rect.right() + 0.5), snapY(rect.bottom() + 0.5)));
    return {outer.adjusted(halfX, halfY, -halfX, -halfY), line / scaleY};
}

// `x` moved to the nearest device pixel boundary, so the fill's end stays sharp.
double snappedX(const QPainter& painter, double x) {
    const QTransform toDevice = painter.deviceTransform();
    return (std::round(x * toDevice.m11() + toDevice.dx()) - toDevice.dx()) / toDevice.m11();
}

}  // namespace

QIcon image(const std::optional<AgentUsage>& usage, const TrayIconAppearance::Colors& colors,
            Timestamp now) {
    return QIcon(new LimitIconEngine(usage, colors, now));
}

void draw(QPainter& painter, const std::optional<AgentUsage>& usage,
          const TrayIconAppearance::Colors& colors, Timestamp now) {
    const std::optional<UsageWindow> five =
        usage ? usage->window(UsageWindow::kFiveHourSeconds) : std::nullopt;
    const std::optional<UsageWindow> weekly =
        usage ? usage->window(UsageWindow::kWeeklySeconds) : std::nullopt;
    if (five && weekly) {
        drawBar(painter, fromBottomLeft(1.5, 11.5, 15, 3), five->currentRemainingPercent(now),
                colors);
        drawBar(painter, fromBottomLeft(1.5, 3.5, 15, 6), weekly->currentRemainingPercent(now),
                colors);
        return;
    }
    std::optional<UsageWindow> shown = weekly ? weekly : five;
    if (!shown && usage) {
        shown = usage->preferredWindow();
    }
    drawBar(painter, fromBottomLeft(1.5, 5, 15, 8),
            shown ? shown->currentRemainingPercent(now) : std::nullopt, colors);
}

void drawBar(QPainter& painter, const QRectF& rect, std::optional<std::int64_t> remainingPercent,
             const TrayIconAppearance::Colors& colors) {
    const auto [bar, line] = hinted(painter, rect);
    QPainterPath capsule;
    capsule.addRoundedRect(bar, bar.height() / 2, bar.height() / 2);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillPath(capsule, colors.track);
    if (remainingPercent) {
        const double fraction =
            static_cast<double>(std::clamp<std::int64_t>(*remainingPercent, 0, 100)) / 100;
        if (fraction > 0) {
            painter.save();
            painter.setClipPath(capsule, Qt::IntersectClip);
            const double end =
                fraction < 1 ? snappedX(painter, bar.left() + fraction * bar.width()) : bar.right();
            painter.fillRect(QRectF(bar.left(), bar.top(), end - bar.left(), bar.height()),
                             colors.fill);
            // Where the fill ends is the value: drawn in the edge colour, it reads on a panel
            // as light or as dark as the fill.
            if (fraction < 1) {
                const double lineLeft = std::max(bar.left(), end - line);
                painter.fillRect(QRectF(lineLeft, bar.top(), end - lineLeft, bar.height()),
                                 colors.edge);
            }
            painter.restore();
        }
    }
    painter.strokePath(capsule, QPen(colors.edge, line));
    painter.restore();
}

}  // namespace TrayIconRenderer
