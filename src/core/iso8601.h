#pragma once

#include <optional>
#include <string_view>

#include "core/timestamp.h"

// Parses an internet date-time (RFC 3339): "2025-01-01T10:00:00Z", "2025-01-01T10:00:00.123Z",
// "2025-01-01T12:00:00+02:00". Dashes, colons, the "T" and a zone ("Z" or ±hh:mm) are required;
// fractional seconds are optional. Anything else, a bare date included, gives nothing.
std::optional<Timestamp> parseInternetDateTime(std::string_view text);
