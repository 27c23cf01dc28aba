#include "limit_meter_view.h"

#include <QEasingCurve>
#include <QEvent>
#include <QPainter>
#include <QPainterPath>
#include <QTimer>
#include <QVariantAnimation>
#include <cmath>

#include "core/clock.h"
#include "ui/common/limit_meter_foreground.h"

namespace {

// The fill moves like a spring with a response of 0.8 s and a damping fraction of 0.9 (the step
// response of a damped oscillator), played over one second, by when it is within 0.1 % of rest.
constexpr int kFillAnimationMilliseconds = 1000;

qreal springProgress(qreal progress) {
    if (progress >= 1.0) {
        return 1.0;
    }
    constexpr double kResponse = 0.8;
    constexpr double kDamping = 0.9;
    const double omega = 2 * M_PI / kResponse;
    const double decay = kDamping * omega;
    const double dampedOmega = omega * std::sqrt(1 - kDamping * kDamping);
    const double t = progress * kFillAnimationMilliseconds / 1000.0;
    return 1.0 - std::exp(-decay * t) *
                     (std::cos(dampedOmega * t) + decay / dampedOmega * std::sin(dampedOmega * t));
}

// One step of the eight-spoke activity indicator.
constexpr int kSpinnerStepMilliseconds = 125;

}  // namespace

LimitMeterColors LimitMeterColors::of(ColorScheme scheme) {
    const QColor base = QColor::fromRgbF(0.035f, 0.038f, 0.046f);
    if (scheme == ColorScheme::Dark) {
        return {base, QColor::fromRgbF(0.145f, 0.16f, 0.205f), Qt::white, Qt::white};
    }
    return {base, Qt::white, Qt::white, Qt::black};
}

LimitMeterView::LimitMeterView(const Clock& clock, QWidget* parent)
    : QWidget(parent),
      m_clock(clock),
      m_fillAnimation(new QVariantAnimation(this)),
      m_spinnerTimer(new QTimer(this)) {
    QEasingCurve spring;
    spring.setCustomType(springProgress);
    m_fillAnimation->setEasingCurve(spring);
    m_fillAnimation->setDuration(kFillAnimationMilliseconds);
    connect(m_fillAnimation, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
        m_displayedFraction = value.toDouble();
        update();
    });
    m_spinnerTimer->setInterval(kSpinnerStepMilliseconds);
    connect(m_spinnerTimer, &QTimer::timeout, this, [this] {
        m_spinnerPhase = (m_spinnerPhase + 1) % 8;
        update();
    });
    updateAccessibleName();
}

LimitMeterView::~LimitMeterView() = default;

void LimitMeterView::setUsage(const AgentUsage& usage) {
    m_usage = usage;
    updateContent();
}

void LimitMeterView::setOptions(const LimitMeterOptions& options) {
    m_options = options;
    updateContent();
}

std::optional<UsageWindow> LimitMeterView::shownWindow() const {
    return m_options.durationSeconds ? m_usage.window(*m_options.durationSeconds)
                                     : m_usage.preferredWindow();
}

QSize LimitMeterView::sizeHint() const {
    return {160, 160};
}

void LimitMeterView::updateContent() {
    const std::optional<std::int64_t> remaining = shownRemainingPercent();
    const double target = remaining ? static_cast<double>(*remaining) / 100.0 : 0.0;
    const double current = m_displayedFraction;
    m_fillAnimation->stop();
    if (isVisible() && target != current) {
        m_fillAnimation->setStartValue(current);
        m_fillAnimation->setEndValue(target);
        m_fillAnimation->start();
    } else {
        m_displayedFraction = target;
    }
    updateSpinner(isVisible());
    updateAccessibleName();
    update();
}

std::optional<std::int64_t> LimitMeterView::shownRemainingPercent() const {
    const std::optional<UsageWindow> window = shownWindow();
    return window ? window->currentRemainingPercent(m_clock.now()) : std::nullopt;
}

void LimitMeterView::updateSpinner(bool visible) {
    // Waiting for limits, or for the allowance after a reset.
    if (visible && !shownRemainingPercent()) {
        m_spinnerTimer->start();
    } else {
        m_spinnerTimer->stop();
    }
}

void LimitMeterView::updateAccessibleName() {
    const QString label =
        LimitMeterForeground::accessibleLabel(m_usage, shownWindow(), m_clock.now());
    if (label != accessibleName()) {
        setAccessibleName(label);
    }
}

void LimitMeterView::paintEvent(QPaintEvent*) {
    // The reset line and the accessible text follow the clock whenever the card paints.
    updateAccessibleName();
    const LimitMeterColors colors = LimitMeterColors::of(colorSchemeOf(palette()));
    const QRectF card = rect();
    const double radius = m_options.drawsChrome ? m_options.cornerRadius : 0.0;
    QPainterPath shape;
    shape.addRoundedRect(card, radius, radius);

    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillPath(shape, colors.base);

    // The fill's top edge lies on a device pixel, so the text clipped to it meets it exactly.
    const double fraction = std::clamp(m_displayedFraction, 0.0, 1.0);
    const double ratio = devicePixelRatioF();
    const double fillTop = std::round((1.0 - fraction) * card.height() * ratio) / ratio;
    const QRectF fill(card.left(), card.top() + fillTop, card.width(), card.height() - fillTop);
    if (!fill.isEmpty()) {
        QPainterPath fillPath;
        fillPath.addRect(fill);
        painter.fillPath(shape.intersected(fillPath), colors.fill);
    }

    const std::optional<UsageWindow> window = shownWindow();
    LimitMeterForeground foreground{m_usage,
                                    window,
                                    colors.textOverBase,
                                    m_options.contentPadding,
                                    m_options.topInset,
                                    m_options.compact,
                                    m_options.showsAgentName,
                                    m_options.showsPlanName};
    const Timestamp now = m_clock.now();
    foreground.paint(painter, card, now, m_spinnerPhase);
    if (!fill.isEmpty() && colors.textOverFill != colors.textOverBase) {
        painter.save();
        painter.setClipRect(fill);
        foreground.foregroundColor = colors.textOverFill;
        foreground.paint(painter, card, now, m_spinnerPhase);
        painter.restore();
    }

    if (m_options.drawsChrome) {
        QColor outline = palette().color(QPalette::WindowText);
        outline.setAlphaF(0.12f);
        painter.setPen(QPen(outline, 1));
        painter.setBrush(Qt::NoBrush);
        const QRectF stroke = card.adjusted(0.5, 0.5, -0.5, -0.5);
        painter.drawRoundedRect(stroke, radius - 0.5, radius - 0.5);
    }
}

void LimitMeterView::changeEvent(QEvent* event) {
    // A desktop that switches between light and dark sends a new palette.
    if (event->type() == QEvent::PaletteChange ||
        event->type() == QEvent::ApplicationPaletteChange) {
        update();
    }
    QWidget::changeEvent(event);
}

void LimitMeterView::showEvent(QShowEvent* event) {
    updateSpinner(true);
    QWidget::showEvent(event);
}

void LimitMeterView::hideEvent(QHideEvent* event) {
    updateSpinner(false);
    // A card that is not seen has nothing to animate: it shows the current value when it returns.
    if (m_fillAnimation->state() == QAbstractAnimation::Running) {
        m_fillAnimation->stop();
        m_displayedFraction = m_fillAnimation->endValue().toDouble();
    }
    QWidget::hideEvent(event);
}
