#include "sources/codex/codex_app_server_protocol.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <limits>
#include <optional>
#include <vector>

#include "core/json.h"
#include "sources/codex/codex_app_server_error.h"

namespace {

using codex_app_server::RateLimitSnapshot;
using codex_app_server::RateLimitWindow;
using Code = CodexAppServerError::Code;

const Timestamp kNow = Timestamp::fromUnixSeconds(1796570000);
constexpr std::int64_t kReset = 1796579961;
constexpr std::int64_t kLongestMinutes = 153'722'867'280'912'930;

RateLimitWindow window(std::int64_t percent, std::optional<std::int64_t> minutes,
                       std::optional<std::int64_t> resetsAt = kReset) {
    return RateLimitWindow{percent, minutes, resetsAt};
}

UsageWindow usageWindow(std::int64_t percent, std::int64_t seconds,
                        std::int64_t resetsAt = kReset) {
    return UsageWindow{percent, seconds, Timestamp::fromUnixSeconds(double(resetsAt))};
}

struct MakeUsageCase {
    const char* name;
    RateLimitSnapshot snapshot;
    // Nothing when no window is usable.
    std::optional<std::vector<UsageWindow>> windows;
};

class MakeUsageCases : public ::testing::TestWithParam<MakeUsageCase> {};

TEST_P(MakeUsageCases, KeepsUsableWindowsShortestFirst) {
    const MakeUsageCase& test = GetParam();
    if (!test.windows) {
        try {
            codex_app_server::makeUsage(test.snapshot, kNow);
            FAIL() << "expected noRateLimits";
        } catch (const CodexAppServerError& error) {
            EXPECT_EQ(error.code(), Code::noRateLimits);
        }
        return;
    }
    const AgentUsage usage = codex_app_server::makeUsage(test.snapshot, kNow);
    EXPECT_EQ(usage.windows, *test.windows);
    EXPECT_EQ(usage.provider, AgentProvider::codex());
    EXPECT_EQ(usage.agentName, "Codex");
    EXPECT_EQ(usage.updatedAt, kNow);
    EXPECT_EQ(usage.source, UsageSource::localDesktop);
}

INSTANTIATE_TEST_SUITE_P(
    CodexAppServer, MakeUsageCases,
    ::testing::Values(
        MakeUsageCase{"fiveHourAndWeekly",
                      {window(42, 300), window(7, 10080), "plus"},
                      std::vector{usageWindow(42, 18000), usageWindow(7, 604800)}},
        MakeUsageCase{"shorterSecondaryComesFirst",
                      {window(7, 10080), window(42, 300), {}},
                      std::vector{usageWindow(42, 18000), usageWindow(7, 604800)}},
        MakeUsageCase{"sameLengthKeepsThePrimary",
                      {window(1, 300), window(2, 300), {}},
                      std::vector{usageWindow(1, 18000)}},
        MakeUsageCase{"percentClamped",
                      {window(150, 300), window(-3, 10080), {}},
                      std::vector{usageWindow(100, 18000), usageWindow(0, 604800)}},
        MakeUsageCase{"unusableLengthsDropped", {window(5, 0), window(6, -60), {}}, std::nullopt},
        MakeUsageCase{"missingLengthDropped",
                      {window(5, std::nullopt), window(6, 60), {}},
                      std::vector{usageWindow(6, 3600)}},
        MakeUsageCase{"resetTimeMustBePositive",
                      {window(5, 300, 0), window(6, 10080, std::nullopt), {}},
                      std::nullopt},
        MakeUsageCase{"longestLengthThatFitsIsKept",
                      {window(5, kLongestMinutes), window(6, kLongestMinutes + 1), {}},
                      std::vector{usageWindow(5, kLongestMinutes * 60)}},
        MakeUsageCase{"noWindows", {}, std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CodexAppServerProtocolTest, PlanTypeDefaultsToUnknown) {
    EXPECT_EQ(codex_app_server::makeUsage({window(1, 300), {}, {}}, kNow).planType, "unknown");
    EXPECT_EQ(codex_app_server::makeUsage({window(1, 300), {}, "pro"}, kNow).planType, "pro");
}

struct MergingCase {
    const char* name;
    RateLimitSnapshot older;
    RateLimitSnapshot newer;
    RateLimitSnapshot merged;
};

class MergingCases : public ::testing::TestWithParam<MergingCase> {};

TEST_P(MergingCases, AppliesTheNewerSnapshotSlotBySlot) {
    EXPECT_EQ(GetParam().older.merging(GetParam().newer), GetParam().merged);
}

INSTANTIATE_TEST_SUITE_P(
    CodexAppServer, MergingCases,
    ::testing::Values(
        MergingCase{"primaryOnlyKeepsSecondary",
                    {window(1, 300), window(2, 10080), "plus"},
                    {window(9, 300), {}, {}},
                    {window(9, 300), window(2, 10080), "plus"}},
        MergingCase{"missingResetAndLengthKeepOldValues",
                    {window(1, 300, 100), {}, {}},
                    {window(9, std::nullopt, std::nullopt), {}, "pro"},
                    {window(9, 300, 100), {}, "pro"}},
        MergingCase{"newWindowTakenWhole",
                    {{}, {}, {}},
                    {{}, window(3, 10080), {}},
                    {{}, window(3, 10080), {}}},
        MergingCase{"absentStaysAbsent", {window(1, 300), {}, {}}, {}, {window(1, 300), {}, {}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CodexAppServerProtocolTest, OutgoingMessagesHaveTheirKeysInOrder) {
    EXPECT_EQ(codex_app_server::encodeInitializeRequest("0.1.0"),
              R"({"method":"initialize","id":1,"params":{"clientInfo":)"
              R"({"name":"quotamind","title":"Quotamind","version":"0.1.0"}}})");
    EXPECT_EQ(codex_app_server::encodeInitializedNotification(),
              R"({"method":"initialized","params":{}})");
    EXPECT_EQ(codex_app_server::encodeRateLimitsRequest(7),
              R"({"method":"account/rateLimits/read","id":7,"params":{}})");
}

TEST(CodexAppServerProtocolTest, ResponsesSucceedOnlyWithAResultAndNoError) {
    auto initialize = [](const char* text) {
        return codex_app_server::decodeInitializeResponse(json::parse(text)).succeeded;
    };
    EXPECT_TRUE(initialize(R"({"id":1,"result":{"userAgent":"x","other":[1]}})"));
    EXPECT_TRUE(initialize(R"({"id":1,"result":{},"error":null})"));
    EXPECT_FALSE(initialize(R"({"id":1})"));
    EXPECT_FALSE(initialize(R"({"id":1,"result":{},"error":{}})"));
    EXPECT_THROW(initialize(R"({"id":1,"result":{"userAgent":5}})"), json::DecodingError);

    auto read = [](const char* text) {
        return codex_app_server::decodeRateLimitsResponse(json::parse(text)).rateLimits;
    };
    EXPECT_EQ(read(R"({"id":2,"result":{"rateLimits":{"planType":"plus"}}})"),
              (RateLimitSnapshot{{}, {}, "plus"}));
    EXPECT_EQ(read(R"({"id":2,"error":{"code":-32600}})"), std::nullopt);
    EXPECT_THROW(read(R"({"id":2,"result":{}})"), json::DecodingError);
    EXPECT_THROW(read(R"({"id":2,"result":{"rateLimits":{"primary":{"usedPercent":"9"}}}})"),
                 json::DecodingError);
}

TEST(CodexAppServerErrorTest, TextsAreTheFixedSentences) {
    const std::vector<std::pair<Code, const char*>> texts = {
        {Code::codexNotInstalled,
         "Install or update Codex on this Mac to use its current sign-in."},
        {Code::untrustedCodexInstallation, "The installed Codex copy could not be verified."},
        {Code::launchFailed, "Codex could not be started."},
        {Code::timedOut, "Codex did not respond in time."},
        {Code::connectionClosed, "Codex closed the connection before returning usage."},
        {Code::protocolViolation, "Codex returned an unsupported response."},
        {Code::requestFailed, "Codex could not load rate limits for the current account."},
        {Code::noRateLimits, "No Codex rate-limit window is available for this account."},
    };
    for (const auto& [code, text] : texts) {
        EXPECT_EQ(CodexAppServerError(code).localizedDescription(), QString::fromUtf8(text));
    }
}

}  // namespace
