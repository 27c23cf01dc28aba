#include "pane_style.h"

#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QTimer>
#include <cmath>
#include <numbers>

#include "symbols/symbols.h"

namespace paneStyle {

QColor cardBase() {
    return QColor::fromRgbF(0.035f, 0.038f, 0.046f);
}

QColor signedOutBackground() {
    return QColor::fromRgbF(0.055f, 0.06f, 0.07f);
}

QColor green() {
    return QColor(52, 199, 89);
}

QColor white(double opacity) {
    return QColor::fromRgbF(1, 1, 1, static_cast<float>(opacity));
}

QColor black(double opacity) {
    return QColor::fromRgbF(0, 0, 0, static_cast<float>(opacity));
}

QFont font(Type type, QFont::Weight weight) {
    static constexpr int kPixelSizes[] = {26, 22, 17, 13, 11, 12, 10};
    QFont result;
    result.setPixelSize(kPixelSizes[static_cast<int>(type)]);
    result.setWeight(weight);
    return result;
}

QString displayName(const AgentProvider& provider) {
    if (provider == AgentProvider::codex()) {
        return QStringLiteral("Codex");
    }
    if (provider == AgentProvider::claude()) {
        return QStringLiteral("Claude");
    }
    return QString::fromStdString(provider.rawValue);
}

QLabel* label(const QString& text, const QFont& font, const QColor& color, QWidget* parent) {
    auto* result = new QLabel(text, parent);
    result->setFont(font);
    // A style sheet keeps the colour's alpha, which QPalette's text roles ignore in some styles.
    result->setStyleSheet(
        QStringLiteral("color: %1; background: transparent;").arg(color.name(QColor::HexArgb)));
    return result;
}

QLabel* paragraph(const QString& text, const QFont& font, const QColor& color, int maximumWidth,
                  QWidget* parent) {
    QLabel* result = label(text, font, color, parent);
    result->setWordWrap(true);
    result->setAlignment(Qt::AlignHCenter);
    // A fixed width lets the layout ask the wrapped label for its height; a centred label of
    // free width would keep the height of one line.
    result->setFixedWidth(maximumWidth);
    // A box layout that centres it still gives it the height of one line; a text that wraps,
    // as a longer translation does, would lose its last lines.
    result->setMinimumHeight(result->heightForWidth(maximumWidth));
    return result;
}

bool showsKeyboardFocus(const QWidget& widget) {
    return widget.hasFocus() && widget.window()->testAttribute(Qt::WA_KeyboardFocusChange);
}

QPushButton* button(const QString& text, ButtonRole role, QWidget* parent) {
    // Background, text colour and pressed background for each role.
    static const struct {
        const char* background;
        const char* text;
        const char* pressed;
    } kColors[] = {
        {"#0a84ff", "#ffffff", "#0060df"},
        {"rgba(255,255,255,31)", "#ffffff", "rgba(255,255,255,56)"},
        {"rgba(255,69,58,38)", "#ff453a", "rgba(255,69,58,64)"},
    };
    const auto& colors = kColors[static_cast<int>(role)];
    auto* result = new QPushButton(text, parent);
    result->setAccessibleName(text);
    result->setFocusPolicy(Qt::StrongFocus);
    result->setCursor(Qt::PointingHandCursor);
    result->setFont(font(Type::Headline, QFont::DemiBold));
    result->setStyleSheet(
        QStringLiteral("QPushButton { background: %1; color: %2; border: 1px solid transparent;"
                       " border-radius: 7px; padding: 5px 14px; }"
                       "QPushButton:pressed { background: %3; }"
                       "QPushButton:focus { border: 1px solid rgba(255,255,255,170); }")
            .arg(QLatin1String(colors.background), QLatin1String(colors.text),
                 QLatin1String(colors.pressed)));
    return result;
}

}  // namespace paneStyle

SymbolView::SymbolView(QString name, int size, QColor color, QWidget* parent)
    : QWidget(parent), m_name(std::move(name)), m_color(color) {
    setFixedSize(size, size);
}

void SymbolView::setSymbol(const QString& name, const QColor& color) {
    m_name = name;
    m_color = color;
    update();
}

void SymbolView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    Symbols::paint(painter, m_name, rect(), m_color);
}

namespace {
constexpr int kSpokes = 8;
constexpr int kTickMilliseconds = 90;
}  // namespace

ActivityIndicator::ActivityIndicator(int size, QColor color, QWidget* parent)
    : QWidget(parent), m_color(color), m_timer(new QTimer(this)) {
    setFixedSize(size, size);
    setAccessibleName(tr("In progress"));
    m_timer->setInterval(kTickMilliseconds);
    connect(m_timer, &QTimer::timeout, this, [this] {
        m_phase = (m_phase + 1) % kSpokes;
        update();
    });
}

void ActivityIndicator::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPointF centre = QRectF(rect()).center();
    const double outer = width() / 2.0;
    QPen pen;
    pen.setWidthF(std::max(1.5, width() / 10.0));
    pen.setCapStyle(Qt::RoundCap);
    for (int spoke = 0; spoke < kSpokes; ++spoke) {
        // The spoke at the current phase is the brightest; the others fade behind it.
        const int age = (m_phase - spoke + kSpokes) % kSpokes;
        QColor color = m_color;
        color.setAlphaF(m_color.alphaF() * static_cast<float>(1.0 - age * 0.11));
        pen.setColor(color);
        painter.setPen(pen);
        const double angle = 2 * std::numbers::pi * spoke / kSpokes;
        const QPointF direction(std::sin(angle), -std::cos(angle));
        painter.drawLine(centre + direction * outer * 0.45, centre + direction * outer * 0.85);
    }
}

void ActivityIndicator::showEvent(QShowEvent*) {
    m_timer->start();
}

void ActivityIndicator::hideEvent(QHideEvent*) {
    m_timer->stop();
}
