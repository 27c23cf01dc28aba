#pragma once

#include <QImage>
#include <QString>
#include <QWidget>

#include "phone/lan_connection_state.h"
#include "phone/lan_pairing_payload.h"

class QLabel;
class QStackedLayout;
class SymbolView;
class PhoneLink;

// The pairing code as a QR code: the UTF-8 bytes of the text at error-correction level M,
// 12 x 12 pixels per module, drawn scaled without smoothing so the modules stay sharp. When the
// text cannot be encoded (empty, or too long) it shows the "qrcode" symbol instead.
class PairingQrCodeView final : public QWidget {
    Q_OBJECT

public:
    static constexpr int kModulePixels = 12;
    // White modules around the code, so that it scans on any background.
    static constexpr int kQuietZoneModules = 1;

    explicit PairingQrCodeView(QWidget* parent = nullptr);
    Q_DISABLE_COPY_MOVE(PairingQrCodeView)

    // The code's bitmap, or a null image when `value` cannot be encoded.
    static QImage render(const QString& value);

    void setValue(const QString& value);
    const QImage& image() const { return m_image; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_value;
    QImage m_image;
};

// The symbol of each connection state the pairing view shows next to its title.
QString pairingStateSymbol(const LanConnectionState& state);

// The right pane while no phone is paired: title, the QR code and the link's state, always in
// the light scheme on white.
class PairingQrView final : public QWidget {
    Q_OBJECT

public:
    explicit PairingQrView(QWidget* parent = nullptr);
    Q_DISABLE_COPY_MOVE(PairingQrView)

    void setContent(const LanPairingPayload& payload, const LanConnectionState& state);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    PairingQrCodeView* m_code;
    SymbolView* m_stateSymbol;
    QLabel* m_stateTitle;
};

// The right pane while a phone is paired: its model, a "Connected" capsule and the button that
// forgets it.
class PhoneConnectedView final : public QWidget {
    Q_OBJECT

public:
    explicit PhoneConnectedView(QWidget* parent = nullptr);
    Q_DISABLE_COPY_MOVE(PhoneConnectedView)

    void setPhone(const PairedPhoneInfo& phone);

Q_SIGNALS:
    void disconnectRequested();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QLabel* m_model;
};

// The right half of the main window: the paired phone when there is one, else the QR view.
// Follows the phone link.
class PairingPane final : public QWidget {
    Q_OBJECT

public:
    // `phone` must outlive the pane.
    explicit PairingPane(PhoneLink& phone, QWidget* parent = nullptr);
    Q_DISABLE_COPY_MOVE(PairingPane)

private:
    void updateContent();

    PhoneLink& m_link;
    QStackedLayout* m_stack;
    PairingQrView* m_qr;
    PhoneConnectedView* m_phone;
};
