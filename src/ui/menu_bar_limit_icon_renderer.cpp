#include "menu_bar_limit_icon_renderer.h"

#include <QIconEngine>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <algorithm>

namespace MenuBarLimitIconRenderer {

namespace {

// The layout is described with y growing upwards from the bottom edge; Qt's grows downwards.
QRectF fromBottomLeft(double x, double y, double width, double height) {
    return {x, kSizePoints - y - height, width, height};
}

// Draws the icon at any size when the tray asks for it, rather than scaling one bitmap.
class LimitIconEngine final : public QIconEngine {
public:
    LimitIconEngine(std::optional<AgentUsage> usage, QColor color, Timestamp now)
        : m_usage(std::move(usage)), m_color(color), m_now(now) {}

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode, QIcon::State) override {
        const double side = std::min(rect.width(), rect.height());
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        painter->translate(rect.x() + (rect.width() - side) / 2,
                           rect.y() + (rect.height() - side) / 2);
        painter->scale(side / kSizePoints, side / kSizePoints);
        draw(*painter, m_usage, m_color, m_now);
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

    QIconEngine* clone() const override { return new LimitIconEngine(m_usage, m_color, m_now); }
    QString key() const override { return QStringLiteral("QuotamindLimitIcon"); }

private:
    std::optional<AgentUsage> m_usage;
    QColor m_color;
    Timestamp m_now;
};

QColor withOpacity(QColor color, double opacity) {
    color.setAlphaF(static_cast<float>(color.alphaF() * opacity));
    return color;
}

}  // namespace

QIcon image(const std::optional<AgentUsage>& usage, const QColor& color, Timestamp now) {
    return QIcon(new LimitIconEngine(usage, color, now));
}

void draw(QPainter& painter, const std::optional<AgentUsage>& usage, const QColor& color,
          Timestamp now) {
    const std::optional<UsageWindow> five =
        usage ? usage->window(UsageWindow::kFiveHourSeconds) : std::nullopt;
    const std::optional<UsageWindow> weekly =
        usage ? usage->window(UsageWindow::kWeeklySeconds) : std::nullopt;
    if (five && weekly) {
        drawBar(painter, fromBottomLeft(1.5, 11.5, 15, 3), five->currentRemainingPercent(now),
                color);
        drawBar(painter, fromBottomLeft(1.5, 3.5, 15, 6), weekly->currentRemainingPercent(now),
                color);
        return;
    }
    std::optional<UsageWindow> shown = weekly ? weekly : five;
    if (!shown && usage) {
        shown = usage->preferredWindow();
    }
    drawBar(painter, fromBottomLeft(1.5, 5, 15, 8),
            shown ? shown->currentRemainingPercent(now) : std::nullopt, color);
}

void drawBar(QPainter& painter, const QRectF& rect, std::optional<std::int64_t> remainingPercent,
             const QColor& color) {
    QPainterPath capsule;
    capsule.addRoundedRect(rect, rect.height() / 2, rect.height() / 2);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillPath(capsule, withOpacity(color, 0.2));
    if (remainingPercent) {
        const double fraction =
            static_cast<double>(std::clamp<std::int64_t>(*remainingPercent, 0, 100)) / 100;
        if (fraction > 0) {
            painter.save();
            painter.setClipPath(capsule, Qt::IntersectClip);
            painter.fillRect(
                QRectF(rect.left(), rect.top(), fraction * rect.width(), rect.height()), color);
            painter.restore();
        }
    }
    painter.strokePath(capsule, QPen(withOpacity(color, 0.5), 1));
    painter.restore();
}

}  // namespace MenuBarLimitIconRenderer
