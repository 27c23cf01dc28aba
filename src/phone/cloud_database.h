#pragma once

#include <QCoro/QCoroTask>
#include <QString>
#include <compare>
#include <exception>
#include <map>
#include <optional>
#include <set>
#include <variant>
#include <vector>

#include "core/error.h"
#include "core/timestamp.h"

// The user's private cloud database, as far as the phone's wake signal needs it: an account
// status, per-user zones, records with typed fields saved key by key, and a result per item.
// The phone watches its wake zone there and reconnects when the record in it changes.

// Whether the user's cloud account can be used. The numbers are the cloud service's own.
enum class CloudAccountStatus : int {
    CouldNotDetermine = 0,
    Available = 1,
    Restricted = 2,
    NoAccount = 3,
    TemporarilyUnavailable = 4,
};

// A failure the cloud service reported, for a whole request or for one item of it, with the
// service's own code and text.
class CloudError final : public Error {
public:
    // The codes the wake signal tells apart; any other code is passed on as it came.
    static constexpr int kUnknownItem = 11;
    static constexpr int kZoneNotFound = 26;

    CloudError(int code, QString description)
        : m_code(code), m_description(std::move(description)) {}

    int code() const { return m_code; }
    QString errorString() const override { return m_description; }

    // The code of `error` when it is a CloudError; none otherwise.
    static std::optional<int> codeOf(const std::exception_ptr& error);

private:
    int m_code;
    QString m_description;
};

struct CloudZoneId {
    // The owner name that stands for the signed-in user.
    static inline const QString kCurrentUser = QStringLiteral("__defaultOwner__");

    QString zoneName;
    QString ownerName = kCurrentUser;

    bool operator==(const CloudZoneId&) const = default;
    std::strong_ordering operator<=>(const CloudZoneId&) const = default;
};

struct CloudRecordId {
    QString recordName;
    CloudZoneId zone;

    bool operator==(const CloudRecordId&) const = default;
    std::strong_ordering operator<=>(const CloudRecordId&) const = default;
};

using CloudValue = std::variant<QString, Timestamp>;

// A record and the keys changed since it was fetched or made, which are what a save writes.
class CloudRecord final {
public:
    CloudRecord(CloudRecordId id, QString recordType)
        : m_id(std::move(id)), m_recordType(std::move(recordType)) {}

    const CloudRecordId& id() const { return m_id; }
    const QString& recordType() const { return m_recordType; }
    const std::map<QString, CloudValue>& values() const { return m_values; }
    const std::set<QString>& changedKeys() const { return m_changedKeys; }

    void setValue(const QString& key, CloudValue value) {
        m_values.insert_or_assign(key, std::move(value));
        m_changedKeys.insert(key);
    }
    // As the database hands a stored record out: nothing changed yet.
    void clearChangedKeys() { m_changedKeys.clear(); }

private:
    CloudRecordId m_id;
    QString m_recordType;
    std::map<QString, CloudValue> m_values;
    std::set<QString> m_changedKeys;
};

struct CloudZone {
    CloudZoneId id;
};

// What a request answers for each item: the item, or the failure of that item. An item the
// service did not answer for is missing from the map.
template <typename ID, typename Item>
using CloudResults = std::map<ID, std::variant<Item, std::exception_ptr>>;

// Every call may throw for the request as a whole (no network, a refused account): a
// CloudError or the platform's error. Per-item failures come back in the results instead.
class CloudDatabase {
public:
    virtual ~CloudDatabase() = default;

    virtual QCoro::Task<CloudAccountStatus> accountStatus() = 0;
    virtual QCoro::Task<CloudResults<CloudZoneId, CloudZone>> fetchZones(
        std::vector<CloudZoneId> ids) = 0;
    // Creates the zones; saving a zone that exists succeeds. Deletes nothing.
    virtual QCoro::Task<CloudResults<CloudZoneId, CloudZone>> saveZones(
        std::vector<CloudZone> zones) = 0;
    // The records with all their keys.
    virtual QCoro::Task<CloudResults<CloudRecordId, CloudRecord>> fetchRecords(
        std::vector<CloudRecordId> ids) = 0;
    // Writes only each record's changed keys (other keys on the server stay), creating records
    // that do not exist; within one zone either all are saved or none. Deletes nothing.
    virtual QCoro::Task<CloudResults<CloudRecordId, CloudRecord>> saveRecords(
        std::vector<CloudRecord> records) = 0;
};
