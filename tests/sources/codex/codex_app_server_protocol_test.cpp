#include "sources/codex/codex_app_server_protocol.h"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "core/json.h"
#include "sources/codex/codex_app_server_error.h"
#include "support/run_task.h"

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
    // Empty when no window is usable.
    std::vector<UsageWindow> windows;
};

class MakeUsageCases : public ::testing::TestWithParam<MakeUsageCase> {};

TEST_P(MakeUsageCases, KeepsUsableWindowsShortestFirst) {
    const MakeUsageCase& test = GetParam();
    if (test.windows.empty()) {
        EXPECT_EQ(test::errorOf<CodexAppServerError>([&] {
                      codex_app_server::makeUsage(test.snapshot, kNow);
                  }).code(),
                  Code::noRateLimits);
        return;
    }
    const AgentUsage usage = codex_app_server::makeUsage(test.snapshot, kNow);
    EXPECT_EQ(usage.windows, test.windows);
    EXPECT_EQ(usage.provider, AgentProvider::codex());
    EXPECT_EQ(usage.agentName, "Codex");
    EXPECT_EQ(usage.updatedAt, kNow);
    EXPECT_EQ(usage.source, UsageSource::localDesktop);
}

INSTANTIATE_TEST_SUITE_P(
    CodexAppServer, MakeUsageCases,
    ::testing::Values(
        MakeUsageCase{"shorterSecondaryComesFirstPercentsClamped",
                      {window(150, 10080), window(-3, 300), {}},
                      {usageWindow(0, 18000), usageWindow(100, 604800)}},
        MakeUsageCase{"sameLengthKeepsThePrimary",
                      {window(1, 300), window(2, 300), {}},
                      {usageWindow(1, 18000)}},
        MakeUsageCase{"unusableLengthsDropped", {window(5, 0), window(6, -60), {}}, {}},
        MakeUsageCase{"missingLengthDropped",
                      {window(5, std::nullopt), window(6, 60), {}},
                      {usageWindow(6, 3600)}},
        MakeUsageCase{
            "resetTimeMustBePositive", {window(5, 300, 0), window(6, 10080, std::nullopt), {}}, {}},
        MakeUsageCase{"longestLengthThatFitsIsKept",
                      {window(5, kLongestMinutes), window(6, kLongestMinutes + 1), {}},
                      {usageWindow(5, kLongestMinutes * 60)}},
        MakeUsageCase{"noWindows", {}, {}}),
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

TEST(CodexAppServerProtocolTest, DecodingIsStrict) {
    auto header = [](const char* text) {
        return codex_app_server::decodeHeader(json::parse(text));
    };
    EXPECT_EQ(header(R"({"id":-4,"method":"m"})").id, -4);
    for (const char* text : {"[1]", R"({"id":"1"})", R"({"id":1.5})", R"({"method":7})"}) {
        EXPECT_THROW(header(text), json::DecodingError) << text;
    }

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

TEST(CodexAppServerErrorTest, EveryErrorHasATextThatNamesThisComputerNotTheMac) {
    for (int code = 0; code <= int(Code::noRateLimits); ++code) {
        const QString text = CodexAppServerError(Code(code)).localizedDescription();
        EXPECT_FALSE(text.isEmpty()) << code;
        EXPECT_FALSE(text.contains(QStringLiteral("Mac"))) << text.toStdString();
    }
}

}  // namespace
