#include "phone/cloud_wake_service.h"

#include <gtest/gtest.h>

#include "memory_cloud_database.h"
#include "support/manual_clock.h"
#include "support/run_task.h"

namespace {

const LanPairingPayload kPairing{QStringLiteral("quotamind-0123456789abcdef"), QStringLiteral("s")};
const CloudRecordId kLatest{QStringLiteral("latest"),
                            {QStringLiteral("wake-v1-quotamind-0123456789abcdef")}};
const char* const kAll = "accountStatus fetchZones saveZones fetchRecords saveRecords";

// The text of the error a wake ends with; empty when it succeeds.
QString outcome(CloudWakeService& service) {
    try {
        test::runTask(service.sendWake(kPairing));
    } catch (const Error& error) {
        return error.errorString();
    }
    return {};
}

TEST(CloudWakeService, TheFirstWakeMakesZoneAndRecordAndTheNextOnlyTouchesTheRecord) {
    ManualClock clock;
    MemoryCloudDatabase database;
    CloudWakeService service(&database, clock);
    ASSERT_EQ(outcome(service), QString());
    EXPECT_EQ(database.requests, kAll);
    const CloudRecord first = database.records.at(kLatest);
    EXPECT_EQ(first.recordType(), QStringLiteral("WakeSignal"));
    database.requests.clear();
    clock.advance(0.25);
    ASSERT_EQ(outcome(service), QString());
    EXPECT_EQ(database.requests, "accountStatus fetchRecords saveRecords");
    const auto& values = database.records.at(kLatest).values();
    EXPECT_EQ(std::get<Timestamp>(values.at(QStringLiteral("updatedAt"))), clock.now());
    EXPECT_NE(values.at(QStringLiteral("nonce")), first.values().at(QStringLiteral("nonce")));
}

TEST(CloudWakeService, EachFailureIsReportedWhereItHappens) {
    const QString noResult =
        QStringLiteral("CloudKit did not return a result for the wake channel.");
    const QString cloud = QStringLiteral("cloud says");
    using enum CloudAccountStatus;
    // `code` 0 leaves the request's items unanswered; the last column lists the requests made.
    // Without an account, or without a wake container, nothing past the status is asked.
    const struct {
        CloudAccountStatus status;
        const char* request;
        int code;
        QString text;
        const char* requests;
        bool container = true;
    } rows[] = {
        {NoAccount, "", 0, QStringLiteral("Sign in to iCloud"), "accountStatus"},
        {Available, "", 0, QStringLiteral("missing its iCloud entitlement"), "", false},
        {Available, "fetchZones", 0, QString(), kAll},
        {Available, "fetchZones", CloudError::kUnknownItem, QString(), kAll},
        {Available, "fetchZones", 9, cloud, "accountStatus fetchZones"},
        {Available, "saveZones", 0, noResult, "accountStatus fetchZones saveZones"},
        {Available, "fetchRecords", 0, noResult, "accountStatus fetchZones saveZones fetchRecords"},
        {Available, "fetchRecords", CloudError::kZoneNotFound, cloud,
         "accountStatus fetchZones saveZones fetchRecords"},
        {Available, "saveRecords", 14, cloud, kAll},
    };
    for (const auto& row : rows) {
        ManualClock clock;
        MemoryCloudDatabase database;
        database.status = row.status;
        if (row.code == 0) {
            database.unanswered.insert(row.request);
        } else {
            database.failing[row.request] = row.code;
        }
        CloudWakeService service(row.container ? &database : nullptr, clock);
        const QString text = outcome(service);
        EXPECT_TRUE(row.text.isEmpty() ? text.isEmpty() : text.contains(row.text))
            << text.toStdString() << row.request << row.code;
        EXPECT_EQ(database.requests, row.requests) << row.request << row.code;
    }
}

}  // namespace
