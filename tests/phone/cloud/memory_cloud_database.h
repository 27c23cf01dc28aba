#pragma once

#include <map>
#include <set>
#include <string>

#include "phone/cloud_database.h"

// A private cloud database in memory that answers as the real service does: a missing zone is
// zoneNotFound, a missing record unknownItem, each item has its own result, and a save writes
// only the changed keys. `requests` names the calls made, in order, separated by spaces; a call
// named in `unanswered` leaves every item out, and one in `failing` fails every item with that
// code.
class MemoryCloudDatabase final : public CloudDatabase {
public:
    using Zones = CloudResults<CloudZoneId, CloudZone>;
    using Records = CloudResults<CloudRecordId, CloudRecord>;

    CloudAccountStatus status = CloudAccountStatus::Available;
    std::set<CloudZoneId> zones;
    std::map<CloudRecordId, CloudRecord> records;
    std::string requests;
    std::set<std::string> unanswered;
    std::map<std::string, int> failing;

    QCoro::Task<CloudAccountStatus> accountStatus() override {
        note("accountStatus");
        co_return status;
    }
    QCoro::Task<Zones> fetchZones(std::vector<CloudZoneId> ids) override {
        co_return answer<Zones>("fetchZones", ids, [&](const CloudZoneId& id) {
            return zones.contains(id) ? Zones::mapped_type(CloudZone{id})
                                      : error(CloudError::kZoneNotFound);
        });
    }
    QCoro::Task<Zones> saveZones(std::vector<CloudZone> saved) override {
        co_return answer<Zones>("saveZones", saved, [&](const CloudZone& zone) {
            zones.insert(zone.id);
            return Zones::mapped_type(zone);
        });
    }
    QCoro::Task<Records> fetchRecords(std::vector<CloudRecordId> ids) override {
        co_return answer<Records>("fetchRecords", ids, [&](const auto& id) {
            const auto found = records.find(id);
            if (!zones.contains(id.zone) || found == records.end()) {
                return Records::mapped_type(error(zones.contains(id.zone)
                                                      ? CloudError::kUnknownItem
                                                      : CloudError::kZoneNotFound));
            }
            return Records::mapped_type(found->second);
        });
    }
    QCoro::Task<Records> saveRecords(std::vector<CloudRecord> saved) override {
        co_return answer<Records>("saveRecords", saved, [&](const auto& record) {
            if (!zones.contains(record.id().zone)) {
                return Records::mapped_type(error(CloudError::kZoneNotFound));
            }
            CloudRecord& stored = records.try_emplace(record.id(), record).first->second;
            for (const QString& key : record.changedKeys()) {
                stored.setValue(key, record.values().at(key));
            }
            stored.clearChangedKeys();
            return Records::mapped_type(stored);
        });
    }

private:
    static std::exception_ptr error(int code) {
        return std::make_exception_ptr(CloudError(code, QStringLiteral("cloud says")));
    }
    static const CloudZoneId& key(const CloudZone& zone) { return zone.id; }
    static const CloudRecordId& key(const CloudRecord& record) { return record.id(); }
    static const CloudZoneId& key(const CloudZoneId& id) { return id; }
    static const CloudRecordId& key(const CloudRecordId& id) { return id; }
    void note(const std::string& request) { requests += (requests.empty() ? "" : " ") + request; }

    template <typename Results, typename Input, typename Answer>
    Results answer(const std::string& request, const std::vector<Input>& inputs, Answer answerFor) {
        note(request);
        Results results;
        const auto failure = failing.find(request);
        for (const Input& input : inputs) {
            if (!unanswered.contains(request)) {
                results.insert_or_assign(key(input), failure == failing.end()
                                                         ? answerFor(input)
                                                         : error(failure->second));
            }
        }
        return results;
    }
};
