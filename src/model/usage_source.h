#pragma once

#include <QString>
#include <optional>
#include <string_view>

// Where a usage came from. The raw values are stored and sent to the phone: never rename them.
enum class UsageSource {
    LocalDesktop,       // the agent's own session on this computer
    AccountSession,     // the ChatGPT account signed in inside Quotamind
    SyncedFromDesktop,  // received over the phone link; also assumed for stored data without a
                        // source
    Preview,            // built-in sample data
};

std::string_view rawValue(UsageSource source);
std::optional<UsageSource> usageSourceFromRawValue(std::string_view rawValue);
// The user-visible name of the source.
QString label(UsageSource source);
