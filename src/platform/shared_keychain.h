#pragma once

#include <QString>
#include <QVariant>
#include <optional>

// The keychain access group that several programs of one developer share. The group is named by
// the program's information value "SharedKeychainAccessGroup" and must also be granted by its
// entitlement "keychain-access-groups". Linux has neither bundle information nor entitlements,
// so the program's own answer is always none; the rule is kept as a pure function of the two
// values for the callers that name a group where one exists.
namespace SharedKeychain {

// `informationValue` must be a non-empty string without an unexpanded build setting ("$(");
// `entitlementValue` must be a list of strings that contains it. Otherwise none.
std::optional<QString> accessGroup(const QVariant& informationValue,
                                   const QVariant& entitlementValue);

// The running program's group: none on Linux.
std::optional<QString> accessGroup();

}  // namespace SharedKeychain
