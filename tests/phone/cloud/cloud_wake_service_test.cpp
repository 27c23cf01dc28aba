#include "phone/cloud_wake_service.h"

#include <gtest/gtest.h>

#include <QRegularExpression>
#include <functional>

#include "memory_cloud_database.h"
#include "support/manual_clock.h"
#include "support/run_task.h"

namespace {

const LANPairingPayload kPairing{QStringLiteral("quotamind-0123456789abcdef"),
                                 QStringLiteral("0123456789abcdef0123456789abcdef")};
const CloudRecordID kLatest{QStringLiteral("latest"),
                            {QStringLiteral("wake-v1-quotamind-0123456789abcdef")}};

// The text of the error a wake ends with; empty when it succeeds.
QString outcome(CloudWakeService& service) {
    try {
        test::runTask(service.sendWake(kPairing));
    } catch (const Error& error) {
        return error.localizedDescription();
    }
    return {};
}

QStringList requests(const char* names) {
    return QString::fromLatin1(names).split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

TEST(CloudWakeService, TheFirstWakeMakesZoneAndRecordAndTheNextOnlyTouchesTheRecord) {
    ManualClock clock;
    MemoryCloudDatabase database;
    CloudWakeService service(&database, clock);
    ASSERT_EQ(outcome(service), QString());
    EXPECT_EQ(database.requests,
              requests("accountStatus fetchZones saveZones fetchRecords saveRecords"));
    const CloudRecord first = database.records.at(kLatest);
    EXPECT_EQ(first.recordType(), QStringLiteral("WakeSignal"));
    EXPECT_EQ(std::get<Timestamp>(first.values().at(QStringLiteral("updatedAt"))), clock.now());
    const QString nonce = std::get<QString>(first.values().at(QStringLiteral("nonce")));
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-"
                                                  "[89AB][0-9A-F]{3}-[0-9A-F]{12}$"))
                    .match(nonce)
                    .hasMatch())
        << nonce.toStdString();

    database.requests.clear();
    clock.advance(0.25);
    ASSERT_EQ(outcome(service), QString());
    EXPECT_EQ(database.requests, requests("accountStatus fetchRecords saveRecords"));
    const CloudRecord second = database.records.at(kLatest);
    EXPECT_EQ(std::get<Timestamp>(second.values().at(QStringLiteral("updatedAt"))), clock.now());
    EXPECT_NE(std::get<QString>(second.values().at(QStringLiteral("nonce"))), nonce);
}

TEST(CloudWakeService, EachFailureIsReportedWhereItHappens) {
    const QString temporarily =
        QStringLiteral("iCloud is temporarily unavailable. Automatic wake-ups will retry later.");
    const QString noResult =
        QStringLiteral("CloudKit did not return a result for the wake channel.");
    const auto status = [](CloudAccountStatus value) {
        return [value](MemoryCloudDatabase& database) { database.status = value; };
    };
    const auto unanswered = [](const char* request) {
        return [request](MemoryCloudDatabase& database) {
            database.unanswered.append(QString::fromLatin1(request));
        };
    };
    const auto failing = [](const char* request, int code) {
        return [request, code](MemoryCloudDatabase& database) {
            database.itemFailures.insert_or_assign(QString::fromLatin1(request),
                                                   CloudError(code, QStringLiteral("cloud says")));
        };
    };
    const struct {
        std::function<void(MemoryCloudDatabase&)> arrange;
        QString text;
        QStringList requests;
    } rows[] = {
        {status(CloudAccountStatus::noAccount),
         QStringLiteral("Sign in to iCloud on this device to enable automatic iPhone wake-ups."),
         requests("accountStatus")},
        {status(CloudAccountStatus::restricted),
         QStringLiteral("iCloud access is restricted on this device."), requests("accountStatus")},
        {status(CloudAccountStatus::couldNotDetermine), temporarily, requests("accountStatus")},
        {status(CloudAccountStatus::temporarilyUnavailable), temporarily,
         requests("accountStatus")},
        {status(static_cast<CloudAccountStatus>(7)),
         QStringLiteral("iCloud is unavailable on this device."), requests("accountStatus")},
        // A zone fetch without an answer, or with unknownItem, goes on to create the zone.
        {unanswered("fetchZones"), QString(),
         requests("accountStatus fetchZones saveZones fetchRecords saveRecords")},
        {failing("fetchZones", CloudError::kUnknownItem), QString(),
         requests("accountStatus fetchZones saveZones fetchRecords saveRecords")},
        {failing("fetchZones", 9), QStringLiteral("cloud says"),
         requests("accountStatus fetchZones")},
        {unanswered("saveZones"), noResult, requests("accountStatus fetchZones saveZones")},
        {failing("saveZones", 9), QStringLiteral("cloud says"),
         requests("accountStatus fetchZones saveZones")},
        {unanswered("fetchRecords"), noResult,
         requests("accountStatus fetchZones saveZones fetchRecords")},
        {failing("fetchRecords", CloudError::kZoneNotFound), QStringLiteral("cloud says"),
         requests("accountStatus fetchZones saveZones fetchRecords")},
        {unanswered("saveRecords"), noResult,
         requests("accountStatus fetchZones saveZones fetchRecords saveRecords")},
        {failing("saveRecords", 14), QStringLiteral("cloud says"),
         requests("accountStatus fetchZones saveZones fetchRecords saveRecords")},
    };
    for (const auto& row : rows) {
        ManualClock clock;
        MemoryCloudDatabase database;
        row.arrange(database);
        CloudWakeService service(&database, clock);
        EXPECT_EQ(outcome(service), row.text) << database.requests.join(u' ').toStdString();
        EXPECT_EQ(database.requests, row.requests) << row.text.toStdString();
    }
}

TEST(CloudWakeService, WithoutAWakeContainerNothingIsTouched) {
    ManualClock clock;
    CloudWakeService inert(nullptr, clock);
    const QString missing = QStringLiteral(
        "This build is missing its iCloud entitlement. Update the development provisioning "
        "profile to enable automatic iPhone wake-ups.");
    EXPECT_EQ(outcome(inert), missing);
    EXPECT_EQ(outcome(CloudWakeService::shared()), missing);
}

}  // namespace
