#include "pairing_views.h"

#include <qrencode.h>

#include <QHBoxLayout>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPushButton>
#include <QRadialGradient>
#include <QStackedLayout>
#include <QVBoxLayout>
#include <memory>

#include "store/phone_link.h"
#include "symbols/symbols.h"
#include "ui/common/pane_style.h"

using paneStyle::Type;

namespace {

constexpr int kCodeSize = 224;
constexpr int kHorizontalMargin = 36;
constexpr int kVerticalMargin = 28;
constexpr int kMinimumGap = 22;

QColor secondaryOnLight() {
    return QColor(0, 0, 0, 128);
}

// The phone drawn large with a soft glow behind it and a green check badge; decoration only.
class PhoneIllustration final : public QWidget {
public:
    explicit PhoneIllustration(QWidget* parent) : QWidget(parent) { setFixedSize(232, 232); }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QPointF centre = QRectF(rect()).center();
        const QColor glowColor = QColor::fromRgbF(0.42f, 0.55f, 1.0f);
        QRadialGradient glow(centre, 116);
        QColor inner = glowColor;
        inner.setAlphaF(0.30f);
        QColor outer = glowColor;
        outer.setAlphaF(0);
        glow.setColorAt(8.0 / 116.0, inner);
        glow.setColorAt(1, outer);
        painter.fillRect(rect(), glow);

        // The glyph in white, then the gradient kept only where the glyph is.
        const QRectF phoneBox(centre.x() - 52, centre.y() - 52, 104, 104);
        const qreal ratio = devicePixelRatioF();
        QImage phone = Symbols::image(QStringLiteral("iphone.gen3"),
                                      (phoneBox.size() * ratio).toSize(), ratio, Qt::white);
        {
            QPainter tint(&phone);
            tint.setCompositionMode(QPainter::CompositionMode_SourceIn);
            QLinearGradient gradient(0, 0, 0, phoneBox.height());
            gradient.setColorAt(0, QColor::fromRgbF(0.45f, 0.59f, 1.0f));
            gradient.setColorAt(1, QColor::fromRgbF(0.71f, 0.57f, 1.0f));
            tint.fillRect(QRectF(QPointF(0, 0), phoneBox.size()), gradient);
        }
        painter.drawImage(phoneBox.topLeft(), phone);

        const QRectF badge(phoneBox.right() - 26, phoneBox.bottom() - 30, 34, 34);
        painter.setPen(Qt::NoPen);
        painter.setBrush(Qt::black);
        painter.drawEllipse(badge);
        painter.setBrush(paneStyle::green());
        painter.drawEllipse(badge.adjusted(3, 3, -3, -3));
        Symbols::paint(painter, QStringLiteral("checkmark.circle.fill"),
                       badge.adjusted(5, 5, -5, -5), Qt::white);
    }
};

}  // namespace

PairingQrCodeView::PairingQrCodeView(QWidget* parent) : QWidget(parent) {
    setFixedSize(kCodeSize, kCodeSize);
    setAccessibleName(tr("QR code for pairing an iPhone"));
}

QImage PairingQrCodeView::render(const QString& value) {
    const QByteArray bytes = value.toUtf8();
    if (bytes.isEmpty()) {
        return {};
    }
    const std::unique_ptr<QRcode, decltype(&QRcode_free)> code(
        QRcode_encodeData(static_cast<int>(bytes.size()),
                          reinterpret_cast<const unsigned char*>(bytes.constData()), 0,
                          QR_ECLEVEL_M),
        &QRcode_free);
    if (!code) {
        return {};
    }
    const int modules = code->width + 2 * kQuietZoneModules;
    QImage image(modules * kModulePixels, modules * kModulePixels, QImage::Format_Grayscale8);
    if (image.isNull()) {
        return {};
    }
    image.fill(Qt::white);
    QPainter painter(&image);
    for (int y = 0; y < code->width; ++y) {
        for (int x = 0; x < code->width; ++x) {
            // The low bit of each byte is the module's colour: 1 is dark.
            if (code->data[y * code->width + x] & 1) {
                painter.fillRect((x + kQuietZoneModules) * kModulePixels,
                                 (y + kQuietZoneModules) * kModulePixels, kModulePixels,
                                 kModulePixels, Qt::black);
            }
        }
    }
    return image;
}

