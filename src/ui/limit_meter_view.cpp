#include "limit_meter_view.h"

#include <QPainter>
#include <QTimer>
#include <QVariantAnimation>

#include "core/clock.h"

LimitMeterView::LimitMeterView(const Clock& clock, QWidget* parent)
    : QWidget(parent),
      m_clock(clock),
      m_fillAnimation(new QVariantAnimation(this)),
      m_spinnerTimer(new QTimer(this)) {}

LimitMeterView::~LimitMeterView() = default;

void LimitMeterView::setUsage(const AgentUsage& usage) {
    m_usage = usage;
    update();
}

void LimitMeterView::setOptions(const LimitMeterOptions& options) {
    m_options = options;
    update();
}

std::optional<UsageWindow> LimitMeterView::shownWindow() const {
    return m_options.durationSeconds ? m_usage.window(*m_options.durationSeconds)
                                     : m_usage.preferredWindow();
}

QSize LimitMeterView::sizeHint() const {
    return {160, 160};
}

void LimitMeterView::paintEvent(QPaintEvent*) {}
void LimitMeterView::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
}
void LimitMeterView::showEvent(QShowEvent*) {}
void LimitMeterView::hideEvent(QHideEvent*) {}
void LimitMeterView::updateContent(bool) {}
void LimitMeterView::updateSpinner() {}
void LimitMeterView::updateAccessibleName() {}
