#pragma once

#include <QByteArray>
#include <QString>
#include <optional>
#include <string_view>

#include "core/json.h"
#include "core/preferences.h"
#include "phone/lan_pairing_payload.h"

// The phone link's records in the program's standard preferences (not the app group's), as JSON
// data values. `T` is a record with toJson() and a static fromJson() (LanPairingPayload,
// PairedPhoneInfo). Failures are silent: an absent or unreadable value loads as nothing, and a
// record that cannot be encoded is not stored.
class LanPairingStorage final {
public:
    // LanPairingPayload: this computer's pairing code.
    static inline const QString kServerIdentityKey = QStringLiteral("lanPairing.serverIdentity.v1");
    // PairedPhoneInfo: the phone that paired last.
    static inline const QString kPairedPhoneKey = QStringLiteral("lanPairing.pairedPhone.v1");
    // A date value (not JSON): when a snapshot last reached the phone.
    static inline const QString kLastPhoneDataSentAtKey =
        QStringLiteral("lanPairing.lastPhoneDataSentAt.v1");

    // Stored records are a few hundred bytes; anything far larger is not ours.
    static constexpr std::size_t kMaxRecordBytes = 64 * 1024;

    explicit LanPairingStorage(Preferences preferences = Preferences::standard())
        : m_preferences(std::move(preferences)) {}

    template <typename T>
    std::optional<T> load(const QString& key) const {
        const std::optional<QByteArray> data = m_preferences.data(key);
        if (!data) {
            return std::nullopt;
        }
        try {
            const std::string_view text(data->constData(), static_cast<std::size_t>(data->size()));
            return T::fromJson(json::parse(text, kMaxRecordBytes));
        } catch (const json::DecodingError&) {
            return std::nullopt;
        }
    }

    template <typename T>
    void save(const T& record, const QString& key) {
        try {
            m_preferences.setData(key, QByteArray::fromStdString(json::dump(record.toJson())));
        } catch (const json::EncodingError&) {
        }
    }

    void remove(const QString& key) { m_preferences.remove(key); }

    // The stored pairing code of this computer; a new one is made and stored first when there is
    // none (the first start) or it cannot be read.
    LanPairingPayload serverIdentity() {
        if (auto stored = load<LanPairingPayload>(kServerIdentityKey)) {
            return *stored;
        }
        LanPairingPayload identity = LanPairingPayload::makeServerIdentity();
        save(identity, kServerIdentityKey);
        return identity;
    }

    const Preferences& preferences() const { return m_preferences; }

private:
    Preferences m_preferences;
};