void PairingQrCodeView::setValue(const QString& value) {
    if (value == m_value && !m_image.isNull()) {
        return;
    }
    m_value = value;
    m_image = render(value);
    update();
}

void PairingQrCodeView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (m_image.isNull()) {
        painter.setRenderHint(QPainter::Antialiasing);
        Symbols::paint(painter, QStringLiteral("qrcode"), rect(), secondaryOnLight());
        return;
    }
    // Nearest-neighbour scaling keeps every module a sharp square.
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter.drawImage(QRectF(rect()), m_image);
}

QString pairingStateSymbol(const LanConnectionState& state) {
    switch (state.kind) {
        case LanConnectionState::Kind::Idle:
            return QStringLiteral("circle.dotted");
        case LanConnectionState::Kind::Advertising:
            return QStringLiteral("dot.radiowaves.left.and.right");
        case LanConnectionState::Kind::Searching:
            return QStringLiteral("magnifyingglass");
        case LanConnectionState::Kind::Connecting:
            return QStringLiteral("arrow.triangle.2.circlepath");
        case LanConnectionState::Kind::Connected:
            return QStringLiteral("checkmark.circle.fill");
        case LanConnectionState::Kind::Failed:
            break;
    }
    return QStringLiteral("exclamationmark.triangle.fill");
}

PairingQrView::PairingQrView(QWidget* parent)
    : QWidget(parent),
      m_code(new PairingQrCodeView(this)),
      m_stateSymbol(new SymbolView({}, 14, Qt::black, this)),
      m_stateTitle(
          paneStyle::label({}, paneStyle::font(Type::Headline, QFont::Bold), Qt::black, this)) {
    // The code scans best dark on light, so this view stays light in a dark desktop too.
    QPalette light;
    light.setColor(QPalette::Window, Qt::white);
    light.setColor(QPalette::WindowText, Qt::black);
    setPalette(light);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(kHorizontalMargin, kVerticalMargin, kHorizontalMargin,
                               kVerticalMargin);
    column->setSpacing(0);
    QLabel* title = paneStyle::label(
        tr("Connect your iPhone"), paneStyle::font(Type::LargeTitle, QFont::Bold), Qt::black, this);
    QLabel* subtitle =
        paneStyle::paragraph(tr("Scan once. Your limits stay on the local network."),
                             paneStyle::font(Type::Callout), secondaryOnLight(), 330, this);
    column->addWidget(title, 0, Qt::AlignHCenter);
    column->addSpacing(8);
    column->addWidget(subtitle, 0, Qt::AlignHCenter);
    column->addSpacing(kMinimumGap);
    column->addStretch(1);
    column->addWidget(m_code, 0, Qt::AlignHCenter);
    column->addSpacing(kMinimumGap);
    column->addStretch(1);
    auto* state = new QHBoxLayout;
    state->setSpacing(6);
    state->addWidget(m_stateSymbol);
    state->addWidget(m_stateTitle);
    column->addLayout(state);
    column->setAlignment(state, Qt::AlignHCenter);
    column->addSpacing(9);
    column->addWidget(
        paneStyle::paragraph(tr("Open Quotamind on iPhone and tap “Scan QR Code”."),
                             paneStyle::font(Type::Callout), secondaryOnLight(), 330, this),
        0, Qt::AlignHCenter);
}

void PairingQrView::setContent(const LanPairingPayload& payload, const LanConnectionState& state) {
    m_code->setValue(payload.qrValue());
    const QColor color =
        state.kind == LanConnectionState::Kind::Connected ? paneStyle::green() : QColor(Qt::black);
    m_stateSymbol->setSymbol(pairingStateSymbol(state), color);
    m_stateTitle->setText(state.title());
    m_stateTitle->setStyleSheet(
        QStringLiteral("color: %1; background: transparent;").arg(color.name()));
}

