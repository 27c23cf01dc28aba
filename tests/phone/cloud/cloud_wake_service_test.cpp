#include "phone/cloud_wake_service.h"

#include <gtest/gtest.h>

#include <QRegularExpression>

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
    EXPECT_EQ(database.records.at(kLatest).recordType(), QStringLiteral("WakeSignal"));
    const auto field = [&](const char* key) {
        return database.records.at(kLatest).values().at(QString::fromLatin1(key));
    };
    const QString nonce = std::get<QString>(field("nonce"));
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^[0-9A-F]{8}-([0-9A-F]{4}-){3}[0-9A-F]{12}$"))
                    .match(nonce)
                    .hasMatch());

    database.requests.clear();
    clock.advance(0.25);
    ASSERT_EQ(outcome(service), QString());
    EXPECT_EQ(database.requests, "accountStatus fetchRecords saveRecords");
    EXPECT_EQ(std::get<Timestamp>(field("updatedAt")), clock.now());
    EXPECT_NE(std::get<QString>(field("nonce")), nonce);
}

TEST(CloudWakeService, EachFailureIsReportedWhereItHappens) {
    const QString noResult =
        QStringLiteral("CloudKit did not return a result for the wake channel.");
    const QString cloud = QStringLiteral("cloud says");
    using enum CloudAccountStatus;
    // `code` 0 leaves the request's items unanswered; the last column lists the requests made.
    // Without an account nothing past the status is asked.
    const struct {
        CloudAccountStatus status;
        const char* request;
        int code;
        QString text;
        const char* requests;
    } rows[] = {
        {NoAccount, "", 0,
         QStringLiteral("Sign in to iCloud on this device to enable automatic iPhone wake-ups."),
         "accountStatus"},
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
        CloudWakeService service(&database, clock);
        EXPECT_EQ(outcome(service), row.text) << row.request << row.code;
        EXPECT_EQ(database.requests, row.requests) << row.request << row.code;
    }
}

TEST(CloudWakeService, WithoutAWakeContainerNothingIsTouched) {
    ManualClock clock;
    CloudWakeService service(nullptr, clock);
    EXPECT_EQ(outcome(service),
              QStringLiteral("This build is missing its iCloud entitlement. Update the development "
                             "provisioning profile to enable automatic iPhone wake-ups."));
}

}  // namespace
