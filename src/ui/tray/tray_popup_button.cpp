#include "tray_popup_button.h"

#include <QPainter>
#include <QTimer>

#include "symbols/symbols.h"

namespace {

// An 11-point glyph in the 26-point frame.
constexpr double kGlyphSide = 13;
constexpr int kSpinnerSteps = 12;
constexpr int kSpinnerStepMilliseconds = 80;

QRectF glyphBox(const QRect& frame) {
    const QPointF centre = QRectF(frame).center();
    return {centre.x() - kGlyphSide / 2, centre.y() - kGlyphSide / 2, kGlyphSide, kGlyphSide};
}

QColor withOpacity(QColor color, double opacity) {
    color.setAlphaF(static_cast<float>(opacity));
    return color;
}

}  // namespace

TrayPopupButton::TrayPopupButton(QString symbol, const QString& toolTip,
                                 const QString& accessibleName, QWidget* parent)
    : QAbstractButton(parent), m_symbol(std::move(symbol)), m_spinnerTimer(new QTimer(this)) {
    setFixedSize(kSide, kSide);
    setCursor(Qt::PointingHandCursor);
    setToolTip(toolTip);
    setAccessibleName(accessibleName);
    m_spinnerTimer->setInterval(kSpinnerStepMilliseconds);
    connect(m_spinnerTimer, &QTimer::timeout, this, [this] {
        m_spinnerPhase = (m_spinnerPhase + 1) % kSpinnerSteps;
        update();
    });
}

void TrayPopupButton::setBusy(bool busy) {
    if (busy == m_busy) {
        return;
    }
    m_busy = busy;
    updateSpinner();
    update();
}

void TrayPopupButton::updateSpinner() {
    // The indicator turns only while someone can see it.
    if (m_busy && isVisible()) {
        m_spinnerTimer->start();
    } else {
        m_spinnerTimer->stop();
    }
}

void TrayPopupButton::showEvent(QShowEvent* event) {
    QAbstractButton::showEvent(event);
    updateSpinner();
}

void TrayPopupButton::hideEvent(QHideEvent* event) {
    QAbstractButton::hideEvent(event);
    updateSpinner();
}

void TrayPopupButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor text = palette().color(QPalette::WindowText);
    if (m_busy) {
        // Spokes that fade behind the leading one, like the platform's small activity indicator.
        painter.translate(QRectF(rect()).center());
        for (int spoke = 0; spoke < kSpinnerSteps; ++spoke) {
            const int age = (m_spinnerPhase - spoke + kSpinnerSteps) % kSpinnerSteps;
            painter.setPen(
                QPen(withOpacity(text, 1.0 - 0.07 * age), 1.6, Qt::SolidLine, Qt::RoundCap));
            painter.drawLine(QPointF(0, -3.5), QPointF(0, -6.5));
            painter.rotate(360.0 / kSpinnerSteps);
        }
        return;
    }
    const QRectF circle = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    painter.setPen(QPen(withOpacity(text, 0.08), 1));
    painter.setBrush(withOpacity(text, 0.07));
    painter.drawEllipse(circle);
    Symbols::paint(painter, m_symbol, glyphBox(rect()),
                   isEnabled() ? text : withOpacity(text, 0.4));
}

SyncStatusIcon::SyncStatusIcon(QWidget* parent) : QWidget(parent) {
    setFixedSize(TrayPopupButton::kSide, TrayPopupButton::kSide);
    setPhonePaired(false);
}

void SyncStatusIcon::setPhonePaired(bool paired) {
    m_paired = paired;
    const QString text = paired ? tr("iPhone connected") : tr("iPhone not paired");
    setToolTip(text);
    setAccessibleName(text);
    update();
}

void SyncStatusIcon::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor color = m_paired ? palette().color(QPalette::WindowText)
                                  : palette().color(QPalette::PlaceholderText);
    Symbols::paint(
        painter,
        m_paired ? QStringLiteral("checkmark.circle.fill") : QStringLiteral("iphone.slash"),
        glyphBox(rect()), color);
}
