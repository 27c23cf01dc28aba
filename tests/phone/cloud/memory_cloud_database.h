#pragma once

#include <QStringList>
#include <map>
#include <set>

#include "phone/cloud_database.h"

// A private cloud database in memory that answers as the real service does: a zone that does
// not exist is zoneNotFound, a record that does not exist unknownItem, every item gets its own
// result, and a save with changedKeys writes only those keys. `requests` lists the calls made.
class MemoryCloudDatabase final : public CloudDatabase {
public:
    CloudAccountStatus status = CloudAccountStatus::available;
    std::set<CloudZoneID> zones;
    std::map<CloudRecordID, CloudRecord> records;
    QStringList requests;
    // Requests (by name) whose answer leaves every item out.
    QStringList unanswered;
    // Requests (by name) whose every item fails with this error.
    std::map<QString, CloudError> itemFailures;

    QCoro::Task<CloudAccountStatus> accountStatus() override {
        requests.append(QStringLiteral("accountStatus"));
        co_return status;
    }

    QCoro::Task<CloudResults<CloudZoneID, CloudZone>> fetchZones(
        std::vector<CloudZoneID> ids) override {
        co_return answer<CloudZoneID, CloudZone>(QStringLiteral("fetchZones"), ids, [&](auto& id) {
            return zones.contains(id) ? Result<CloudZone>(CloudZone{id}) : zoneNotFound();
        });
    }

    QCoro::Task<CloudResults<CloudZoneID, CloudZone>> saveZones(
        std::vector<CloudZone> saved) override {
        std::vector<CloudZoneID> ids;
        for (const CloudZone& zone : saved) {
            ids.push_back(zone.id);
        }
        co_return answer<CloudZoneID, CloudZone>(QStringLiteral("saveZones"), ids, [&](auto& id) {
            zones.insert(id);
            return Result<CloudZone>(CloudZone{id});
        });
    }

    QCoro::Task<CloudResults<CloudRecordID, CloudRecord>> fetchRecords(
        std::vector<CloudRecordID> ids) override {
        co_return answer<CloudRecordID, CloudRecord>(
            QStringLiteral("fetchRecords"), ids, [&](auto& id) -> Result<CloudRecord> {
                if (!zones.contains(id.zone)) {
                    return zoneNotFound();
                }
                const auto found = records.find(id);
                if (found == records.end()) {
                    return std::make_exception_ptr(
                        CloudError(CloudError::kUnknownItem, QStringLiteral("Record not found")));
                }
                return found->second;
            });
    }

    QCoro::Task<CloudResults<CloudRecordID, CloudRecord>> saveRecords(
        std::vector<CloudRecord> saved, CloudSavePolicy policy, bool) override {
        std::vector<CloudRecordID> ids;
        for (const CloudRecord& record : saved) {
            ids.push_back(record.id());
        }
        co_return answer<CloudRecordID, CloudRecord>(
            QStringLiteral("saveRecords"), ids, [&](auto& id) -> Result<CloudRecord> {
                if (!zones.contains(id.zone)) {
                    return zoneNotFound();
                }
                const CloudRecord& record = *std::find_if(
                    saved.begin(), saved.end(), [&](auto& each) { return each.id() == id; });
                auto [stored, created] = records.try_emplace(id, record);
                if (!created && policy == CloudSavePolicy::allKeys) {
                    stored->second = record;
                } else if (!created) {
                    for (const QString& key : record.changedKeys()) {
                        stored->second.setValue(key, record.values().at(key));
                    }
                }
                stored->second.clearChangedKeys();
                return stored->second;
            });
    }

private:
    template <typename Item>
    using Result = std::variant<Item, std::exception_ptr>;

    static std::exception_ptr zoneNotFound() {
        return std::make_exception_ptr(
            CloudError(CloudError::kZoneNotFound, QStringLiteral("Zone does not exist")));
    }

    template <typename ID, typename Item, typename Answer>
    CloudResults<ID, Item> answer(const QString& request, const std::vector<ID>& ids,
                                  Answer answerFor) {
        requests.append(request);
        CloudResults<ID, Item> results;
        if (unanswered.contains(request)) {
            return results;
        }
        const auto failure = itemFailures.find(request);
        for (const ID& id : ids) {
            results.insert_or_assign(id,
                                     failure == itemFailures.end()
                                         ? answerFor(id)
                                         : Result<Item>(std::make_exception_ptr(failure->second)));
        }
        return results;
    }
};
