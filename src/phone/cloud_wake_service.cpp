#include "cloud_wake_service.h"

#include <QUuid>
#include <algorithm>

namespace {

template <typename ID, typename Item>
using CloudResult = typename CloudResults<ID, Item>::mapped_type;

// What the database answered for `id`; null when it left the item out.
template <typename ID, typename Item>
const CloudResult<ID, Item>* resultFor(const CloudResults<ID, Item>& results, const ID& id) {
    const auto found = results.find(id);
    return found == results.end() ? nullptr : &found->second;
}

// The item answered for `id`; its failure is rethrown as it came.
template <typename ID, typename Item>
Item itemFor(const CloudResults<ID, Item>& results, const ID& id) {
    const CloudResult<ID, Item>* result = resultFor(results, id);
    if (result == nullptr) {
        throw CloudWakeError(CloudWakeError::Code::MissingCloudKitResult);
    }
    if (const auto* error = std::get_if<std::exception_ptr>(result)) {
        std::rethrow_exception(*error);
    }
    return std::get<Item>(*result);
}

// Whether `result` is the failure the database gives for an item it does not hold.
template <typename Item>
bool isMissingItem(const std::variant<Item, std::exception_ptr>& result,
                   std::initializer_list<int> codes) {
    const auto* error = std::get_if<std::exception_ptr>(&result);
    if (error == nullptr) {
        return false;
    }
    const std::optional<int> code = CloudError::codeOf(*error);
    return code && std::find(codes.begin(), codes.end(), *code) != codes.end();
}

}  // namespace

CloudWakeService::CloudWakeService(CloudDatabase* database, Clock& clock)
    : m_database(database), m_clock(clock) {}

CloudZoneId CloudWakeService::wakeZone(const QString& serviceName) {
    return CloudZoneId{.zoneName = kZonePrefix + serviceName};
}

CloudDatabase& CloudWakeService::database() const {
    if (m_database == nullptr) {
        throw CloudWakeError(CloudWakeError::Code::MissingEntitlement);
    }
    return *m_database;
}

QCoro::Task<> CloudWakeService::sendWake(LanPairingPayload pairing) {
    CloudDatabase& cloud = database();
    QCoro::Task<> checking = requireAvailableAccount();
    co_await checking;
    const CloudZoneId zone = wakeZone(pairing.serviceName);
    QCoro::Task<> preparing = ensureZone(zone);
    co_await preparing;

    const CloudRecordId id{kRecordName, zone};
    QCoro::Task<std::optional<CloudRecord>> fetching = existingRecord(id);
    std::optional<CloudRecord> existing = co_await fetching;
    CloudRecord record = existing ? std::move(*existing) : CloudRecord(id, kRecordType);
    record.setValue(kUpdatedAtKey, m_clock.now());
    record.setValue(kNonceKey, QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper());
    // Only the two keys are written, so whatever else the phone keeps in the record stays.
    QCoro::Task<CloudResults<CloudRecordId, CloudRecord>> saving =
        cloud.saveRecords({std::move(record)});
    const CloudResults<CloudRecordId, CloudRecord> saved = co_await saving;
    itemFor(saved, id);
}

QCoro::Task<> CloudWakeService::requireAvailableAccount() {
    CloudDatabase& cloud = database();
    QCoro::Task<CloudAccountStatus> asking = cloud.accountStatus();
    const CloudAccountStatus status = co_await asking;
    if (status != CloudAccountStatus::Available) {
        throw CloudWakeError::accountUnavailable(status);
    }
}

QCoro::Task<> CloudWakeService::ensureZone(CloudZoneId zone) {
    CloudDatabase& cloud = database();
    if (m_preparedZoneNames.contains(zone.zoneName)) {
        co_return;
    }
    QCoro::Task<CloudResults<CloudZoneId, CloudZone>> fetching = cloud.fetchZones({zone});
    const CloudResults<CloudZoneId, CloudZone> fetched = co_await fetching;
    const auto* found = resultFor(fetched, zone);
    if (found != nullptr && std::holds_alternative<CloudZone>(*found)) {
        m_preparedZoneNames.insert(zone.zoneName);
        co_return;
    }
    if (found != nullptr &&
        !isMissingItem(*found, {CloudError::kZoneNotFound, CloudError::kUnknownItem})) {
        std::rethrow_exception(std::get<std::exception_ptr>(*found));
    }
    QCoro::Task<CloudResults<CloudZoneId, CloudZone>> saving = cloud.saveZones({CloudZone{zone}});
    const CloudResults<CloudZoneId, CloudZone> saved = co_await saving;
    itemFor(saved, zone);
    m_preparedZoneNames.insert(zone.zoneName);
}

QCoro::Task<std::optional<CloudRecord>> CloudWakeService::existingRecord(CloudRecordId id) {
    CloudDatabase& cloud = database();
    QCoro::Task<CloudResults<CloudRecordId, CloudRecord>> fetching = cloud.fetchRecords({id});
    const CloudResults<CloudRecordId, CloudRecord> fetched = co_await fetching;
    const auto* found = resultFor(fetched, id);
    if (found != nullptr && isMissingItem(*found, {CloudError::kUnknownItem})) {
        co_return std::nullopt;
    }
    co_return itemFor(fetched, id);
}
