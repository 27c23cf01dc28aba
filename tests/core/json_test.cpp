#include "core/json.h"

#include <gtest/gtest.h>

#include <bit>
#include <limits>

#include "support/run_task.h"

TEST(JsonTest, NullCountsAsMissing) {
    const json::Value object = json::parse(R"({"present":1,"empty":null})");
    EXPECT_NE(json::optional(object, "present"), nullptr);
    EXPECT_EQ(json::optional(object, "empty"), nullptr);
    EXPECT_EQ(json::optional(object, "absent"), nullptr);
    EXPECT_THROW(json::required(object, "empty"), json::DecodingError);
    EXPECT_THROW(json::required(object, "absent"), json::DecodingError);
    EXPECT_THROW(json::required(json::parse("[1]"), "present"), json::DecodingError);
}

TEST(JsonTest, IntegersAreExactAndWithinSigned64Bits) {
    const auto read = [](const std::string& n) {
        return json::requiredInt64(json::parse("{\"n\":" + n + "}"), "n");
    };
    EXPECT_EQ(read("9223372036854775807"), std::numeric_limits<std::int64_t>::max());
    EXPECT_EQ(read("-9223372036854775808.0"), std::numeric_limits<std::int64_t>::min());
    EXPECT_EQ(read("1e3"), 1000);
    for (const char* bad : {"9223372036854775808", "9223372036854775808.0", "-1e19", "12.5",
                            "\"12\"", "true", "1e400"}) {
        EXPECT_THROW(read(bad), json::DecodingError) << bad;
    }
}

// A truncated or damaged auth file must not leak a piece of its token through the error.
TEST(JsonTest, ErrorsKeepNoTextOfTheDocument) {
    for (const char* document :
         {R"({"access_token":"sk-secret-0123)", "{\"t\":\"sk-secret-0123\xff\"}",
          R"({"t":sk-secret-0123})", R"({"t":1e99999})"}) {
        const auto error = test::errorOf<json::DecodingError>([&] { json::parse(document); });
        const std::string texts = error.detail() + error.what();
        EXPECT_EQ(texts.find("secret"), std::string::npos) << texts;
        EXPECT_EQ(texts.find("99999"), std::string::npos) << texts;
    }
}

TEST(JsonTest, RefusesMalformedOversizedAndDeeplyNestedDocuments) {
    for (const char* bad : {"{", "[1] // c", "{\"a\":1} x", "\"\xff\""}) {
        EXPECT_THROW(json::parse(bad), json::DecodingError) << bad;
    }
    EXPECT_THROW(json::parse(std::string(20, ' ') + "{}", 16), json::DecodingError);
    const auto nested = [](std::size_t depth) {
        return std::string(depth, '[') + std::string(depth, ']');
    };
    EXPECT_THROW(json::parse(nested(json::kMaxDepth + 1)), json::DecodingError);
    EXPECT_NO_THROW(json::parse(nested(json::kMaxDepth)));
    // Brackets in a string, after an escaped quote, are text.
    EXPECT_NO_THROW(json::parse("[\"\\\"" + std::string(100, '[') + "\"]"));
}

TEST(JsonTest, WritesCompactlyInOrderAndDoublesReadBackBitForBit) {
    json::OrderedValue document = json::OrderedValue::object();
    document["zeta"] = json::number(788918400.0);
    document["alpha"] = json::number(0.5);
    document["mid"] = json::number(-0.0);
    EXPECT_EQ(json::dump(document), R"({"zeta":788918400,"alpha":0.5,"mid":-0.0})");
    EXPECT_THROW(json::number(std::numeric_limits<double>::quiet_NaN()), json::EncodingError);
    for (const double value : {-0.0, 0.1 + 0.2, std::numeric_limits<double>::denorm_min(),
                               std::numeric_limits<double>::lowest(), 0x1p53 + 2.0}) {
        document["n"] = json::number(value);
        const double read = json::requiredDouble(json::parse(json::dump(document)), "n");
        EXPECT_EQ(std::bit_cast<std::uint64_t>(read), std::bit_cast<std::uint64_t>(value)) << value;
    }
}
