#pragma once

#include <QStringList>
#include <map>
#include <set>

#include "phone/cloud_database.h"

// A private cloud database in memory that answers as the real service does: a missing zone is
// zoneNotFound, a missing record unknownItem, each item has its own result, and a save writes
// only the changed keys. `requests` lists the calls made by name; a request named in
// `unanswered` leaves every item out, and one in `failing` fails every item with that code.
class MemoryCloudDatabase final : public CloudDatabase {
public:
    CloudAccountStatus status = CloudAccountStatus::available;
    std::set<CloudZoneID> zones;
    std::map<CloudRecordID, CloudRecord> records;
    QStringList requests;
    QStringList unanswered;
    std::map<QString, int> failing;

    QCoro::Task<CloudAccountStatus> accountStatus() override {
        requests.append(QStringLiteral("accountStatus"));
        co_return status;
    }
    QCoro::Task<CloudResults<CloudZoneID, CloudZone>> fetchZones(
        std::vector<CloudZoneID> ids) override {
        co_return answer<CloudZoneID, CloudZone>(
            QStringLiteral("fetchZones"), ids, [&](const CloudZoneID& id) {
                return zones.contains(id) ? Result<CloudZone>(CloudZone{id})
                                          : error(CloudError::kZoneNotFound);
            });
    }
    QCoro::Task<CloudResults<CloudZoneID, CloudZone>> saveZones(
        std::vector<CloudZone> saved) override {
        co_return answer<CloudZoneID, CloudZone>(QStringLiteral("saveZones"), saved,
                                                 [&](const CloudZone& zone) {
                                                     zones.insert(zone.id);
                                                     return Result<CloudZone>(zone);
                                                 });
    }
    QCoro::Task<CloudResults<CloudRecordID, CloudRecord>> fetchRecords(
        std::vector<CloudRecordID> ids) override {
        co_return answer<CloudRecordID, CloudRecord>(
            QStringLiteral("fetchRecords"), ids, [&](const auto& id) -> Result<CloudRecord> {
                const auto found = records.find(id);
                if (!zones.contains(id.zone)) {
                    return error(CloudError::kZoneNotFound);
                }
                if (found == records.end()) {
                    return error(CloudError::kUnknownItem);
                }
                return found->second;
            });
    }
    QCoro::Task<CloudResults<CloudRecordID, CloudRecord>> saveRecords(
        std::vector<CloudRecord> saved) override {
        co_return answer<CloudRecordID, CloudRecord>(
            QStringLiteral("saveRecords"), saved, [&](const auto& record) -> Result<CloudRecord> {
                if (!zones.contains(record.id().zone)) {
                    return error(CloudError::kZoneNotFound);
                }
                CloudRecord& stored = records.try_emplace(record.id(), record).first->second;
                for (const QString& key : record.changedKeys()) {
                    stored.setValue(key, record.values().at(key));
                }
                stored.clearChangedKeys();
                return stored;
            });
    }

private:
    template <typename Item>
    using Result = std::variant<Item, std::exception_ptr>;

    static std::exception_ptr error(int code) {
        return std::make_exception_ptr(CloudError(code, QStringLiteral("cloud says")));
    }
    static const CloudZoneID& key(const CloudZoneID& id) { return id; }
    static const CloudZoneID& key(const CloudZone& zone) { return zone.id; }
    static const CloudRecordID& key(const CloudRecordID& id) { return id; }
    static const CloudRecordID& key(const CloudRecord& record) { return record.id(); }

    template <typename ID, typename Item, typename Input, typename Answer>
    CloudResults<ID, Item> answer(const QString& request, const std::vector<Input>& inputs,
                                  Answer answerFor) {
        requests.append(request);
        CloudResults<ID, Item> results;
        const auto failure = failing.find(request);
        for (const Input& input : inputs) {
            if (!unanswered.contains(request)) {
                results.insert_or_assign(key(input), failure == failing.end()
                                                         ? answerFor(input)
                                                         : Result<Item>(error(failure->second)));
            }
        }
        return results;
    }
};
