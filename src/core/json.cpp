#include "json.h"

#include <QCoreApplication>
#include <cmath>
#include <initializer_list>
#include <limits>

namespace json {

namespace {

// Joins pieces without operator+ chains, which g++ 12 at -O3 misreports under -Wrestrict.
std::string concat(std::initializer_list<std::string_view> pieces) {
    std::string result;
    for (const std::string_view piece : pieces) {
        result.append(piece);
    }
    return result;
}

std::string keyContext(std::string_view key) {
    return concat({"\"", key, "\""});
}

[[noreturn]] void typeMismatch(std::string_view context, std::string_view expected) {
    throw DecodingError(concat({"expected ", expected, " at ", context}));
}

// Refuses nesting deeper than kMaxDepth in one linear pass, before anything is built. (A parser
// callback could check the depth too, but with any callback nlohmann rescans the parent container
// each time an object closes, which makes parsing quadratic.) Brackets inside strings do not count;
// a malformed document may pass here and is refused by the parser.
void checkDepth(std::string_view text) {
    int depth = 0;
    bool inString = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (inString) {
            if (c == '\\') {
                ++i;
            } else if (c == '"') {
                inString = false;
            }
        } else if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            if (++depth > kMaxDepth) {
                throw DecodingError(concat({"nesting deeper than ", std::to_string(kMaxDepth)}));
            }
        } else if (c == ']' || c == '}') {
            --depth;
        }
    }
}

}  // namespace

QString DecodingError::errorString() const {
    return QCoreApplication::translate(
        "Error", "The data couldn’t be read because it isn’t in the correct format.");
}

QString EncodingError::errorString() const {
    return QCoreApplication::translate("Error",
                                       "The data couldn’t be written because it isn’t valid.");
}

Value parse(std::string_view text, std::size_t maxBytes) {
    if (text.size() > maxBytes) {
        throw DecodingError(concat({"document of ", std::to_string(text.size()), " bytes exceeds ",
                                    std::to_string(maxBytes)}));
    }
    checkDepth(text);
    // nlohmann's messages quote the input ("last read: '...'"), which may be part of a secret, so
    // the detail keeps only where and what kind of error it was.
    try {
        return Value::parse(text.begin(), text.end());
    } catch (const Value::parse_error& error) {
        throw DecodingError(concat({"not JSON: error ", std::to_string(error.id), " at byte ",
                                    std::to_string(error.byte)}));
    } catch (const Value::exception& error) {
        throw DecodingError(concat({"not JSON: error ", std::to_string(error.id)}));
    }
}

const Value& requireObject(const Value& value, std::string_view context) {
    if (!value.is_object()) {
        typeMismatch(context, "an object");
    }
    return value;
}

const Value& requireArray(const Value& value, std::string_view context) {
    if (!value.is_array()) {
        typeMismatch(context, "an array");
    }
    return value;
}

const Value* optional(const Value& object, std::string_view key) {
    requireObject(object, keyContext(key));
    const auto found = object.find(key);
    if (found == object.end() || found->is_null()) {
        return nullptr;
    }
    return &*found;
}

const Value& required(const Value& object, std::string_view key) {
    const Value* value = optional(object, key);
    if (value == nullptr) {
        throw DecodingError(concat({"missing key ", keyContext(key)}));
    }
    return *value;
}

std::int64_t toInt64(const Value& value, std::string_view context) {
    if (value.is_number_integer() && !value.is_number_unsigned()) {
        return value.get<std::int64_t>();
    }
    if (value.is_number_unsigned()) {
        const auto unsignedValue = value.get<std::uint64_t>();
        if (unsignedValue > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
            typeMismatch(context, "a signed 64-bit integer");
        }
        return static_cast<std::int64_t>(unsignedValue);
    }
    if (value.is_number_float()) {
        const double d = value.get<double>();
        // [-2^63, 2^63) is exactly the range that converts without overflow.
        if (std::isfinite(d) && std::trunc(d) == d && d >= -0x1p63 && d < 0x1p63) {
            return static_cast<std::int64_t>(d);
        }
    }
    typeMismatch(context, "a signed 64-bit integer");
}

double toDouble(const Value& value, std::string_view context) {
    if (!value.is_number()) {
        typeMismatch(context, "a number");
    }
    return value.get<double>();
}

std::string toString(const Value& value, std::string_view context) {
    if (!value.is_string()) {
        typeMismatch(context, "a string");
    }
    return value.get<std::string>();
}

bool toBool(const Value& value, std::string_view context) {
    if (!value.is_boolean()) {
        typeMismatch(context, "a boolean");
    }
    return value.get<bool>();
}

std::int64_t requiredInt64(const Value& object, std::string_view key) {
    return toInt64(required(object, key), keyContext(key));
}

double requiredDouble(const Value& object, std::string_view key) {
    return toDouble(required(object, key), keyContext(key));
}

std::string requiredString(const Value& object, std::string_view key) {
    return toString(required(object, key), keyContext(key));
}

OrderedValue number(double value) {
    if (!std::isfinite(value)) {
        throw EncodingError("a number that is not finite cannot be written as JSON");
    }
    // Integral values up to 2^53 are exact as integers and read back as the same double;
    // negative zero stays a float so that its sign survives.
    const bool negativeZero = value == 0.0 && std::signbit(value);
    if (std::trunc(value) == value && std::fabs(value) <= 0x1p53 && !negativeZero) {
        return static_cast<std::int64_t>(value);
    }
    // nlohmann writes the shortest text that parses back to the same double.
    return value;
}

std::string dump(const OrderedValue& value) {
    // Invalid UTF-8 in a string is replaced rather than thrown on, so writing never fails on it.
    return value.dump(-1, ' ', false, OrderedValue::error_handler_t::replace);
}

}  // namespace json
