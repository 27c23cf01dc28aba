#include "provider_switcher.h"

#include <QEasingCurve>
#include <QHBoxLayout>
#include <QPainter>
#include <QVariantAnimation>

#include "symbols/symbols.h"
#include "ui/common/pane_style.h"

namespace {

constexpr int kSegmentHeight = 28;
constexpr int kSegmentInset = 14;
constexpr int kSymbolSize = 11;
constexpr int kSymbolGap = 6;
constexpr int kGlideMilliseconds = 260;

// One segment: the provider's symbol and name, white when selected, dimmed otherwise.
class Segment final : public QAbstractButton {
public:
    Segment(const AgentProvider& provider, QWidget* parent)
        : QAbstractButton(parent),
          m_symbol(Symbols::forProvider(QString::fromStdString(provider.rawValue))) {
        setText(paneStyle::displayName(provider));
        setAccessibleName(text());
        setCheckable(true);
        setAutoExclusive(true);
        setFocusPolicy(Qt::StrongFocus);
        setCursor(Qt::PointingHandCursor);
        setFont(paneStyle::font(paneStyle::Type::Headline, QFont::DemiBold));
        setFixedHeight(kSegmentHeight);
    }

    QSize sizeHint() const override {
        const int textWidth = fontMetrics().horizontalAdvance(text());
        return {2 * kSegmentInset + kSymbolSize + kSymbolGap + textWidth, kSegmentHeight};
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QColor color = paneStyle::white(isChecked() ? 1.0 : 0.55);
        const double top = (height() - kSymbolSize) / 2.0;
        Symbols::paint(painter, m_symbol, QRectF(kSegmentInset, top, kSymbolSize, kSymbolSize),
                       color);
        painter.setPen(color);
        painter.drawText(QRect(kSegmentInset + kSymbolSize + kSymbolGap, 0, width(), height()),
                         Qt::AlignVCenter | Qt::AlignLeft, text());
        if (paneStyle::showsKeyboardFocus(*this)) {
            painter.setPen(QPen(paneStyle::white(0.6), 1.5));
            painter.setBrush(Qt::NoBrush);
            painter.drawRoundedRect(QRectF(rect()).adjusted(1, 1, -1, -1), height() / 2.0 - 1,
                                    height() / 2.0 - 1);
        }
    }

private:
    QString m_symbol;
};

}  // namespace

ProviderSwitcher::ProviderSwitcher(QWidget* parent)
    : QWidget(parent), m_glide(new QVariantAnimation(this)) {
    setAccessibleName(tr("Agent"));
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(3, 3, 3, 3);
    row->setSpacing(2);
    for (const AgentProvider& provider : {AgentProvider::codex(), AgentProvider::claude()}) {
        auto* segment = new Segment(provider, this);
        row->addWidget(segment);
        m_segments.emplace_back(provider, segment);
        connect(segment, &QAbstractButton::clicked, this,
                [this, provider] { setSelection(provider); });
    }
    m_segments.front().second->setChecked(true);
    setFixedHeight(kSegmentHeight + 6);

    m_glide->setDuration(kGlideMilliseconds);
    m_glide->setEasingCurve(QEasingCurve::OutCubic);
    connect(m_glide, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
        m_indicator = value.toRectF();
        update();
    });
}

void ProviderSwitcher::setSelection(const AgentProvider& provider) {
    if (provider == m_selection) {
        return;
    }
    m_selection = provider;
    for (const auto& [segmentProvider, button] : m_segments) {
        button->setChecked(segmentProvider == provider);
    }
    m_glide->stop();
    if (isVisible()) {
        m_glide->setStartValue(m_indicator);
        m_glide->setEndValue(segmentRect(provider));
        m_glide->start();
    } else {
        m_indicator = segmentRect(provider);
        update();
    }
    Q_EMIT selectionChanged(provider);
}

QRectF ProviderSwitcher::segmentRect(const AgentProvider& provider) const {
    for (const auto& [segmentProvider, button] : m_segments) {
        if (segmentProvider == provider) {
            return QRectF(button->geometry());
        }
    }
    return {};
}

void ProviderSwitcher::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    m_glide->stop();
    m_indicator = segmentRect(m_selection);
}

void ProviderSwitcher::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF outline = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    painter.setPen(QPen(paneStyle::white(0.08), 1));
    painter.setBrush(paneStyle::white(0.07));
    painter.drawRoundedRect(outline, outline.height() / 2, outline.height() / 2);
    if (!m_indicator.isEmpty()) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(paneStyle::white(0.16));
        painter.drawRoundedRect(m_indicator, m_indicator.height() / 2, m_indicator.height() / 2);
    }
}
