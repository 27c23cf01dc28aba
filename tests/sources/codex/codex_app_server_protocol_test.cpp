#include "sources/codex/codex_app_server_protocol.h"

#include <gtest/gtest.h>

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

UsageWindow usageWindow(std::int64_t percent, std::int64_t seconds) {
    return UsageWindow{percent, seconds, Timestamp::fromUnixSeconds(double(kReset))};
}

TEST(CodexAppServerProtocolTest, MakeUsageKeepsUsableWindowsShortestFirst) {
    // Each case: a snapshot and the windows kept; none kept means noRateLimits.
    const std::vector<std::pair<RateLimitSnapshot, std::vector<UsageWindow>>> cases = {
        // Percents clamped, the shorter secondary first.
        {{window(150, 10080), window(-3, 300), {}},
         {usageWindow(0, 18000), usageWindow(100, 604800)}},
        {{window(1, 300), window(2, 300), {}}, {usageWindow(1, 18000)}},
        {{window(5, std::nullopt), window(6, 60), {}}, {usageWindow(6, 3600)}},
        {{window(5, 0), window(6, 10080, 0), {}}, {}},
        // The longest length whose seconds fit in 2^63 - 1 is kept; one minute more is not.
        {{window(5, kLongestMinutes), window(6, kLongestMinutes + 1), {}},
         {usageWindow(5, kLongestMinutes * 60)}},
        {{}, {}},
    };
    for (const auto& [snapshot, windows] : cases) {
        try {
            EXPECT_EQ(codex_app_server::makeUsage(snapshot, kNow).windows, windows);
        } catch (const CodexAppServerError& error) {
            EXPECT_TRUE(windows.empty() && error.code() == Code::NoRateLimits);
        }
    }
}

TEST(CodexAppServerProtocolTest, MergingAppliesTheNewerSnapshotSlotBySlot) {
    EXPECT_EQ((RateLimitSnapshot{window(1, 300), window(2, 10080), "plus"})
                  .merging({window(9, 300), {}, {}}),
              (RateLimitSnapshot{window(9, 300), window(2, 10080), "plus"}));
    EXPECT_EQ((RateLimitSnapshot{window(1, 300, 100), {}, {}})
                  .merging({window(9, std::nullopt, std::nullopt), {}, "pro"}),
              (RateLimitSnapshot{window(9, 300, 100), {}, "pro"}));
}

TEST(CodexAppServerProtocolTest, ResponsesSucceedOnlyWithAResultAndNoError) {
    auto initialize = [](const char* text) {
        return codex_app_server::decodeInitializeResponse(json::parse(text)).succeeded;
    };
    EXPECT_TRUE(initialize(R"({"id":1,"result":{"userAgent":"x","other":[1]},"error":null})"));
    EXPECT_FALSE(initialize(R"({"id":1})"));
    EXPECT_FALSE(initialize(R"({"id":1,"result":{},"error":{}})"));
    auto read = [](const char* text) {
        return codex_app_server::decodeRateLimitsResponse(json::parse(text)).rateLimits;
    };
    EXPECT_EQ(read(R"({"id":2,"result":{"rateLimits":{"planType":"plus"}}})"),
              (RateLimitSnapshot{{}, {}, "plus"}));
    EXPECT_EQ(read(R"({"id":2,"error":{"code":-32600}})"), std::nullopt);
    EXPECT_THROW(read(R"({"id":2,"result":{}})"), json::DecodingError);
}

}  // namespace
