#pragma once

#include <cstddef>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

#include "error.h"

// Strict reading and deterministic writing of JSON on nlohmann/json.
//
// Reading: a key whose value is null counts as missing. Integers must be JSON integers, or
// floating-point numbers with no fractional part, within the signed 64-bit range; anything else
// is a type mismatch. Floating-point fields accept any JSON number. Every failure is a
// json::DecodingError naming the key path, so one bad value fails the whole document.
//
// Writing: ordered_json keeps the keys in the order they were added; dump() is compact; number()
// writes a double so that it reads back bit for bit, with integral values written without a
// fraction.
namespace json {

using Value = nlohmann::json;
using OrderedValue = nlohmann::ordered_json;

// Documents larger than this are refused before parsing.
inline constexpr std::size_t kDefaultMaxBytes = 4 * 1024 * 1024;
// Arrays and objects nested deeper than this are refused.
inline constexpr int kMaxDepth = 64;

// The user sees the platform's fixed sentence; detail() says what failed and where, for tests
// and debugging, and never contains a value from the document.
class CodingError : public Error {
public:
    explicit CodingError(std::string detail) : m_detail(std::move(detail)) {}
    const std::string& detail() const { return m_detail; }

private:
    std::string m_detail;
};

class DecodingError final : public CodingError {
public:
    using CodingError::CodingError;
    QString errorString() const override;
};

class EncodingError final : public CodingError {
public:
    using CodingError::CodingError;
    QString errorString() const override;
};

Value parse(std::string_view text, std::size_t maxBytes = kDefaultMaxBytes);

const Value& requireObject(const Value& value, std::string_view context);
const Value& requireArray(const Value& value, std::string_view context);
// The value under `key`; missing or null fails.
const Value& required(const Value& object, std::string_view key);
// The value under `key`, or nullptr when missing or null.
const Value* optional(const Value& object, std::string_view key);

std::int64_t toInt64(const Value& value, std::string_view context);
double toDouble(const Value& value, std::string_view context);
std::string toString(const Value& value, std::string_view context);
bool toBool(const Value& value, std::string_view context);

// Shorthands for a required key of a given type.
std::int64_t requiredInt64(const Value& object, std::string_view key);
double requiredDouble(const Value& object, std::string_view key);
std::string requiredString(const Value& object, std::string_view key);

// A double as a JSON number that reads back bit for bit; NaN and infinities cannot be written.
OrderedValue number(double value);
std::string dump(const OrderedValue& value);

}  // namespace json
