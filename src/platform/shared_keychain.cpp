#include "shared_keychain.h"

#include <QStringList>

namespace SharedKeychain {

std::optional<QString> accessGroup(const QVariant& informationValue,
                                   const QVariant& entitlementValue) {
    if (informationValue.typeId() != QMetaType::QString) {
        return std::nullopt;
    }
    const QString group = informationValue.toString();
    if (group.isEmpty() || group.contains(QStringLiteral("$("))) {
        return std::nullopt;
    }
    if (entitlementValue.typeId() != QMetaType::QVariantList &&
        entitlementValue.typeId() != QMetaType::QStringList) {
        return std::nullopt;
    }
    bool listed = false;
    for (const QVariant& entry : entitlementValue.toList()) {
        if (entry.typeId() != QMetaType::QString) {
            return std::nullopt;
        }
        listed = listed || entry.toString() == group;
    }
    return listed ? std::optional<QString>(group) : std::nullopt;
}

std::optional<QString> accessGroup() {
    return accessGroup(QVariant(), QVariant());
}

}  // namespace SharedKeychain