void PairingQrView::paintEvent(QPaintEvent*) {
    QPainter(this).fillRect(rect(), Qt::white);
}

PhoneConnectedView::PhoneConnectedView(QWidget* parent)
    : QWidget(parent),
      m_model(paneStyle::label({}, paneStyle::font(Type::Title, QFont::Bold), paneStyle::white(1),
                               this)) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(kHorizontalMargin, kVerticalMargin, kHorizontalMargin,
                               kVerticalMargin);
    column->setSpacing(10);
    column->setAlignment(Qt::AlignCenter);
    const auto addCentred = [column](QWidget* widget) {
        column->addWidget(widget, 0, Qt::AlignHCenter);
    };
    addCentred(paneStyle::label(tr("iPhone Connected"),
                                paneStyle::font(Type::LargeTitle, QFont::Bold), paneStyle::white(1),
                                this));
    addCentred(paneStyle::paragraph(tr("Limits stream to your iPhone over the local network."),
                                    paneStyle::font(Type::Callout), paneStyle::white(0.6), 340,
                                    this));
    addCentred(new PhoneIllustration(this));
    addCentred(m_model);

    auto* status = new QWidget(this);
    status->setObjectName(QStringLiteral("status"));
    status->setStyleSheet(
        QStringLiteral("#status { background: rgba(255,255,255,20); border-radius: 14px; }"));
    auto* statusRow = new QHBoxLayout(status);
    statusRow->setContentsMargins(14, 7, 14, 7);
    statusRow->setSpacing(6);
    auto* dot = new QWidget(status);
    dot->setFixedSize(8, 8);
    dot->setStyleSheet(
        QStringLiteral("background: %1; border-radius: 4px;").arg(paneStyle::green().name()));
    statusRow->addWidget(dot);
    statusRow->addWidget(paneStyle::label(tr("Connected"),
                                          paneStyle::font(Type::Subheadline, QFont::DemiBold),
                                          paneStyle::white(1), status));
    addCentred(status);

    QPushButton* disconnect =
        paneStyle::button(tr("Disconnect iPhone"), paneStyle::ButtonRole::Destructive, this);
    disconnect->setIcon(Symbols::icon(QStringLiteral("iphone.slash"), QColor(255, 69, 58)));
    connect(disconnect, &QPushButton::clicked, this, &PhoneConnectedView::disconnectRequested);
    addCentred(disconnect);
    addCentred(paneStyle::paragraph(tr("This computer forgets the phone and shows a new pairing "
                                       "code."),
                                    paneStyle::font(Type::Caption), paneStyle::white(0.45), 340,
                                    this));
}

void PhoneConnectedView::setPhone(const PairedPhoneInfo& phone) {
    m_model->setText(phone.model);
}

void PhoneConnectedView::paintEvent(QPaintEvent*) {
    QPainter(this).fillRect(rect(), Qt::black);
}

PairingPane::PairingPane(PhoneLink& phone, QWidget* parent)
    : QWidget(parent),
      m_link(phone),
      m_stack(new QStackedLayout(this)),
      m_qr(new PairingQrView(this)),
      m_phone(new PhoneConnectedView(this)) {
    m_stack->addWidget(m_qr);
    m_stack->addWidget(m_phone);
    connect(m_phone, &PhoneConnectedView::disconnectRequested, this,
            [this] { m_link.disconnectPhone(); });
    for (auto signal : {&PhoneLink::pairedPhoneChanged, &PhoneLink::pairingPayloadChanged,
                        &PhoneLink::lanConnectionStateChanged}) {
        connect(&phone, signal, this, &PairingPane::updateContent);
    }
    updateContent();
}

void PairingPane::updateContent() {
    const std::optional<PairedPhoneInfo>& phone = m_link.pairedPhone();
    if (phone) {
        m_phone->setPhone(*phone);
        m_stack->setCurrentWidget(m_phone);
        return;
    }
    m_qr->setContent(m_link.pairingPayload(), m_link.lanConnectionState());
    m_stack->setCurrentWidget(m_qr);
}
